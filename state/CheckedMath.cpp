#include "state/CheckedMath.h"

#include <cmath>

namespace state {
namespace {

void RequireFinite(double x) {
    if (!std::isfinite(x)) throw EInvalidOp();
}

double Checked(double result) {
    if (std::isnan(result)) throw EInvalidOp();
    if (std::isinf(result)) throw EOverflow();
    return result;
}

} // namespace

double Add(double a, double b) {
    RequireFinite(a);
    RequireFinite(b);
    return Checked(a + b);
}

double Sub(double a, double b) {
    RequireFinite(a);
    RequireFinite(b);
    return Checked(a - b);
}

double Mul(double a, double b) {
    RequireFinite(a);
    RequireFinite(b);
    return Checked(a * b);
}

double Div(double a, double b) {
    RequireFinite(a);
    RequireFinite(b);
    if (b == 0.0) {
        if (a == 0.0) throw EInvalidOp();
        throw EZeroDivide();
    }
    return Checked(a / b);
}

double Sqrt(double x) {
    RequireFinite(x);
    if (x < 0.0) throw EInvalidOp();
    return std::sqrt(x);
}

double Exp(double x) {
    RequireFinite(x);
    return Checked(std::exp(x));
}

long long Trunc(double x) {
    RequireFinite(x);
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (x >= 9223372036854775808.0 || x < -9223372036854775808.0) throw EInvalidOp();
    return static_cast<long long>(x);
}

} // namespace state
