#include "catalogue/Convert.h"

#include "catalogue/Error.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace vestor {

std::int32_t strToInt(const QString &text)
{
    auto fail = [&] { throw Error(QStringLiteral("'%1' is not a valid integer value").arg(text)); };
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        fail();
    // Accumulate as a negative number so that INT32_MIN itself fits.
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            fail();
        value = value * 10 - (c - u'0');
        if (value < std::numeric_limits<std::int32_t>::min())
            fail();
    }
    if (!negative) {
        value = -value;
        if (value > std::numeric_limits<std::int32_t>::max())
            fail();
    }
    return static_cast<std::int32_t>(value);
}

double roundHalfEven(double value)
{
    // nearbyint follows the current rounding mode; make sure it is the default one.
    const int mode = std::fegetround();
    if (mode != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    if (mode != FE_TONEAREST)
        std::fesetround(mode);
    return r;
}

} // namespace vestor
