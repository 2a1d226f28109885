// vestor-pick run as a program: its output, messages and exit status.

#include "TestTable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringEncoder>
#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testdbf;

namespace {

struct Result {
    int status = -1;
    QByteArray out;
    QString err;
    QByteArray rawErr;
};

enum class Stdout { Pipe, FullDisk, Closed };

Result pick(const QStringList &args, Stdout to = Stdout::Pipe)
{
    QProcess p;
    if (to == Stdout::FullDisk)
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
    if (to == Stdout::Closed)
        p.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VESTOR_PICK), args);
    EXPECT_TRUE(p.waitForFinished(30000)) << args.join(' ').toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    const QByteArray err = p.readAllStandardError();
    return {p.exitCode(), p.readAllStandardOutput(), QString::fromUtf8(err), err};
}

const QString kHeading = QStringLiteral("Более всего вам подходит такой комплект:");
const QString kClosing = QStringLiteral(
    "Вы можете улучшить этот комплект, вставив в вещи камни с дополнительными модификаторами у кузнецов клана Veldrin");

struct Cli : ::testing::Test {
    ProgramDir dir;
    void SetUp() override
    {
        dir.write({item("ring", "Кольцо", 10.5, {{1, 2}, {11, 5}}), item("lats", "Латы", 100, {{6, 4}}),
                   item("lats", "Орочьи латы", 100, {{6, 9}}, "Or"), item("helmet", "Шлем", 20, {{8, 5}}, "No", 5)});
    }
    Result run(QStringList args) { return pick(QStringList{"--data", dir.data()} + args); }
};

} // namespace

