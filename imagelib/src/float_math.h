#ifndef NEVRA_SRC_FLOAT_MATH_H
#define NEVRA_SRC_FLOAT_MATH_H

// Single-precision ceiling, natural logarithm and power: each computed in double and rounded to
// float, so results are the same on every platform's float library.

#include <cmath>

namespace Nevra {

inline float floatCeil(float x) {
    return static_cast<float>(std::ceil(static_cast<double>(x)));
}

inline float floatLog(float x) {
    return static_cast<float>(std::log(static_cast<double>(x)));
}

inline float floatPow(float base, float exponent) {
    return static_cast<float>(std::pow(static_cast<double>(base), static_cast<double>(exponent)));
}

}  // namespace Nevra

#endif  // NEVRA_SRC_FLOAT_MATH_H
