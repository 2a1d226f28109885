// Tables as other programs write them: every dBase and FoxPro flavour, code
// page and number layout that real writers produce reads right.

#include "TestTable.h"

#include <QStringEncoder>

using namespace testdbf;
using vestor::Catalogue;

namespace {

const QString kRing = QStringLiteral("Кольцо силы");
const QString kHelmet = QStringLiteral("Шлем гнева");

std::vector<Item> twoItems()
{
    return {item("ring", kRing, 100, {{1, 5}, {15, -2.5}}), item("helmet", kHelmet, 250.5, {{8, 10}}, "Or", 7)};
}

struct Loaded {
    QStringList names;
    std::vector<QVariant> prices, sila;
};

// Every row of the table as the catalogue reads it, in file order.
Loaded load(ProgramDir &dir)
{
    Catalogue c;
    c.setUp(dir.program());
    Loaded out;
    for (auto q = wholeTable(c); !q->eof(); q->next()) {
        out.names << q->fieldByName(QStringLiteral("NAME")).toString();
        out.prices.push_back(q->fieldByName(QStringLiteral("PRICE")));
        out.sila.push_back(q->fieldByName(QStringLiteral("SILA")));
    }
    return out;
}

QStringList loadNames(const QByteArray &bytes, const QByteArray &cpg = {}, const QString &cpgName = "Subjects.cpg")
{
    ProgramDir dir;
    dir.write(bytes);
    if (!cpg.isNull())
        writeFile(dir.data() + u'/' + cpgName, cpg);
    return load(dir).names;
}

} // namespace

TEST(Variants, VersionBytesOfDbaseAndFoxProWriters)
{
    // dBase III, dBase III/IV with memo, dBase IV with memo, FoxPro with memo,
    // Visual FoxPro plain and autoincrement, FoxBase, dBase IV SQL tables.
    for (int version : {0x03, 0x83, 0x8B, 0xF5, 0x30, 0x31, 0x02, 0x43, 0x63, 0xCB, 0xE5, 0xFB}) {
        ProgramDir dir;
        Table t = itemTable(twoItems());
        t.version = std::uint8_t(version);
        if (version == 0x30 || version == 0x31)
            t.afterTerminator = QByteArray(263, '\0');
        dir.write(bytes(t));
        Catalogue c;
        ASSERT_NO_THROW(c.setUp(dir.program())) << "version " << version;
        c.raceChanged(QStringLiteral("Орк"));
        c.levelChanged(QStringLiteral("7"));
        runSlot(c.query(8), "helmet", "helmet", 1000);
        EXPECT_EQ(names(c.query(8)), QStringList{kHelmet}) << "version " << version;
    }
}

TEST(Variants, HeaderTerminatorFollowedByNulOrBacklinkBlock)
{
    QByteArray backlink(263, '\0');
    backlink.replace(0, 14, "..\\\\items.dbc\0");
    for (const QByteArray &after : {QByteArray(1, '\0'), QByteArray(263, '\0'), backlink}) {
        ProgramDir dir;
        Table t = itemTable(twoItems());
        t.version = after.size() == 263 ? 0x30 : 0x03;
        t.afterTerminator = after;
        dir.write(bytes(t));
        const Loaded got = load(dir);
        EXPECT_EQ(got.names, (QStringList{kRing, kHelmet})) << after.size();
        EXPECT_EQ(got.prices[1].toDouble(), 250.5) << after.size();
        EXPECT_EQ(got.sila[0].toDouble(), 5) << after.size();
    }
}

TEST(Variants, NumbersOfTypeNOrFWithAnyWidthAndDecimals)
{
    struct Case {
        char type;
        int width, decimals;
        QByteArray text;
        double value;
    };
    const std::vector<Case> cases = {
        {'N', 1, 0, "7", 7},
        {'N', 3, 0, "-9", -9},
        {'N', 10, 0, "2147483647", 2147483647.0},
        {'N', 20, 0, "12345678901234567890", 12345678901234567890.0},
        {'N', 12, 2, "250.50", 250.5},
        {'N', 8, 5, "-0.12500", -0.125},
        {'N', 19, 11, "3.14159265358", 3.14159265358},
        {'N', 12, 2, "+42.00", 42},
        {'N', 6, 2, ".50", 0.5},
        {'N', 6, 2, "-.50", -0.5},
        {'N', 6, 0, "5.", 5},
        {'F', 20, 10, "1.5000000000E+02", 150},
        {'F', 19, 4, "-2.5e-3", -0.0025},
        {'F', 12, 2, "1234567.89", 1234567.89},
        {'N', 5, 0, "00042", 42},
    };
    for (const Case &k : cases) {
        ProgramDir dir;
        Table t = itemTable(twoItems());
        t.fields[2] = {"PRICE", k.type, k.width, k.decimals};
        t.records[0].values[2] = k.text;
        dir.write(bytes(t));
        const Loaded got = load(dir);
        EXPECT_EQ(got.prices[0].toDouble(), k.value)
            << k.type << k.width << "." << k.decimals << " " << k.text.constData();
    }
}

