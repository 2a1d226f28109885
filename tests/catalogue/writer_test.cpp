// The one DBF writer and the item CSV, checked through the program's own
// loader: what is written is what is read, and a failed save loses nothing.

#include "catalogue/DbfLoader.h"
#include "catalogue/DbfWriter.h"
#include "catalogue/Error.h"
#include "catalogue/ItemCsv.h"
#include "catalogue/ItemRecord.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace vestor;

ItemRecord record(const QString &type, const QString &name, double price)
{
    ItemRecord r;
    r.text(kTypeColumn) = type;
    r.text(kNameColumn) = name;
    r.text(kRaceColumn) = QStringLiteral("No");
    for (auto &n : r.numbers)
        n = 0.0;
    r.number(2) = price;
    return r;
}

std::vector<ItemRecord> sample()
{
    std::vector<ItemRecord> rows{record(QStringLiteral("ring"), QStringLiteral("Кольцо \"Змея\", малое"), 10),
                                 record(QStringLiteral("lats"), QStringLiteral("Ёжик №1 €"), 1250.25),
                                 record(QStringLiteral("helmet"), QString(50, QChar(u'Я')), 999999999.99)};
    rows[0].number(5) = std::nullopt; // a blank SILA
    rows[1].number(26) = -0.5;
    rows[2].number(4) = 13;
    return rows;
}

