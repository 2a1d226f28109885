// Damaged tables: each is refused with a message that names the file and the
// fault, nothing crashes, and a good table still loads afterwards.

#include "TestTable.h"

#include <functional>

#include <sys/stat.h>

using namespace testdbf;
using vestor::Catalogue;

namespace {

constexpr int kHeaderLength = 32 + 27 * 32 + 1;
constexpr int kRecordLength = 1 + 3 * 50 + 24 * 12;

QByteArray goodTable()
{
    return bytes(itemTable(
        {item("ring", QStringLiteral("Кольцо"), 100, {{1, 5}}), item("lats", QStringLiteral("Латы"), 900, {{8, 10}})}));
}

// The message of the set-up over `data`, empty when it loads.
QString setUpMessage(const QByteArray &data)
{
    ProgramDir dir;
    dir.write(data);
    try {
        Catalogue c;
        c.setUp(dir.program());
        runSlot(c.query(1), "ring", "ring", 1000);
    } catch (const vestor::Error &e) {
        return e.message();
    }
    return {};
}

QByteArray withNumber(const QByteArray &text)
{
    QByteArray data = goodTable();
    data.replace(kHeaderLength + 1 + 100, 12, text.rightJustified(12, ' ', true)); // PRICE of the first row
    return data;
}

QByteArray patched(int at, std::initializer_list<int> values)
{
    QByteArray b = goodTable();
    for (int v : values)
        b[at++] = char(v);
    return b;
}

} // namespace

TEST(Damage, NumbersThatAreNotPlainDecimalsAreRefusedWithTheirText)
{
    for (const char *text : {"12abc", "****", "1e999", "-1e999", "inf", "-inf", "+inf", "nan",   "-nan", "0x1A",
                             "1,5",   "- 5",  "5-",    "++5",    "1e",  ".",    "-",    "1.2.3", "1 2",  "e5"}) {
        const QString message = setUpMessage(withNumber(text));
        EXPECT_TRUE(message.contains(QStringLiteral("Subjects.DBF"))) << text << ": " << message.toStdString();
        EXPECT_TRUE(message.contains(
            QStringLiteral("PRICE of record 1 holds '%1', which is not a number").arg(QString::fromLatin1(text))))
            << text << ": " << message.toStdString();
    }
    // A control byte inside the digits is shown, not passed on raw.
    const QString message = setUpMessage(withNumber(QByteArray("12\x01"
                                                               "3",
                                                               4)));
    EXPECT_TRUE(message.contains(QStringLiteral("'12?3'"))) << message.toStdString();
}

// Every header fault, each refused with a message naming the file and the fault.
TEST(Damage, HeaderFaultsAreNamed)
{
    auto renamed = [](int field, const char *name) {
        QByteArray b = goodTable();
        b.replace(32 + 32 * field, 11, QByteArray(name).leftJustified(11, '\0'));
        return b;
    };
    QByteArray twoTerminators = goodTable();
    twoTerminators[32 + 5 * 32] = 0x0D; // the list ends after five fields
    const std::vector<std::pair<QByteArray, const char *>> cases = {
        {QByteArray(), "holds 0 bytes"},
        {QByteArray(1, '\x03'), "holds 1 bytes"},
        {goodTable().left(31), "holds 31 bytes"},
        {goodTable().left(32), "beyond the end of the file"},
        {goodTable().left(kHeaderLength - 1), "beyond the end of the file"},
        {QByteArray("PK\x03\x04 a zip file, not a table at all").repeated(4), "not a dBase table"},
        {patched(0, {0x04}), "dBase 7"},
        {patched(0, {0x8C}), "dBase 7"},
        {patched(0, {0x00}), "first byte is 0x00"},
        {patched(0, {0xFF}), "first byte is 0xff"},
        {patched(4, {0x10, 0x27, 0, 0}), "declares 10000 records but the file holds only 2"},
        {patched(4, {0xFF, 0xFF, 0xFF, 0xFF}), "declares 4294967295 records but the file holds only 2"},
        {goodTable().left(goodTable().size() - 100), "declares 2 records but the file holds only 1"},
        {patched(8, {0, 0}), "header length 0"},
        {patched(8, {33, 0}), "header length 33"},
        {patched(8, {0xFF, 0xFF}), "beyond the end of the file"},
        {patched(8, {100, 0}), "field 3 runs past the end of the header"},
        {patched(10, {0, 0}), "record length is 0"},
        {patched(10, {1, 0}), "record length 1"},
        {patched(10, {0xFF, 0xFF}), "record length 65535"},
        {patched(10, {(kRecordLength - 1) & 0xFF, (kRecordLength - 1) >> 8}), "disagrees with its fields"},
        {twoTerminators, "record length 439 disagrees with its fields, which take 175 bytes"},
        {patched(32, {0x0D}), "it declares no fields"},
        {renamed(0, "TYPEXXXXXXX"), "the name of field 1 ('TYPEXXXXXXX') is not terminated"},
        {renamed(0, ""), "field 1 has no name"},
        {renamed(1, "TYPE"), "the field name 'TYPE' appears twice"},
        {renamed(1, "type"), "the field name 'type' appears twice"},
        {patched(32 + 16, {0}), "field 'TYPE' has width 0"},
    };
    for (const auto &[data, expected] : cases) {
        const QString message = setUpMessage(data);
        EXPECT_TRUE(message.contains(QString::fromUtf8(expected))) << expected << ": " << message.toStdString();
        EXPECT_TRUE(message.contains(QStringLiteral("Subjects.DBF"))) << message.toStdString();
    }
}