TEST(Variants, NumbersKeepEveryDigitWhereverTheyStandInTheColumn)
{
    // Compact storage must not round: 0.1 or 16777217 have no exact float.
    const std::vector<std::pair<QByteArray, double>> prices = {
        {"7.50", 7.5}, {"-3", -3}, {"", 0}, {"0.10", 0.1}, {"16777217", 16777217}, {"1e300", 1e300}, {"2.25", 2.25}};
    ProgramDir dir;
    std::vector<Item> items(prices.size(), item("ring", QStringLiteral("x"), 0));
    Table t = itemTable(items);
    t.fields[2] = {"PRICE", 'F', 20, 2};
    for (size_t i = 0; i < prices.size(); ++i)
        t.records[i].values[2] = prices[i].first;
    dir.write(bytes(t));
    const Loaded got = load(dir);
    ASSERT_EQ(got.prices.size(), prices.size());
    for (size_t i = 0; i < prices.size(); ++i) {
        if (prices[i].first.isEmpty())
            EXPECT_TRUE(got.prices[i].isNull());
        else
            EXPECT_EQ(got.prices[i].toDouble(), prices[i].second) << prices[i].first.constData();
    }
}

TEST(Variants, BlankOrNulFilledNumberIsNull)
{
    for (const QByteArray &blank : {QByteArray(""), QByteArray(12, '\0'), QByteArray("  \0\0  ", 6)}) {
        ProgramDir dir;
        Table t = itemTable(twoItems());
        t.records[0].values[5] = blank; // SILA
        dir.write(bytes(t));
        const Loaded got = load(dir);
        EXPECT_TRUE(got.sila[0].isNull());
        EXPECT_EQ(got.sila[1].toDouble(), 0);
    }
}

TEST(Variants, CodePageFromSidecarWordsWinsOverTheHeader)
{
    struct Case {
        QByteArray word;
        const char *codec;
        std::uint8_t driver; // deliberately another code page
    };
    for (const Case &k : {Case{"1251", "windows-1251", 0x65}, Case{"CP1251", "windows-1251", 0x26},
                          Case{"ANSI 1251\r\n", "windows-1251", 0x65}, Case{"866", "IBM866", 0xC9},
                          Case{"cp866\n", "IBM866", 0}, Case{"UTF-8", "UTF-8", 0xC9}, Case{"utf-8\n", "UTF-8", 0x65}}) {
        Table t = itemTable({item("ring", QString(), 10)});
        t.languageDriver = k.driver;
        t.records[0].values[1] = QStringEncoder(k.codec).encode(kRing);
        EXPECT_EQ(loadNames(bytes(t), k.word), QStringList{kRing}) << k.word.constData();
    }
    // The sidecar's name may be spelt in capitals, as DOS programs write it.
    Table t = itemTable({item("ring", QString(), 10)});
    t.records[0].values[1] = QStringEncoder("IBM866").encode(kRing);
    EXPECT_EQ(loadNames(bytes(t), "866", QStringLiteral("SUBJECTS.CPG")), QStringList{kRing});
}

TEST(Variants, UnknownSidecarWordFallsBackToTheLanguageDriver)
{
    for (const QByteArray &word : {QByteArray("no such code page"), QByteArray(""), QByteArray("ANSI 99999")}) {
        Table t = itemTable({item("ring", QString(), 10)});
        t.languageDriver = 0x65;
        t.records[0].values[1] = QStringEncoder("IBM866").encode(kRing);
        EXPECT_EQ(loadNames(bytes(t), word), QStringList{kRing}) << word.constData();
    }
}