TEST_F(Cli, PlainReport)
{
    const Result r = run({"--money", "200", "--need", "sila=10"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    const QStringList expected{
        kHeading, "", "Кольцо", "Кольцо", "Кольцо", "Кольцо", "Латы", "", "Всего на сумму 142", "", kClosing};
    EXPECT_EQ(QString::fromUtf8(r.out), expected.join('\n') + '\n');
}

TEST_F(Cli, JsonObject)
{
    const Result r = run({"--money=200", "--have", "Sila=3", "--need", "Sila=10", "--race", "Человек", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
    const QJsonObject o = doc.object();
    EXPECT_EQ(o.keys().size(), 8);
    EXPECT_EQ(o["report"].toArray().size(), 11);
    EXPECT_EQ(o["report"].toArray()[2].toString(), "Кольцо");
    EXPECT_EQ(o["money"].toDouble(), 58);
    EXPECT_EQ(o["total"].toDouble(), 142);
    const QJsonObject results = o["results"].toObject();
    EXPECT_EQ(results.size(), 18);
    EXPECT_EQ(results["Sila"].toString(), "11");
    EXPECT_EQ(results["Ob_Uv"].toString(), "25"); // race bonus 5 and four rings of 5
    EXPECT_EQ(results["Slog"].toString(), "4");
    EXPECT_EQ(results["Ob_Kr_p"].toString(), "0");

    // Keys in the documented order, the results in stat order.
    qsizetype at = -1;
    for (const char *key : {"\"report\"",   "\"results\"", "\"Sila\"",   "\"Lovka\"",   "\"Reak\"",    "\"Zlost\"",
                            "\"Udacha\"",   "\"Slog\"",    "\"Kulach\"", "\"Zashita\"", "\"Orug\"",    "\"Metk\"",
                            "\"Ob_Uv\"",    "\"Ob_Ud\"",   "\"Ob_Otv\"", "\"Ob_Kr\"",   "\"Ob_Uv_p\"", "\"Ob_Ud_p\"",
                            "\"Ob_Otv_p\"", "\"Ob_Kr_p\"", "\"money\"",  "\"total\""}) {
        const qsizetype next = r.out.indexOf(key);
        EXPECT_GT(next, at) << key;
        at = next;
    }

    // The same set as objects a script can use: the report's lines are its items.
    const QJsonArray items = o["items"].toArray();
    ASSERT_EQ(items.size(), 5);
    double spent = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]["name"].toString(), o["report"][2 + i].toString()) << i;
        EXPECT_GE(items[i]["record"].toInt(), 1);
        spent += items[i]["price"].toDouble();
    }
    EXPECT_EQ(items[0]["slot"].toInt(), 9) << "slots run from 12 down";
    EXPECT_EQ(spent, 142);
    EXPECT_EQ(o["yields"]["Sila"].toDouble(), 11);
    EXPECT_EQ(o["yields"]["Ob_Uv"].toDouble(), 25);
    EXPECT_TRUE(o["unmet"].toObject().isEmpty());
    EXPECT_EQ(o["version"].toString(), QStringLiteral(VESTOR_VERSION));
}

TEST_F(Cli, JsonFlagsWhatThePickLeavesShortAndRoundsMoneyToCents)
{
    const Result r = run({"--money", "200.1", "--need", "Sila=20", "--need", "Ob_Uv=10", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    EXPECT_TRUE(r.out.contains("\"money\": 58.1,")) << r.out.toStdString();
    const QJsonObject unmet = o["unmet"].toObject();
    EXPECT_EQ(unmet.keys(), QStringList{"Sila"});
    EXPECT_EQ(unmet["Sila"]["needed"].toDouble(), 20);
    EXPECT_EQ(unmet["Sila"]["yield"].toDouble(), o["yields"]["Sila"].toDouble());
    EXPECT_EQ(unmet["Sila"]["short"].toDouble(), 20 - o["yields"]["Sila"].toDouble());
}

TEST_F(Cli, RaceCodeAndLevelReachTheQueries)
{
    const Result plain = run({"--money", "300", "--need", "Slog=5", "--json"});
    const Result orc = run({"--money", "300", "--need", "Slog=5", "--race", "or", "--level", "5", "--json"});
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(orc.status, 0);
    const QJsonArray a = QJsonDocument::fromJson(plain.out).object()["report"].toArray();
    const QJsonArray b = QJsonDocument::fromJson(orc.out).object()["report"].toArray();
    EXPECT_TRUE(a.contains(QJsonValue("Латы")));
    EXPECT_FALSE(a.contains(QJsonValue("Шлем")));
    EXPECT_TRUE(b.contains(QJsonValue("Орочьи латы")));
    EXPECT_TRUE(b.contains(QJsonValue("Шлем")));
}

TEST_F(Cli, Cp1251Report)
{
    const Result r = run({"--money", "0", "--encoding", "cp1251"});
    ASSERT_EQ(r.status, 0);
    const QStringList expected{kHeading, "", "", "Всего на сумму 0", "", kClosing};
    QStringEncoder cp1251("windows-1251");
    EXPECT_EQ(r.out, QByteArray(cp1251.encode(expected.join('\n') + '\n')));
    EXPECT_TRUE(r.out.startsWith("\xC1\xEE\xEB\xE5\xE5")); // "Более"
}

TEST_F(Cli, FailuresExitOneWithTheMessageOnly)
{
    struct Case {
        QStringList args;
        QString message;
    };
    const Case cases[] = {
        {{"--money", "abc"}, "'abc' is not a valid floating point value"},
        {{"--money", ""}, "'' is not a valid floating point value"},
        {{"--need", "Sila=", "--money", "10"}, "'' is not a valid integer value"},
        {{"--have", "Metk=1-"}, "'1-' is not a valid integer value"},
        {{"--money", "10000000000000"}, "Range check error"},
    };
    for (const Case &c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(r.err.startsWith("vestor-pick: " + c.message)) << r.err.toStdString();
    }
    const Result missing = pick({"--data", dir.root.filePath("nowhere"), "--money", "5"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.contains("nowhere")) << missing.err.toStdString();
}

TEST_F(Cli, UsageErrorsExitTwoSayingWhatIsAccepted)
{
    struct Case {
        QStringList args;
        QString says;
    };
    const Case cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"extra"}, "unexpected argument 'extra'"},
        {{"--money"}, "option --money needs a value"},
        {{"--race", "Эльфы"}, "Эльф (El), Человек (Hm), Гном (Gn), Орк (Or), Хоббит (Hb), Дракон (Dr)"},
        {{"--level", "0"}, "from 1 to 13"},
        {{"--level", "14"}, "from 1 to 13"},
        {{"--level", "x"}, "from 1 to 13"},
        {{"--have", "Ob_Uv=1"},
         "accepted (any letter case): Sila, Lovka, Reak, Zlost, Udacha, Slog, Kulach, Zashita, Orug, Metk\n"},
        {{"--need", "Power=1"}, "Ob_Otv_p, Ob_Kr_p"},
        {{"--need", "Sila"}, "STAT=TEXT"},
        {{"--encoding", "koi8-r"}, "accepted: utf-8, cp1251"},
    };
    for (const Case &c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }
}

TEST(CliHelp, ExplainsEveryOption)
{
    const Result r = pick({"--help"});
    EXPECT_EQ(r.status, 0);
    const QStringList lines = QString::fromUtf8(r.out).split('\n');
    for (const char *option :
         {"--data", "--race", "--level", "--money", "--have", "--need", "--json", "--encoding", "--best"}) {
        const auto explained = std::count_if(
            lines.begin(), lines.end(), [&](const QString &l) { return l.startsWith(QStringLiteral("  ") + option); });
        const auto example = std::count_if(lines.begin(), lines.end(), [&](const QString &l) {
            return l.trimmed().startsWith("vestor-pick ") && (l + ' ').contains(QString::fromLatin1(option) + ' ');
        });
        EXPECT_EQ(explained, 1) << option;
        EXPECT_GE(example, 1) << option << ": no example";
    }
}

TEST(CliShipped, RealisticCharacterOverTheDefaultCatalogue)
{
    // No --data: the Data directory beside the program, with the shipped table.
    const Result r = pick({"--race", "Гном", "--level", "6", "--money", "2500", "--have", "Sila=15", "--need",
                           "Sila=40", "--need", "Zashita=30", "--need", "Ob_Ud=45", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    const QJsonArray report = o["report"].toArray();
    EXPECT_GE(report.size(), 6 + 10) << "most slots should find an item";
    EXPECT_GT(o["total"].toDouble(), 0);
    EXPECT_LE(o["total"].toDouble(), 2500);
    EXPECT_EQ(o["money"].toDouble() + o["total"].toDouble(), 2500);
    EXPECT_GT(o["results"].toObject()["Sila"].toString().toInt(), 15);
}

// Output that cannot be written, hostile item names, the code page and the
// messages' causes: each case once went wrong.
TEST(CliFaults, WritesAreCheckedNamesShownSafelyMessagesSayTheCause)
{
    ProgramDir dir;
    // A UTF-8 table, so that a name can hold what Windows-1251 lacks.
    const QString name = QStringLiteral("Кольцо 中\x1B]0;title\x07\r\nfake");
    Table table = itemTable({item("ring", name, 10)});
    table.records[0].values[1] = name.toUtf8();
    dir.write(bytes(table));
    writeFile(dir.root.filePath("Data/Subjects.cpg"), "UTF-8");
    QStringEncoder cp1251("windows-1251");
    const QByteArray shown = QStringLiteral("Кольцо 中\uFFFD]0;title\uFFFD\uFFFD\uFFFDfake\n").toUtf8();

    struct Case {
        const char *what;
        QStringList args;
        Stdout to;
        int status;
        QByteArray out;   // what stdout holds
        QByteArray err;   // what stderr holds
        QByteArray never; // on neither
    };
    const QString data = dir.data();
    const Case cases[] = {
        {"a full disk", {"--data", data}, Stdout::FullDisk, 1, {}, "cannot write the output: No space left", {}},
        {"help to a full disk", {"--help"}, Stdout::FullDisk, 1, {}, "cannot write the output", {}},
        {"a closed stdout", {"--data", data}, Stdout::Closed, 1, {}, "cannot write the output", {}},
        {"controls in a name", {"--data", data, "--money", "500"}, Stdout::Pipe, 0, shown, {}, "\x1B"},
        {"cp1251 report",
         {"--data", data, "--money", "500", "--encoding", "cp1251"},
         Stdout::Pipe,
         0,
         cp1251.encode(QStringLiteral("Кольцо ??]0;title???fake\n")),
         {},
         "\x1A"},
        {"cp1251 usage error",
         {"--encoding", "cp1251", "--race", "Эльфы"},
         Stdout::Pipe,
         2,
         {},
         cp1251.encode(QStringLiteral("unknown race 'Эльфы'; accepted: Эльф (El)")),
         "Эльфы"},
        {"cp1251 failure",
         {"--data", data, "--money", "中", "--encoding", "cp1251"},
         Stdout::Pipe,
         1,
         {},
         "'?' is not a valid floating point value",
         "\x1A"},
        {"empty --data", {"--data", ""}, Stdout::Pipe, 2, {}, "option --data needs a directory name", "exist"},
        {"a file as --data", {"--data", dir.table()}, Stdout::Pipe, 1, {}, "Subjects.DBF is not a directory", "exist"},
        {"a value for --json", {"--json=1"}, Stdout::Pipe, 2, {}, "option --json takes no value", "unknown"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = pick(c.args, c.to);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(c.out.isEmpty() ? r.out.isEmpty() : r.out.contains(c.out)) << r.out.toStdString();
        EXPECT_TRUE(c.err.isEmpty() ? r.err.isEmpty() : r.rawErr.contains(c.err)) << r.err.toStdString();
        if (!c.never.isEmpty()) {
            EXPECT_FALSE(r.out.contains(c.never));
            EXPECT_FALSE(r.rawErr.contains(c.never));
        }
    }
}

namespace {

// Writes `data` to a path given as bytes, which QFile could not name.
void writeRaw(const QByteArray &path, const QByteArray &data, mode_t mode = 0644)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    ASSERT_GE(fd, 0) << path.toStdString();
    EXPECT_EQ(::write(fd, data.constData(), std::size_t(data.size())), data.size());
    ::close(fd);
}

} // namespace

// Installed under a folder whose name is not valid UTF-8 and started through
// a link from elsewhere, the program reads the Data folder beside its real
// file, never the one in the current directory.
TEST(CliDataDirectory, BesideTheRealProgramEvenUnderANameThatIsNotText)
{
    QTemporaryDir root;
    const QByteArray home = QFile::encodeName(root.path()) + "/Games\xFF\xFE";
    ASSERT_EQ(::mkdir(home.constData(), 0755), 0);
    ASSERT_EQ(::mkdir(home + "/Data", 0755), 0);
    QFile program(QStringLiteral(VESTOR_PICK));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    writeRaw(home + "/vestor-pick", program.readAll(), 0755);
    writeRaw(home + "/Data/Subjects.DBF", bytes(itemTable({item("ring", "Своё кольцо", 10, {{1, 2}})})));
    ASSERT_EQ(::symlink((home + "/vestor-pick").constData(), QFile::encodeName(root.filePath("link")).constData()), 0);

    ProgramDir elsewhere; // a foreign table in the current directory
    elsewhere.write({item("ring", "Чужое кольцо", 10, {{1, 2}})});
    QProcess p;
    p.setWorkingDirectory(elsewhere.root.path());
    p.start(root.filePath("link"), {"--money", "1000", "--need", "sila=2"});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Своё кольцо"))) << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("Чужое"))) << out.toStdString();
    // QTemporaryDir cannot name what it would remove.
    for (const char *file : {"/Data/Subjects.DBF", "/vestor-pick"})
        ::unlink(home + file);
    ::rmdir(home + "/Data");
    ::rmdir(home.constData());
}

namespace {

// A table whose best sets are known; its first record is deleted, so record numbers start at 2.
struct CliBest : ::testing::Test {
    ProgramDir dir;
    void SetUp() override
    {
        Item gone = item("amulet", "Удалённый", 1, {{1, 50}});
        gone.deleted = true;
        dir.write({gone, item("armor", "Меч", 100, {{1, 8}}),      // 2
                   item("ring", "Кольцо злости", 5, {{4, 2}}),     // 3
                   item("amulet", "Амулет", 30, {{1, 8}, {4, 6}}), // 4
                   item("ring", "Кольцо силы", 10, {{1, 2}})});    // 5
    }
    Result run(QStringList args) { return pick(QStringList{"--data", dir.data(), "--best"} + args); }
    QJsonObject json(QStringList args)
    {
        const Result r = run(args << "--json");
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out).object();
    }
};

QStringList names(const QJsonObject &set)
{
    QStringList out;
    for (const QJsonValue &i : set["items"].toArray())
        out << i["name"].toString();
    return out;
}

TEST_F(CliBest, JsonObjectInTheDocumentedShape)
{
    const Result r = run({"--money", "1000", "--need", "Sila=8", "--need", "Zlost=6", "--json", "--greedy"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    // Members in the documented order.
    QStringList order;
    for (const QByteArray &line : r.out.split('\n'))
        if (line.startsWith("  \""))
            order << QString::fromUtf8(line.mid(3, line.indexOf('"', 3) - 3));
    EXPECT_EQ(order, (QStringList{"mode", "proven", "gap", "doubts", "alternativesAsked", "alternativesFound", "sets",
                                  "unreachable", "greedy", "version"}));
    EXPECT_EQ(o["mode"].toString(), "all-met");
    EXPECT_TRUE(o["proven"].toBool());
    const QJsonObject best = o["sets"][0].toObject();
    EXPECT_EQ(names(best), QStringList{"Амулет"});
    const QJsonObject amulet = best["items"][0].toObject();
    EXPECT_EQ(amulet["slot"].toInt(), 2);
    EXPECT_EQ(amulet["slotName"].toString(), QStringLiteral("Амулет"));
    EXPECT_EQ(amulet["record"].toInt(), 4);
    EXPECT_EQ(amulet["type"].toString(), "amulet");
    EXPECT_EQ(amulet["price"].toDouble(), 30);
    EXPECT_EQ(best["total"].toDouble(), 30);
    EXPECT_EQ(best["yields"].toObject().size(), 18);
    EXPECT_EQ(best["yields"]["Sila"].toDouble(), 8);
    EXPECT_TRUE(best["short"].toObject().isEmpty());
    EXPECT_TRUE(o["unreachable"].toObject().isEmpty());
    EXPECT_FALSE(o.contains("moneyNeeded"));
    EXPECT_TRUE(o["greedy"]["items"].isArray());
    EXPECT_GT(o["greedy"]["total"].toDouble(), 30);
}

TEST_F(CliBest, LockExcludeAndAlternativesByRecordNumber)
{
    struct Case {
        QStringList args;
        QStringList best;
        int sets;
    };
    const std::vector<Case> cases{
        {{"--lock", "2"}, {"Меч", "Кольцо злости", "Кольцо злости", "Кольцо злости"}, 1},
        {{"--exclude", "4"}, {"Меч", "Кольцо злости", "Кольцо злости", "Кольцо злости"}, 1},
        {{"--lock", "5", "--lock", "5"}, {"Кольцо силы", "Кольцо силы", "Амулет"}, 1},
        {{"--alternatives", "3"}, {"Амулет"}, 2},
    };
    for (const Case &c : cases) {
        const QJsonObject o = json(
            QStringList{"--money", "1000", "--need", "Sila=8", "--need", "Zlost=6", "--alternatives", "0"} + c.args);
        EXPECT_EQ(names(o["sets"][0].toObject()), c.best) << c.args.join(' ').toStdString();
        EXPECT_EQ(o["sets"].toArray().size(), c.sets) << c.args.join(' ').toStdString();
    }
}

TEST_F(CliBest, ClosestSetWithShortfallsWhatIsOutOfReachAndTheMoneyThatWouldDo)
{
    QJsonObject o = json({"--money", "20", "--need", "Sila=8", "--need", "Zlost=6", "--alternatives", "0"});
    EXPECT_EQ(o["mode"].toString(), "closest");
    EXPECT_EQ(o["moneyNeeded"].toDouble(), 30);
    EXPECT_FALSE(o["sets"][0]["short"].toObject().isEmpty());

    o = json({"--money", "1000", "--need", "Sila=100", "--alternatives", "0"});
    const QJsonObject sila = o["unreachable"].toObject()["Sila"].toObject();
    EXPECT_EQ(sila["needed"].toDouble(), 100);
    EXPECT_EQ(sila["best"].toDouble(), 8 * 2 + 8 + 4 * 2);
    EXPECT_FALSE(o.contains("moneyNeeded"));
}

TEST_F(CliBest, RussianReportWithoutJson)
{
    const Result r = run({"--money", "1000", "--need", "Sila=8", "--need", "Zlost=6", "--alternatives", "0"});
    ASSERT_EQ(r.status, 0);
    const QStringList lines = QString::fromUtf8(r.out).split('\n');
    EXPECT_EQ(lines.value(0), QStringLiteral("Самый дешёвый комплект, выполняющий все требования:"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Слот 2 (Амулет): Амулет — 30")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Всего на сумму 30")));
}

TEST_F(CliBest, MistakesExitTwoAndFailuresOne)
{
    struct Case {
        QStringList args;
        int status;
        const char *says;
    };
    const std::vector<Case> cases{
        {{"--lock", "0"}, 2, "--lock"},
        {{"--alternatives", "many"}, 2, "--alternatives"},
        {{"--time-limit", "0"}, 2, "--time-limit"},
        {{"--exclude", "-3"}, 2, "--exclude"},
        {{"--lock", "77", "--money", "10"}, 1, "77"},
        {{"--lock", "2", "--exclude", "2", "--money", "1000"}, 1, "2"},
    };
    for (const Case &c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
    }
    const Result alone = pick({"--data", dir.data(), "--greedy"});
    EXPECT_EQ(alone.status, 2);
    EXPECT_TRUE(alone.err.contains("--best"));
}

TEST_F(CliBest, ASolverFaultExitsOneWithAMessageAndNothingOnStdout)
{
    qputenv("VESTOR_SOLVE_FAULT", "abort");
    const Result r = run({"--money", "1000", "--need", "Sila=8"});
    qunsetenv("VESTOR_SOLVE_FAULT");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(QStringLiteral("Решатель"))) << r.err.toStdString();
}

} // namespace
