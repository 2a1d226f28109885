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

// A whole number as decimal text, e.g. for a result field.
QString integerText(double wholeNumber);

} // namespace vestor
