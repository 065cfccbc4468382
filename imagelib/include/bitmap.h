#ifndef NEVRA_BITMAP_H
#define NEVRA_BITMAP_H

// Placeholder until the image library lands: a bitmap that never reads.
namespace Nevra {
class Bitmap {
public:
    int readBitmap(const char*, int) { return -1; }
    int getWidth() { return 0; }
    int getHeight() { return 0; }
    unsigned char* getData() { return nullptr; }
};
}  // namespace Nevra

#endif  // NEVRA_BITMAP_H
