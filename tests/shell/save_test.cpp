// Saving the report: the dialog's name, the ".txt" rule, the question before
// replacing a file, Windows-1251 with CR LF, and failures.
#include "Fixture.h"
#include "shell/ReportFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

using shelltest::child;
using shelltest::ErrorBoxCatch;
using shelltest::Form;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray cp1251(const char *hex) { return QByteArray::fromHex(hex); }

TEST(ReportBytes, Windows1251WithCrLf)
{
    // "Шлем" = D8 EB E5 EC in Windows-1251.
    EXPECT_EQ(vestor::reportBytes(QStringLiteral("Шлем\nx 1\n")), cp1251("d8ebe5ec0d0a7820310d0a"));
    EXPECT_EQ(vestor::reportBytes(QString()), QByteArray());
    EXPECT_EQ(vestor::reportBytes(QStringLiteral("a\r\nb")), QByteArray("a\r\nb")) << "no doubled CR";
    EXPECT_EQ(vestor::reportBytes(QStringLiteral("Ёё№")), cp1251("a8b8b9"));
}

TEST(ReportBytes, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(vestor::reportBytes(QStringLiteral("a\u4E2Db")), QByteArray("a?b"));
    EXPECT_EQ(vestor::reportBytes(QString::fromUtf8("x\xF0\x9F\x98\x80y")), QByteArray("x?y"))
        << "one mark per character";
    EXPECT_EQ(vestor::reportBytes(QStringLiteral("a\u2028b")), QByteArray("a\r\nb"));
}

TEST(ReportFileName, TxtIsAddedOnlyWhenMissing)
{
    EXPECT_EQ(vestor::reportFileName("/tmp/set"), QStringLiteral("/tmp/set.txt"));
    EXPECT_EQ(vestor::reportFileName("/tmp/set.txt"), QStringLiteral("/tmp/set.txt"));
    EXPECT_EQ(vestor::reportFileName("/tmp/SET.TXT"), QStringLiteral("/tmp/SET.TXT"));
    EXPECT_EQ(vestor::reportFileName("/tmp/set.txt.bak"), QStringLiteral("/tmp/set.txt.bak.txt"));
    EXPECT_EQ(vestor::reportFileName("/tmp/settxt"), QStringLiteral("/tmp/settxt.txt"));
}

// A window with a report in its memo and a scripted save dialog.
class Saving : public ::testing::Test
{
protected:
    Form f{{testdbf::item("lats", "Латы", 100, {{1, 10}})}};
    QTemporaryDir out;
    QStringList offered;   // what the dialog was given as the last name
    QString answer;        // what the user picks; empty cancels
    QStringList questions; // files the user was asked to replace
    bool replace = true;

    void SetUp() override
    {
        f.set("Edit2", "500");
        f.set("Edit9", "10");
        f.pick();
        f.window->chooseSaveFile = [this](const QString &last) {
            offered << last;
            return answer;
        };
        f.window->confirmReplace = [this](const QString &name) {
            questions << name;
            return replace;
        };
    }
    void save(const QString &name)
    {
        answer = name;
        child<QPushButton>(*f.window, QStringLiteral("BitBtn1"))->click();
    }
    QString path(const QString &name) const { return out.filePath(name); }
};

TEST_F(Saving, WritesTheMemoAsWindows1251WithCrLf)
{
    save(path("report"));
    const QByteArray expected = vestor::reportBytes(f.memo());
    EXPECT_EQ(contents(path("report.txt")), expected);
    EXPECT_TRUE(expected.startsWith(cp1251("c1eeebe5e520")) /* "Более " */);
    EXPECT_TRUE(expected.endsWith("Veldrin\r\n")) << "every line ends with CR LF, the last one too";
    EXPECT_FALSE(expected.contains("\n\n")) << "no bare line feeds";
    EXPECT_FALSE(QFileInfo::exists(path("report"))) << "only the .txt name is written";
}

TEST_F(Saving, KeepsTheUsersOwnEditsAndAnEmptyMemo)
{
    auto *memo = child<QPlainTextEdit>(*f.window, QStringLiteral("Memo1"));
    memo->setPlainText(QStringLiteral("Мой комплект\nбез конца строки"));
    save(path("mine"));
    EXPECT_EQ(contents(path("mine.txt")), vestor::reportBytes(QStringLiteral("Мой комплект\r\nбез конца строки")));
    memo->clear();
    save(path("empty"));
    EXPECT_EQ(contents(path("empty.txt")), QByteArray());
}

TEST_F(Saving, ANameEndingInTxtIsNotExtendedTwice)
{
    save(path("picked.TXT"));
    EXPECT_TRUE(QFileInfo::exists(path("picked.TXT")));
    EXPECT_FALSE(QFileInfo::exists(path("picked.TXT.txt")));
}

TEST_F(Saving, CancelWritesNothingAndTheDialogRemembersTheLastName)
{
    save(QString());
    EXPECT_TRUE(QDir(out.path()).isEmpty());
    save(path("first"));
    save(QString());
    EXPECT_EQ(offered, QStringList({"", "", path("first")}));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{"first.txt"});
}

TEST_F(Saving, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo)
{
    QFile old(path("old.txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("keep me");
    old.close();

    replace = false;
    save(path("old"));
    EXPECT_EQ(questions, QStringList{path("old.txt")});
    EXPECT_EQ(contents(path("old.txt")), QByteArray("keep me"));

    replace = true;
    save(path("old.txt"));
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(contents(path("old.txt")), vestor::reportBytes(f.memo()));

    save(path("new"));
    EXPECT_EQ(questions.size(), 2) << "no question for a new file";
}

TEST_F(Saving, AFileThatCannotBeCreatedIsReportedAndTheMemoStays)
{
    ErrorBoxCatch box;
    const QString memo = f.memo();
    const QString missing = path("no/such/dir/report");
    save(missing);
    EXPECT_EQ(box.texts, QStringList{"Не удалось записать отчёт в файл " + QDir::toNativeSeparators(missing + ".txt") +
                                     ": нет такого файла или папки."});
    EXPECT_EQ(f.memo(), memo);
    // The dialog still offers the name just chosen.
    save(QString());
    EXPECT_EQ(offered.back(), missing);
}

TEST_F(Saving, AFailedWriteLeavesTheOldFileWhole)
{
    QFile old(path("old.txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("keep me");
    old.close();
    // Files may grow to 16 bytes only: the report's write fails half-way.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 16;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    ErrorBoxCatch box;
    save(path("old"));
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(box.texts.size(), 1);
    EXPECT_EQ(contents(path("old.txt")), QByteArray("keep me"));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{"old.txt"}) << "no temporary file is left";
}

} // namespace
