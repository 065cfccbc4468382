// ImageBase<T>: downsampling, quarter turns, power-of-two padding, mirroring and interpolation.
// Included by imagebase.cpp only. Placeholder bodies: they change nothing.

#include "imagebase.h"

namespace Nevra {

template <class T>
ImageBase<T>* ImageBase<T>::downsample(int, int, int, int, bool) {
    return nullptr;
}

template <class T>
void ImageBase<T>::rotate(int) {}

template <class T>
void ImageBase<T>::scaleToPowerOfTwo() {}

template <class T>
void ImageBase<T>::getTrilinear(float*, float, float, float) {}

template <class T>
float ImageBase<T>::getTrilinear(float, float, float) {
    return 0.0f;
}

template <class T>
void ImageBase<T>::getTricubic(float*, float, float, float) {}

template <class T>
float ImageBase<T>::getTricubic(float, float, float) {
    return 0.0f;
}

template <class T>
void ImageBase<T>::flip(bool, bool, bool, bool) {}

}  // namespace Nevra