std::vector<ItemRecord> loaded(const QString &path)
{
    const ItemRows rows(loadDbfTable(path, kItemColumns));
    std::vector<ItemRecord> out;
    for (int r = 0; r < rows.rowCount(); ++r)
        out.push_back(itemRecordAt(rows, r));
    return out;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Writer : public ::testing::Test
{
protected:
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    bool save(const std::vector<ItemRecord> &rows, SaveOptions options = {})
    {
        return bool(saveItemTable(
            path("Subjects.DBF"),
            [&](ItemTableWriter &w) {
                for (const ItemRecord &r : rows)
                    EXPECT_TRUE(w.write(r).empty());
                return true;
            },
            options));
    }
    QTemporaryDir dir;
};

TEST_F(Writer, WhatIsWrittenIsWhatTheLoaderReads)
{
    ASSERT_TRUE(save(sample()));
    EXPECT_EQ(loaded(path("Subjects.DBF")), sample());
    const QByteArray head = contents(path("Subjects.DBF")).left(32);
    EXPECT_EQ(quint8(head[0]), 0x03);
    EXPECT_EQ(quint8(head[29]), kWindows1251Driver);
}

struct BadRecord {
    const char *label;
    std::function<void(ItemRecord &)> spoil;
    const char *problem;
};

const BadRecord kBadRecords[] = {
    {"NameTooLong", [](ItemRecord &r) { r.text(kNameColumn) = QString(51, u'ж'); },
     "NAME: 51 bytes in Windows-1251, at most 50 allowed"},
    {"NotInWindows1251", [](ItemRecord &r) { r.text(kNameColumn) = QStringLiteral("Меч 龍"); },
     "NAME: character U+9F8D has no Windows-1251 code"},
    {"EmptyType", [](ItemRecord &r) { r.text(kTypeColumn).clear(); }, "TYPE: empty"},
    {"SpacesOnlyName", [](ItemRecord &r) { r.text(kNameColumn) = QStringLiteral("   "); }, "NAME: blank"},
    {"NoBreakSpacesOnlyRace", [](ItemRecord &r) { r.text(kRaceColumn) = QString(2, QChar(0xA0)); }, "RACE: blank"},
    {"NulInRace", [](ItemRecord &r) { r.text(kRaceColumn) = QStringLiteral("N") + QChar(0); },
     "RACE: control character U+0000"},
    {"ThirdDecimal", [](ItemRecord &r) { r.number(2) = 0.125; }, "PRICE: 0.125 does not fit"},
    {"TooWide", [](ItemRecord &r) { r.number(2) = 1e10; }, "PRICE: 10000000000 does not fit"},
    {"NotANumber", [](ItemRecord &r) { r.number(5) = std::numeric_limits<double>::quiet_NaN(); },
     "SILA: nan does not fit"},
    {"Infinite", [](ItemRecord &r) { r.number(5) = std::numeric_limits<double>::infinity(); },
     "SILA: inf does not fit"},
};

class WriterRefuses : public Writer, public ::testing::WithParamInterface<BadRecord>
{};

TEST_P(WriterRefuses, ARecordItCannotHoldAndWritesNothingOfIt)
{
    ItemRecord bad = sample()[0];
    GetParam().spoil(bad);
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    ItemTableWriter writer(buffer, QStringLiteral("t.DBF"));
    const auto problems = writer.write(bad);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(problems[0].startsWith(QString::fromLatin1(GetParam().problem))) << problems[0].toStdString();
    EXPECT_EQ(writer.recordCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, WriterRefuses, ::testing::ValuesIn(kBadRecords),
                         [](const auto &info) { return std::string(info.param.label); });

TEST_F(Writer, SaveKeepsThePreviousTableAsBakAndItsPermissions)
{
    ASSERT_TRUE(save({sample()[0]}));
    const QByteArray first = contents(path("Subjects.DBF"));
    constexpr mode_t kOwnerReadWriteGroupRead = 0640;
    ::chmod(QFile::encodeName(path("Subjects.DBF")).constData(), kOwnerReadWriteGroupRead);
    ASSERT_TRUE(save(sample(), {.keepBackup = true}));
    EXPECT_EQ(contents(path("Subjects.DBF.bak")), first);
    EXPECT_EQ(loaded(path("Subjects.DBF")), sample());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path("Subjects.DBF")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, kOwnerReadWriteGroupRead);
}

TEST_F(Writer, AFailedSaveLeavesTheOldTableWholeAndNoTemporary)
{
    ASSERT_TRUE(save(sample()));
    const QByteArray before = contents(path("Subjects.DBF"));
    const auto declined = [](ItemTableWriter &w) {
        (void)w.write(record(QStringLiteral("ring"), QStringLiteral("half"), 1));
        return false;
    };
    EXPECT_FALSE(saveItemTable(path("Subjects.DBF"), declined).saved);
    const auto throwing = [](ItemTableWriter &w) -> bool {
        (void)w.write(record(QStringLiteral("ring"), QStringLiteral("half"), 1));
        throw Error(QStringLiteral("stopped"));
    };
    EXPECT_THROW(saveItemTable(path("Subjects.DBF"), throwing), Error);
    EXPECT_EQ(contents(path("Subjects.DBF")), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Subjects.DBF")});
}

TEST_F(Writer, ItemCsvExportReadsBackAsTheSameRecords)
{
    QBuffer csv;
    csv.open(QIODevice::ReadWrite);
    ItemCsvWriter out(csv, QStringLiteral("export.csv"));
    for (const ItemRecord &r : sample())
        out.write(r);
    out.finish();
    csv.seek(0);
    ItemCsvReader in(csv, QStringLiteral("export.csv"));
    std::vector<ItemRecord> back;
    while (auto row = in.next()) {
        EXPECT_TRUE(row->problems.empty()) << row->problems.front().toStdString();
        back.push_back(row->record);
    }
    EXPECT_EQ(back, sample());
}

TEST_F(Writer, ItemCsvOnAFullDiskSaysSo)
{
    QFile full(QStringLiteral("/dev/full"));
    ASSERT_TRUE(full.open(QIODevice::WriteOnly));
    const auto write = [&] {
        ItemCsvWriter out(full, QStringLiteral("/dev/full"));
        out.write(sample()[0]);
        out.finish();
    };
    try {
        write();
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("No space left on device"))) << e.what();
    }
}

} // namespace

// ---- what a save never loses ----

namespace {

using namespace vestor;

// Marks a file immutable (chattr +i) while it lives, where the system lets
// the test do so (root on a file system that has the flag).
class Immutable
{
public:
    explicit Immutable(const QString &path) : path_(QFile::encodeName(path)) { set_ = flip(true); }
    ~Immutable()
    {
        if (set_)
            flip(false);
    }
    bool set() const { return set_; }

private:
    bool flip(bool on) const
    {
        const int fd = ::open(path_.constData(), O_RDONLY | O_NONBLOCK);
        int flags = 0;
        bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        return done;
    }
    QByteArray path_;
    bool set_ = false;
};

QStringList leftovers(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral(".vestor-*")}, QDir::Files | QDir::Hidden | QDir::System);
}

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const Error &e) {
        return e.message();
    }
    return {};
}

