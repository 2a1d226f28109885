// The sum's conversion and the total's general number format.

#include "catalogue/Error.h"
#include "engine/Number.h"

#include <QLocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using vestor::formatGeneral;
using vestor::strToFloat;

namespace {

// Runs a test body under another default locale and restores the old one.
struct WithLocale {
    QLocale saved;
    explicit WithLocale(QLocale::Language language, QLocale::Territory territory)
    {
        QLocale::setDefault(QLocale(language, territory));
    }
    ~WithLocale() { QLocale::setDefault(saved); }
};

QString floatError(const QString &text)
{
    try {
        strToFloat(text);
    } catch (const vestor::Error &e) {
        return e.message();
    }
    return QStringLiteral("(accepted)");
}

} // namespace

TEST(SumText, AcceptedForms)
{
    WithLocale c(QLocale::C, QLocale::AnyTerritory);
    EXPECT_EQ(strToFloat("0"), 0);
    EXPECT_EQ(strToFloat("150"), 150);
    EXPECT_EQ(strToFloat("007"), 7);
    EXPECT_EQ(strToFloat("-1.5"), -1.5);
    EXPECT_EQ(strToFloat("+2"), 2);
    EXPECT_EQ(strToFloat(".5"), 0.5);
    EXPECT_EQ(strToFloat("5."), 5);
    EXPECT_EQ(strToFloat("1e3"), 1000);
    EXPECT_EQ(strToFloat("1.5E-2"), 0.015);
    EXPECT_EQ(strToFloat("2e+2"), 200);
    EXPECT_EQ(strToFloat("99999999999999999999"), 1e20);
}

TEST(SumText, RejectedFormsNameTheText)
{
    WithLocale c(QLocale::C, QLocale::AnyTerritory);
    for (const char *text : {"",  " ",   " 5",  "5 ",  "abc",   "5a",    "1e",  "1e+", "e5",   ".",
                             "-", "+-1", "--1", "1,5", "1.2.3", "1e999", "inf", "nan", "0x10", "1_000"}) {
        const QString t = QString::fromLatin1(text);
        EXPECT_EQ(floatError(t), QStringLiteral("'%1' is not a valid floating point value").arg(t)) << text;
    }
}

TEST(SumText, LocaleDecimalSeparator)
{
    WithLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(strToFloat("1,5"), 1.5);
    EXPECT_EQ(floatError("1.5"), QStringLiteral("'1.5' is not a valid floating point value"));
    EXPECT_EQ(formatGeneral(1234.5), QStringLiteral("1234,5"));
    EXPECT_EQ(formatGeneral(1e-7), QStringLiteral("1E-7"));
    EXPECT_EQ(formatGeneral(1.5e-7), QStringLiteral("1,5E-7"));
}

TEST(GeneralFormat, FixedPoint)
{
    WithLocale c(QLocale::C, QLocale::AnyTerritory);
    EXPECT_EQ(formatGeneral(0), "0");
    EXPECT_EQ(formatGeneral(-0.0), "0");
    EXPECT_EQ(formatGeneral(1500), "1500");
    EXPECT_EQ(formatGeneral(1234.5), "1234.5");
    EXPECT_EQ(formatGeneral(-2.5), "-2.5");
    EXPECT_EQ(formatGeneral(0.1 + 0.2), "0.3");
    EXPECT_EQ(formatGeneral(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(formatGeneral(2.0 / 3), "0.666666666666667");
    EXPECT_EQ(formatGeneral(99999.99999999999), "100000");
    EXPECT_EQ(formatGeneral(999999999999999), "999999999999999");
    EXPECT_EQ(formatGeneral(123456789.123456789), "123456789.123457");
    EXPECT_EQ(formatGeneral(0.00001), "0.00001");
    EXPECT_EQ(formatGeneral(0.000123), "0.000123");
    EXPECT_EQ(formatGeneral(10), "10");
}

TEST(GeneralFormat, ExponentAtTheBounds)
{
    WithLocale c(QLocale::C, QLocale::AnyTerritory);
    EXPECT_EQ(formatGeneral(1e15), "1E15");
    EXPECT_EQ(formatGeneral(9999999999999999.0), "1E16");
    EXPECT_EQ(formatGeneral(123456789012345678.0), "1.23456789012346E17");
    EXPECT_EQ(formatGeneral(-2.5e20), "-2.5E20");
    EXPECT_EQ(formatGeneral(0.000009), "9E-6");
    EXPECT_EQ(formatGeneral(-1.25e-10), "-1.25E-10");
    EXPECT_EQ(formatGeneral(std::numeric_limits<double>::infinity()), "INF");
}

TEST(Counted, TheNounTakesTheFormItsNumberAsks)
{
    const std::pair<long long, const char *> cases[] = {
        {0, "0 вещей"},   {1, "1 вещь"},     {2, "2 вещи"},      {4, "4 вещи"},       {5, "5 вещей"},
        {11, "11 вещей"}, {12, "12 вещей"},  {14, "14 вещей"},   {21, "21 вещь"},     {22, "22 вещи"},
        {25, "25 вещей"}, {101, "101 вещь"}, {111, "111 вещей"}, {1002, "1002 вещи"}, {-3, "-3 вещи"},
    };
    for (const auto &[n, text] : cases)
        EXPECT_EQ(vestor::counted(n, "вещь", "вещи", "вещей"), QString::fromUtf8(text)) << n;
}
