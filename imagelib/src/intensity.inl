// ImageBase<T>: window/level, inversion, 8- and 16-bit conversions and the centre of mass.
// Included by imagebase.cpp only. Placeholder bodies: they change nothing.

#include "imagebase.h"

namespace Nevra {

template <class T>
void ImageBase<T>::invert() {}

template <class T>
void ImageBase<T>::applyWindowLevel(bool) {}

template <class T>
void ImageBase<T>::computeWindowLevel() {}

template <class T>
unsigned char* ImageBase<T>::createByteVolume(unsigned char*, bool) {
    return nullptr;
}

template <class T>
unsigned short* ImageBase<T>::createWordVolume(unsigned short*, bool) {
    return nullptr;
}

template <class T>
unsigned char* ImageBase<T>::createByteSlice(unsigned char*, int, int, bool) {
    return nullptr;
}

template <class T>
float* ImageBase<T>::getCenterOfMass(float*) {
    return nullptr;
}

}  // namespace Nevra