TEST(Damage, RecordsCutShortAreCountedNotRead)
{
    const QByteArray good = goodTable();
    EXPECT_TRUE(setUpMessage(good.left(kHeaderLength))
                    .contains(QStringLiteral("declares 2 records but the file holds only 0")));
    EXPECT_TRUE(setUpMessage(good.left(kHeaderLength + kRecordLength + 10))
                    .contains(QStringLiteral("declares 2 records but the file holds only 1")));
    // Without the end-of-file mark the table is whole.
    EXPECT_EQ(setUpMessage(good.left(good.size() - 1)), QString());
}

TEST(Damage, AGoodTableLoadsAfterADamagedOne)
{
    EXPECT_FALSE(setUpMessage(patched(8, {0, 0})).isEmpty());
    EXPECT_EQ(setUpMessage(goodTable()), QString());
}

// Every byte of the header overwritten with telling values, and the file cut
// at every length: each load either succeeds or raises an Error.
TEST(Damage, NoHeaderByteOrCutCrashesTheLoader)
{
    const QByteArray good = goodTable();
    ProgramDir dir;
    auto refused = [&](const QByteArray &data) {
        dir.write(data);
        try {
            Catalogue c;
            c.setUp(dir.program());
        } catch (const vestor::Error &) {
            return 1;
        }
        return 0;
    };
    int count = 0;
    for (int at = 0; at < kHeaderLength + 2; ++at) {
        for (char value : {'\0', '\xFF'}) {
            QByteArray b = good;
            b[at] = value;
            count += refused(b);
        }
    }
    for (int length = 0; length < good.size(); length += 7)
        count += refused(good.left(length));
    EXPECT_GT(count, 300);
}

// Files that would hang, or load what is not there, are refused by name: a
// FIFO (or a link to one) under the table's or the code page's name, and
// records whose deletion flag is neither blank nor '*' (a zeroed tail, the
// hole of a sparse file).
TEST(Damage, HostileFilesAreRefusedByName)
{
    auto fifo = [](const QString &path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0); };
    auto flagged = [](char flag) {
        QByteArray b = goodTable();
        b[kHeaderLength + kRecordLength] = flag;
        return b;
    };
    // Two more records declared, as zeros on disk or as a hole.
    auto withEmptyTail = [](ProgramDir &dir, bool sparse) {
        QByteArray b = goodTable().chopped(1); // without the end-of-file mark
        b[4] = 4;
        if (!sparse)
            b += QByteArray(2 * kRecordLength, '\0');
        dir.write(b);
        if (sparse)
            QFile(dir.table()).resize(b.size() + 2 * kRecordLength);
    };
    struct Case {
        const char *what;
        std::function<void(ProgramDir &)> make;
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {"table is a FIFO",
         [&](ProgramDir &d) {
             d.write(QByteArray());
             QFile::remove(d.table());
             fifo(d.table());
         },
         {"Subjects.DBF", "not a regular file"}},
        {"table links to a FIFO",
         [&](ProgramDir &d) {
             d.write(QByteArray());
             QFile::remove(d.table());
             fifo(d.root.filePath("pipe"));
             QFile::link(d.root.filePath("pipe"), d.table());
         },
         {"Subjects.DBF", "not a regular file"}},
        {"code page file is a FIFO",
         [&](ProgramDir &d) {
             d.write(goodTable());
             fifo(d.data() + QStringLiteral("/Subjects.cpg"));
         },
         {"Subjects.cpg", "not a regular file"}},
        {"NUL deletion flag",
         [&](ProgramDir &d) { d.write(flagged('\0')); },
         {"Subjects.DBF", "record 2 is marked neither live nor deleted (its first byte is 0x00)"}},
        {"letter as deletion flag", [&](ProgramDir &d) { d.write(flagged('D')); }, {"record 2", "0x44"}},
        {"zero-filled tail", [&](ProgramDir &d) { withEmptyTail(d, false); }, {"record 3", "0x00"}},
        {"sparse tail", [&](ProgramDir &d) { withEmptyTail(d, true); }, {"record 3", "0x00"}},
    };
    for (const Case &c : cases) {
        ProgramDir dir;
        c.make(dir);
        const QString message = errorOf([&] {
            Catalogue catalogue;
            catalogue.setUp(dir.program());
        });
        for (const QString &part : c.expected)
            EXPECT_TRUE(message.contains(part)) << c.what << ": " << message.toStdString();
    }
}
