#pragma once

#include <QString>

namespace vestor {

// The sum field's text as a floating-point number: an optional sign, digits
// with an optional fraction after the locale's decimal separator, and an
// optional exponent. Throws Error "'%s' is not a valid floating point value".
double strToFloat(const QString &text);

// A number in general format: the shortest text with at most 15 significant
// digits, no grouping, no trailing zeros, the locale's decimal separator;
// exponent form only beyond 15 integer digits or nearer zero than 0.00001.
QString formatGeneral(double value);

// A count with its noun in the Russian form the number takes: `one` for 1,
// 21, 101 ("1 вещь"), `few` for 2-4, 22-24 ("2 вещи"), `many` for the rest,
// 11-14 included ("5 вещей", "12 вещей").
QString counted(long long n, const char *one, const char *few, const char *many);

// A whole number as decimal text, e.g. for a result field.
QString integerText(double wholeNumber);

} // namespace vestor
