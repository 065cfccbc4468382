// ImageBase<T>: square-window filtering with its border fill, gradients and Hessians.
// Included by imagebase.cpp only. Placeholder bodies: they change nothing.

#include "imagebase.h"

namespace Nevra {

template <class T>
Image* ImageBase<T>::computeFilteredImage(int, const float*, int, Image*) {
    return nullptr;
}

template <class T>
void ImageBase<T>::fillBorder(int) {}

template <class T>
Image* ImageBase<T>::computeGradient(int, const float*, bool, Image*) {
    return nullptr;
}

template <class T>
Image* ImageBase<T>::computeHessian(int, const float*, Image*) {
    return nullptr;
}

template <class T>
Image* ImageBase<T>::computeGradient3D(int, const float*, bool, bool, Image*) {
    return nullptr;
}

}  // namespace Nevra
