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

#include <sys/stat.h>

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
        return saveItemTable(
            path("Subjects.DBF"),
            [&](ItemTableWriter &w) {
                for (const ItemRecord &r : rows)
                    EXPECT_TRUE(w.write(r).empty());
                return true;
            },
            options);
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
    EXPECT_FALSE(saveItemTable(path("Subjects.DBF"), declined));
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