TEST_F(Writer, TheBackupMovesOnOnlyOnceANewTableIsInPlace)
{
    const std::vector<ItemRecord> a{sample()[0]}, b{sample()[1]};
    ASSERT_TRUE(save(a));
    const QByteArray first = contents(path("Subjects.DBF"));
    ASSERT_TRUE(save(b, {.keepBackup = true}));
    const QByteArray second = contents(path("Subjects.DBF"));
    const auto failing = [](ItemTableWriter &) -> bool { throw Error(QStringLiteral("stopped")); };
    EXPECT_THROW(saveItemTable(path("Subjects.DBF"), failing, {.keepBackup = true}), Error);
    EXPECT_EQ(contents(path("Subjects.DBF")), second);
    EXPECT_EQ(contents(path("Subjects.DBF.bak")), first) << "a failed save keeps the backup it had";
    ASSERT_TRUE(save(sample(), {.keepBackup = true}));
    EXPECT_EQ(contents(path("Subjects.DBF.bak")), second);
    EXPECT_EQ(leftovers(dir.path()), QStringList());
}

TEST_F(Writer, ACodePageFileThatCannotBeMovedStopsTheSaveBeforeAnythingChanges)
{
    ASSERT_TRUE(save({sample()[0]}));
    ASSERT_TRUE(save({sample()[1]}, {.keepBackup = true}));
    const QByteArray table = contents(path("Subjects.DBF")), backup = contents(path("Subjects.DBF.bak"));
    QFile(path("Subjects.cpg")).open(QIODevice::WriteOnly);
    const Immutable pinned(path("Subjects.cpg"));
    if (!pinned.set())
        GTEST_SKIP() << "this system does not let the test make a file immutable";
    const QString message = errorOf([&] { save(sample(), {.keepBackup = true}); });
    EXPECT_TRUE(message.contains(QStringLiteral("Subjects.cpg")) &&
                message.contains(QStringLiteral("nothing was replaced")))
        << message.toStdString();
    EXPECT_EQ(contents(path("Subjects.DBF")), table);
    EXPECT_EQ(contents(path("Subjects.DBF.bak")), backup);
    EXPECT_EQ(leftovers(dir.path()), QStringList());
}

TEST_F(Writer, WhatFailsAfterTheNewTableIsInPlaceIsAWarningAndLosesNothing)
{
    ASSERT_TRUE(save({sample()[0]}));
    ASSERT_TRUE(save({sample()[1]}, {.keepBackup = true}));
    const QByteArray previous = contents(path("Subjects.DBF"));
    const Immutable pinned(path("Subjects.DBF.bak"));
    if (!pinned.set())
        GTEST_SKIP() << "this system does not let the test make a file immutable";
    const SaveResult result = saveItemTable(
        path("Subjects.DBF"), [](ItemTableWriter &w) { return w.write(sample()[2]).empty(); }, {.keepBackup = true});
    EXPECT_TRUE(result.saved);
    EXPECT_EQ(loaded(path("Subjects.DBF")), std::vector<ItemRecord>{sample()[2]});
    ASSERT_EQ(result.warnings.size(), 1u);
    const QStringList kept = leftovers(dir.path());
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(result.warnings[0].contains(kept[0])) << "names where the previous table is";
    EXPECT_EQ(contents(QDir(dir.path()).filePath(kept[0])), previous);
}

