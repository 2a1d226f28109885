#pragma once

#include <QString>
#include <cstdint>

namespace vestor {

// A field's text as a 32-bit signed decimal integer: an optional sign and
// digits, nothing else. Throws Error "'%s' is not a valid integer value".
std::int32_t strToInt(const QString &text);

// Rounds to the nearest integer, an exact half going to the even neighbour.
double roundHalfEven(double value);

} // namespace vestor
