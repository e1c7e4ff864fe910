// Float-to-integer conversions and integer scaling used by every formula of the program.
// Each formula names which one it uses; they differ exactly at halves.
#pragma once

#include <cstdint>

namespace clipvane {

// Nearest integer; a value exactly halfway goes to the even neighbour (2.5 -> 2, 3.5 -> 4).
// Values outside the int range saturate; NaN gives 0.
int nearest(double value);

// Toward zero (2.9 -> 2, -2.9 -> -2). Saturates like nearest.
int trunc(double value);

// a * b / c computed in 64 bits and rounded to the nearest integer, halves away from zero.
// Gives -1 when c is 0 or the result does not fit an int, as the platform's MulDiv does.
int MulDiv(int a, int b, int c);

}  // namespace clipvane
