#include "engine/Number.h"

#include "catalogue/Error.h"

#include <QLocale>
#include <cmath>
#include <cstdlib>

namespace vestor {

namespace {

QString decimalSeparator() { return QLocale().decimalPoint(); }

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Skips a run of ASCII digits from `i`; returns how many there were.
qsizetype skipDigits(const QString &text, qsizetype &i)
{
    const qsizetype start = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i - start;
}

} // namespace

double strToFloat(const QString &text)
{
    auto fail = [&]() -> double { throw Error(QStringLiteral("'%1' is not a valid floating point value").arg(text)); };
    const QString sep = decimalSeparator();
    // Rebuilt with '.' so that the C locale can read it whatever the user's locale is.
    QString plain;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        plain += text[i++];
    qsizetype digits = skipDigits(text, i);
    plain += QStringView(text).mid(i - digits, digits);
    if (!sep.isEmpty() && QStringView(text).mid(i).startsWith(sep)) {
        i += sep.size();
        const qsizetype fraction = skipDigits(text, i);
        plain += u'.';
        plain += QStringView(text).mid(i - fraction, fraction);
        digits += fraction;
    }
    if (digits == 0)
        return fail();
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        plain += u'e';
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            plain += text[i++];
        const qsizetype exponent = skipDigits(text, i);
        if (exponent == 0)
            return fail();
        plain += QStringView(text).mid(i - exponent, exponent);
    }
    if (i != text.size())
        return fail();
    bool ok = false;
    const double value = QLocale::c().toDouble(plain, &ok);
    // Beyond the range of a double is no number either.
    if (!ok || !std::isfinite(value))
        return fail();
    return value;
}

QString formatGeneral(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");

    // 15 significant digits, rounded once: d.dddddddddddddde[+-]x
    const QString e = QString::number(std::fabs(value), 'e', 14);
    const qsizetype ePos = e.indexOf(u'e');
    QString digits = e.left(ePos).remove(u'.');
    const int exponent = e.mid(ePos + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(u'0'))
        digits.chop(1);

    const QString sep = decimalSeparator();
    QString out = value < 0 ? QStringLiteral("-") : QString();
    if (exponent >= 15 || exponent < -5) {
        out += digits.left(1);
        if (digits.size() > 1)
            out += sep + digits.mid(1);
        return out + u'E' + QString::number(exponent);
    }
    if (exponent < 0)
        return out + u'0' + sep + QString(-exponent - 1, u'0') + digits;
    const qsizetype whole = exponent + 1;
    if (digits.size() <= whole)
        return out + digits + QString(whole - digits.size(), u'0');
    return out + digits.left(whole) + sep + digits.mid(whole);
}

QString integerText(double wholeNumber)
{
    if (std::fabs(wholeNumber) < 9.0e18)
        return QString::number(static_cast<qint64>(wholeNumber));
    return QString::number(wholeNumber, 'f', 0);
}

QString counted(long long n, const char *one, const char *few, const char *many)
{
    const long long tens = std::llabs(n) % 100, units = tens % 10;
    const char *noun = (tens >= 11 && tens <= 14) ? many : units == 1 ? one : (units >= 2 && units <= 4) ? few : many;
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(noun));
}

} // namespace vestor
