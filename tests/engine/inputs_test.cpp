// A pick's inputs: their texts as the window starts, and their one reading as numbers.

#include "EngineFixture.h"
#include "engine/PickInputs.h"

using testdbf::errorOf;
using vestor::PickInputs;

namespace {

constexpr int kSila = 1;
constexpr int kMetk = 10;  // the last stat with a current field
constexpr int kObUv = 11;  // the first without one
constexpr int kObKrP = 18; // may be negative

} // namespace

TEST(PickInputs, ANewOneIsTheWindowAsItStarts)
{
    const vestor::PickValues v = PickInputs().values();
    EXPECT_EQ(v.race, 0);
    EXPECT_EQ(v.level, 1);
    EXPECT_EQ(v.money, 0);
    for (int stat = 1; stat <= vestor::kStatCount; ++stat) {
        EXPECT_EQ(v.current[stat], 0) << stat;
        EXPECT_EQ(v.needed[stat], 0) << stat;
    }
    EXPECT_EQ(PickInputs().race, vestor::races().front().name);
}

TEST(PickInputs, ValuesReadEveryFieldAsThePickDoes)
{
    PickInputs in;
    in.race = QStringLiteral("Орк");
    in.level = QStringLiteral("13");
    in.money = QStringLiteral("1e3");
    in.current[kSila] = QStringLiteral("007");
    in.current[kMetk] = QStringLiteral("-4");
    in.current[kObUv] = QStringLiteral("no field, never read");
    in.needed[kSila] = QStringLiteral("+40");
    in.needed[kObKrP] = QStringLiteral("-5");
    const vestor::PickValues v = in.values();
    EXPECT_EQ(v.race, 3);
    EXPECT_EQ(v.level, 13);
    EXPECT_EQ(v.money, 1000);
    EXPECT_EQ(v.current[kSila], 7);
    EXPECT_EQ(v.current[kMetk], -4);
    EXPECT_EQ(v.current[kObUv], 0);
    EXPECT_EQ(v.needed[kSila], 40);
    EXPECT_EQ(v.needed[kObKrP], -5);
}

TEST(PickInputs, TheFirstFieldThatIsNoNumberIsNamed)
{
    struct Case {
        const char *what;
        void (*spoil)(PickInputs &);
        const char *message;
    };
    const Case cases[] = {
        {"unknown race", [](PickInputs &in) { in.race = QStringLiteral("Тролль"); }, "Неизвестная раса «Тролль»."},
        {"level", [](PickInputs &in) { in.level = QString(); }, "'' is not a valid integer value"},
        {"money before the stats",
         [](PickInputs &in) {
             in.money = QStringLiteral("1 000");
             in.needed[kSila] = QStringLiteral("x");
         },
         "'1 000' is not a valid floating point value"},
        {"a stat's current value before its need",
         [](PickInputs &in) {
             in.current[kSila] = QStringLiteral("5-");
             in.needed[kSila] = QStringLiteral("x");
         },
         "'5-' is not a valid integer value"},
        {"beyond 32 bits", [](PickInputs &in) { in.needed[kObKrP] = QStringLiteral("2147483648"); },
         "'2147483648' is not a valid integer value"},
    };
    for (const Case &c : cases) {
        PickInputs in;
        c.spoil(in);
        EXPECT_EQ(errorOf([&] { in.values(); }), QString::fromUtf8(c.message)) << c.what;
    }
}

TEST(PickInputs, ATextWindowShowsTheInputsItWasBuiltFrom)
{
    PickInputs in;
    in.race = QStringLiteral("Гном");
    in.money = QStringLiteral("250");
    in.needed[kObKrP] = QStringLiteral("-3");
    const vestor::TextWindow w(in);
    EXPECT_EQ(w.inputs(), in);
    EXPECT_EQ(w.resultText(kSila), QStringLiteral("0"));
    EXPECT_TRUE(w.report.isEmpty());
}