TEST_F(Writer, ARefusedTargetIsNamedForWhatItIs)
{
    const QString table = path("Subjects.DBF");
    struct Case {
        const char *label;
        std::function<void()> prepare;
        const char *reason; // empty: saved
        SaveOptions options = {};
    };
    const auto link = [&](const char *to, const char *at) {
        ASSERT_EQ(::symlink(QFile::encodeName(path(to)).constData(), QFile::encodeName(path(at)).constData()), 0);
    };
    const auto readOnly = [&] {
        ASSERT_TRUE(save({sample()[0]}));
        ::chmod(QFile::encodeName(table).constData(), 0444);
    };
    const Case cases[] = {
        {"DanglingLink", [&] { link("Nowhere.DBF", "Subjects.DBF"); }, "a link to a file that does not exist"},
        {"LinkToItself", [&] { link("Subjects.DBF", "Subjects.DBF"); }, "a loop of symbolic links"},
        {"TwoLinksInALoop",
         [&] {
             link("Other.DBF", "Subjects.DBF");
             link("Subjects.DBF", "Other.DBF");
         },
         "a loop of symbolic links"},
        {"ReadOnlyTable", readOnly, "read-only"},
        {"ReadOnlyTableReplacedWhenAsked", readOnly, "", {.replaceReadOnly = true}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        QFile::remove(path("Other.DBF"));
        QFile::remove(table);
        c.prepare();
        const QString message = errorOf([&] { save(sample(), c.options); });
        if (*c.reason == '\0') {
            EXPECT_EQ(message, QString());
            EXPECT_EQ(loaded(table), sample());
        } else {
            EXPECT_TRUE(message.contains(QLatin1String(c.reason))) << message.toStdString();
        }
    }
}

TEST_F(Writer, ExportsKnowTablesByWhatTheyAreNotByTheirNames)
{
    const QString table = path("Subjects.DBF");
    ASSERT_TRUE(save({sample()[0]}));
    ASSERT_TRUE(save(sample(), {.keepBackup = true}));
    QFile::copy(table, path("other.txt"));
    QFile::link(table, path("link.csv"));
    QFile text(path("items.DBF"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("TYPE,NAME\n");
    text.close();
    const std::pair<const char *, Overwrites> cases[] = {
        {"Subjects.DBF", Overwrites::TheTable},      {"link.csv", Overwrites::TheTable},
        {"Subjects.DBF.bak", Overwrites::TheBackup}, {"other.txt", Overwrites::ATable},
        {"items.DBF", Overwrites::Nothing},          {"new.csv", Overwrites::Nothing},
    };
    for (const auto &[name, expected] : cases)
        EXPECT_EQ(whatOutputOverwrites(path(name), table), expected) << name;
}

// ---- CSV for spreadsheets ----

TEST(ItemCsvForSpreadsheets, FormulaCellsGetAQuoteAndComeBackExactly)
{
    // The name as the table holds it, and its cell in the exported file.
    const std::pair<QString, QByteArray> cases[] = {
        {QStringLiteral("=HYPERLINK(\"http://x\",\"y\")"), R"x("'=HYPERLINK(""http://x"",""y"")")x"},
        {QStringLiteral("+1+1"), "'+1+1"},
        {QStringLiteral("-5"), "'-5"},
        {QStringLiteral("@SUM(A1)"), "'@SUM(A1)"},
        {QStringLiteral("'=x"), "''=x"},
        {QStringLiteral("''+x"), "'''+x"},
        {QStringLiteral("'plain"), "'plain"},
        {QStringLiteral("a=b"), "a=b"},
        {QStringLiteral("Кольцо"), "Кольцо"},
    };
    std::vector<ItemRecord> rows;
    QBuffer csv;
    csv.open(QIODevice::ReadWrite);
    ItemCsvWriter out(csv, QStringLiteral("export.csv"));
    for (const auto &[name, cell] : cases) {
        rows.push_back(record(QStringLiteral("ring"), name, 1));
        out.write(rows.back());
    }
    out.finish();
    const QList<QByteArray> lines = csv.data().split('\n');
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_TRUE(lines.value(qsizetype(i) + 1).startsWith("ring," + cases[i].second + ','))
            << lines.value(qsizetype(i) + 1).toStdString();
    csv.seek(0);
    ItemCsvReader in(csv, QStringLiteral("export.csv"));
    std::vector<ItemRecord> back;
    while (auto row = in.next())
        back.push_back(row->record);
    EXPECT_EQ(back, rows);
}

TEST(ItemCsvForSpreadsheets, RawCellsStayAsTheyAreAndATerminalSeesNoControls)
{
    ItemRecord r = record(QStringLiteral("\t1"), QStringLiteral("=1+1"), 1);
    r.text(kRaceColumn) = QStringLiteral("A\x1b[31mB\u009b");
    const auto written = [&](ItemCsvStyle style) {
        QBuffer csv;
        csv.open(QIODevice::WriteOnly);
        ItemCsvWriter out(csv, QStringLiteral("export.csv"), style);
        out.write(r);
        out.finish();
        return csv.data().split('\n').value(1).toStdString();
    };
    EXPECT_EQ(written({}).rfind("'\t1,'=1+1,1,A\x1b[31mB\xc2\x9b,", 0), 0u) << written({});
    EXPECT_EQ(written({.raw = true}).rfind("\t1,=1+1,1,A\x1b[31mB\xc2\x9b,", 0), 0u) << written({.raw = true});
    EXPECT_EQ(written({.escapeControls = true}).rfind("\\x091,'=1+1,1,A\\x1b[31mB\\x9b,", 0), 0u)
        << written({.escapeControls = true});
}

} // namespace
