#ifndef NEVRA_SRC_ELEMENT_H
#define NEVRA_SRC_ELEMENT_H

// Internal helpers shared by the operation families: conversion of values to element types and
// the type code of each element type.

#include <type_traits>

#include "imagebase.h"

namespace Nevra {

// `value` as an element of type T. Floating-point types take the plain conversion. Integer types
// truncate toward zero and keep the low bits of their width (300.7 -> unsigned char 44,
// -1.5 -> short -1); the conversion goes through a 64-bit integer so that out-of-range values
// wrap instead of being undefined. NaN and magnitudes of 2^63 and more give 0.
template <class T>
inline T toElement(double value) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(value);
    } else {
        if (!(value > -9223372036854775808.0 && value < 9223372036854775808.0)) {
            return T(0);
        }
        const auto wide = static_cast<unsigned long long>(static_cast<long long>(value));
        return static_cast<T>(wide);
    }
}

// The type code of element type T (see the kType constants).
template <class T>
constexpr int typeCodeOf() {
    if constexpr (std::is_same_v<T, char>) {
        return kTypeByte;
    } else if constexpr (std::is_same_v<T, unsigned char>) {
        return kTypeUnsignedByte;
    } else if constexpr (std::is_same_v<T, short>) {
        return kTypeShort;
    } else if constexpr (std::is_same_v<T, unsigned short>) {
        return kTypeUnsignedShort;
    } else if constexpr (std::is_same_v<T, int>) {
        return kTypeInt;
    } else if constexpr (std::is_same_v<T, unsigned int>) {
        return kTypeUnsignedInt;
    } else if constexpr (std::is_same_v<T, float>) {
        return kTypeFloat;
    } else {
        static_assert(std::is_same_v<T, double>, "not an element type of the library");
        return kTypeDouble;
    }
}

}  // namespace Nevra

#endif  // NEVRA_SRC_ELEMENT_H