TEST(Variants, LanguageDriverByteChoosesTheCodePage)
{
    for (auto [driver, codec] : {std::pair{0xC9, "windows-1251"},
                                 {0x57, "windows-1251"},
                                 {0x65, "IBM866"},
                                 {0x26, "IBM866"},
                                 {0x00, "windows-1251"}}) {
        Table t = itemTable({item("ring", QString(), 10), item("helmet", QString(), 10)});
        t.languageDriver = std::uint8_t(driver);
        t.records[0].values[1] = QStringEncoder(codec).encode(kRing);
        t.records[1].values[1] = QStringEncoder(codec).encode(QStringLiteral("ЁЖЩЪЭЮЯ ёжщъэюя"));
        EXPECT_EQ(loadNames(bytes(t)), (QStringList{kRing, QStringLiteral("ЁЖЩЪЭЮЯ ёжщъэюя")})) << driver;
    }
}

TEST(Variants, UndecodableTextShowsReplacementCharactersNeverDropped)
{
    // 0x98 has no character in Windows-1251.
    Table t = itemTable({item("ring", QString(), 10), item("ring", QString(), 10)});
    t.records[0].values[1] = "A\x98Z";
    t.records[1].values[1] = "\x98";
    EXPECT_EQ(loadNames(bytes(t)), (QStringList{QStringLiteral("A\uFFFDZ"), QStringLiteral("\uFFFD")}));

    // UTF-8: a stray byte, a sequence cut short by the field's width, a lone lead byte.
    Table u = itemTable({item("ring", QString(), 10), item("ring", QString(), 10), item("ring", QString(), 10)});
    u.fields[1].width = 5;
    u.records[0].values[1] = "a\xFF"
                             "b";
    u.records[1].values[1] = QStringLiteral("abЖ").toUtf8().left(3) + QByteArray("  ");
    u.records[2].values[1] = "\xD0";
    EXPECT_EQ(loadNames(bytes(u), "UTF-8"),
              (QStringList{QStringLiteral("a\uFFFDb"), QStringLiteral("ab\uFFFD"), QStringLiteral("\uFFFD")}));
}

TEST(Variants, TextPaddedWithNulsReadsLikeTextPaddedWithBlanks)
{
    ProgramDir dir;
    Table t = itemTable(twoItems());
    t.textPadding = '\0';
    t.records[1].values[0] = QByteArray("helmet  "); // blanks, then NULs
    dir.write(bytes(t));
    Catalogue c;
    c.setUp(dir.program());
    runSlot(c.query(1), "ring", "ring", 1000); // TYPE and RACE "No" padded with NULs
    EXPECT_EQ(names(c.query(1)), QStringList{kRing});
    c.raceChanged(QStringLiteral("Орк"));
    c.levelChanged(QStringLiteral("7"));
    runSlot(c.query(8), "helmet", "helmet", 1000);
    EXPECT_EQ(names(c.query(8)), QStringList{kHelmet});
}

TEST(Variants, LongFoxProCharacterFieldsAndFormatHintsInTheWidthByte)
{
    // FoxPro keeps widths above 255 in the byte after the width...
    Table wide = itemTable(twoItems());
    wide.fields[1].width = 300;
    wide.records[1].values[1] = QByteArray(280, 'x') + "end";
    EXPECT_EQ(loadNames(bytes(wide)), (QStringList{kRing, QString(280, u'x') + "end"}));

    // ...where other writers leave a format hint for a narrow field.
    Table hinted = itemTable(twoItems());
    hinted.fields[1].decimals = 2;
    EXPECT_EQ(loadNames(bytes(hinted)), (QStringList{kRing, kHelmet}));
}

TEST(Variants, FileExtensionInAnyLetterCase)
{
    for (const char *name : {"subjects.Dbf", "SUBJECTS.dbf", "Subjects.dBF"}) {
        ProgramDir dir;
        QDir(dir.root.path()).mkpath(QStringLiteral("Data"));
        writeFile(dir.data() + u'/' + QString::fromLatin1(name), bytes(itemTable(twoItems())));
        EXPECT_EQ(load(dir).names, (QStringList{kRing, kHelmet})) << name;
    }
}

TEST(Variants, OnlyTheAsteriskMarksADeletedRecord)
{
    QByteArray data = bytes(itemTable(twoItems()));
    const int headerLength = 32 + 27 * 32 + 1;
    const int recordLength = 1 + 3 * 50 + 24 * 12;
    data[headerLength + recordLength] = '*'; // deleted; any other flag but blank is refused (damage_test)
    EXPECT_EQ(loadNames(data), QStringList{kRing});
}
