#ifndef NEVRA_IMAGEBASE_H
#define NEVRA_IMAGEBASE_H
namespace Nevra {}
#endif  // NEVRA_IMAGEBASE_H
