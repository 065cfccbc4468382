// The one place where ImageBase<T> is compiled: the member definitions of every operation family
// come in from their internal files and the eight element types are instantiated here.

#include "imagebase.h"

#include "filtering_impl.h"
#include "geometry_impl.h"
#include "intensity_impl.h"
#include "storage_impl.h"

namespace Nevra {

template class ImageBase<char>;
template class ImageBase<unsigned char>;
template class ImageBase<short>;
template class ImageBase<unsigned short>;
template class ImageBase<int>;
template class ImageBase<unsigned int>;
template class ImageBase<float>;
template class ImageBase<double>;

}  // namespace Nevra
