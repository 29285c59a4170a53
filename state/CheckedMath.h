#pragma once
// Floating-point arithmetic that raises instead of producing infinities or NaN.
// Division by zero, invalid operations (0/0, the square root of a negative number) and
// overflow throw; underflow quietly gives the (possibly zero) result, as the runtime the
// program was first written for does.
#include <stdexcept>
#include <string>

namespace state {

class EMathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EZeroDivide : public EMathError {
public:
    EZeroDivide() : EMathError("Floating point division by zero") {}
};
class EInvalidOp : public EMathError {
public:
    EInvalidOp() : EMathError("Invalid floating point operation") {}
};
class EOverflow : public EMathError {
public:
    EOverflow() : EMathError("Floating point overflow") {}
};

// Each throws EZeroDivide, EInvalidOp or EOverflow; an operand that is already not finite is
// an invalid operation.
double Add(double a, double b);
double Sub(double a, double b);
double Mul(double a, double b);
double Div(double a, double b);
double Sqrt(double x);
double Exp(double x);
// Truncation toward zero to a 64-bit integer; a value outside its range is an invalid operation.
long long Trunc(double x);

} // namespace state
