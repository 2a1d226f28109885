// Saved characters: the store on disk, and the menu that saves, fills in and
// deletes them on the main window.
#include "Fixture.h"
#include "catalogue/Catalogue.h"
#include "components/Trayicon.h"
#include "shell/CharacterMenu.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QProcess>
#include <QtTest/QTest>

#include <functional>
#include <memory>

#include <sys/stat.h>

using shelltest::child;
using vestor::CharacterStore;
using vestor::PickInputs;

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

PickInputs dwarf()
{
    PickInputs c;
    c.race = QStringLiteral("Гном");
    c.level = QStringLiteral("6");
    c.money = QStringLiteral("2500");
    c.current[1] = QStringLiteral("15");
    c.needed[1] = QStringLiteral("40");
    c.needed[18] = QStringLiteral("-5");
    return c;
}

struct StoreDir {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("sub/characters.json")); }
    void write(const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        testdbf::writeFile(path(), bytes);
    }
};

TEST(CharacterStore, WhatIsSavedComesBackInTheOrderSaved)
{
    StoreDir d;
    {
        CharacterStore store(d.path());
        EXPECT_TRUE(store.names().isEmpty());
        store.save(QStringLiteral("Торин"), dwarf());
        store.save(QStringLiteral("Эльфийка"), PickInputs());
        store.setLastPick(dwarf());
        PickInputs changed = dwarf();
        changed.money = QStringLiteral("10");
        store.save(QStringLiteral(" Торин "), changed); // same name: replaced where it stood
    }
    CharacterStore again(d.path());
    EXPECT_TRUE(again.takeProblem().isEmpty());
    EXPECT_EQ(again.names(), QStringList({QStringLiteral("Торин"), QStringLiteral("Эльфийка")}));
    PickInputs expected = dwarf();
    expected.money = QStringLiteral("10");
    EXPECT_EQ(again.character(QStringLiteral("Торин")), expected);
    EXPECT_EQ(again.character(QStringLiteral("Эльфийка")), PickInputs());
    EXPECT_EQ(again.lastPick(), dwarf());

    again.remove(QStringLiteral("Торин"));
    EXPECT_EQ(CharacterStore(d.path()).names(), QStringList{QStringLiteral("Эльфийка")});
}

TEST(CharacterStore, StatsLeftOutOfTheFileReadAsTheirStartText)
{
    StoreDir d;
    d.write(R"({"characters": [{"name": "Торин", "race": "Гном", "level": "6", "money": "2500",
                                 "have": {"Sila": "15"}, "need": {"Sila": "40", "Ob_Kr_p": "-5"}}]})");
    CharacterStore store(d.path());
    EXPECT_TRUE(store.takeProblem().isEmpty());
    EXPECT_EQ(store.character(QStringLiteral("Торин")), dwarf());
}

TEST(CharacterStore, ADamagedFileIsSetAsideOnceAndNeverOverwritten)
{
    const char *valid = R"({"name":"A","race":"Эльф","level":"1","money":"0","have":{},"need":{}})";
    const QByteArray cases[] = {
        "{ not json",
        "[]",
        R"({"characters": 5})",
        R"({"characters": [{"name": "", "race": "Эльф"}]})",
        R"({"characters": [{"name":"A","race":"Эльф","level":"1","money":"0","have":{"Sila":15},"need":{}}]})",
        QByteArray(R"({"characters": [)") + valid + "," + valid + "]}", // the same name twice
        R"({"characters": [{"name":"A","race":"Тролль","level":"1","money":"0","have":{},"need":{}}]})",
        R"({"characters": [], "lastPick": {"race":"Эльф","level":"14","money":"0","have":{},"need":{}}})",
        QByteArray("\xff\xfe\x00", 3),
    };
    for (const QByteArray &damaged : cases) {
        SCOPED_TRACE(damaged.toStdString());
        StoreDir d;
        d.write(damaged);
        d.write(damaged); // an earlier damaged file already set aside stays too
        QFile::copy(d.path(), d.path() + QStringLiteral(".bad"));

        CharacterStore store(d.path());
        const QString problem = store.takeProblem();
        EXPECT_TRUE(problem.contains(QStringLiteral("повреждён"))) << problem.toStdString();
        EXPECT_TRUE(store.takeProblem().isEmpty()) << "reported once";
        EXPECT_TRUE(store.names().isEmpty());
        EXPECT_FALSE(store.lastPick());
        EXPECT_EQ(contents(d.path() + QStringLiteral(".2.bad")), damaged);
        EXPECT_FALSE(QFileInfo::exists(d.path()));

        store.save(QStringLiteral("Новый"), PickInputs());
        CharacterStore again(d.path());
        EXPECT_TRUE(again.takeProblem().isEmpty());
        EXPECT_EQ(again.names(), QStringList{QStringLiteral("Новый")});
    }
}

TEST(CharacterStore, AFailedWriteSaysSoAndChangesNothing)
{
    StoreDir d;
    // A file where the store's folder should be: nothing can be written there.
    testdbf::writeFile(d.dir.filePath(QStringLiteral("sub")), "a file");
    CharacterStore store(d.path());
    EXPECT_THROW(store.save(QStringLiteral("Торин"), dwarf()), vestor::Error);
    EXPECT_TRUE(store.names().isEmpty());
    EXPECT_THROW(store.setLastPick(dwarf()), vestor::Error);
}

// ---- two windows, other programs, hostile files ----

TEST(CharacterStore, TwoStoresOnOneFileKeepEveryChangeOfBoth)
{
    StoreDir d;
    CharacterStore a(d.path()), b(d.path()); // both read the file before either wrote
    struct Step {
        CharacterStore *store;
        enum { Save, Remove, Pick } op;
        const char *name;
        QStringList after; // the names the file holds then
    };
    const Step steps[] = {
        {&a, Step::Save, "Alice", {"Alice"}},          {&b, Step::Pick, "", {"Alice"}},
        {&b, Step::Save, "Bob", {"Alice", "Bob"}},     {&a, Step::Save, "Carol", {"Alice", "Bob", "Carol"}},
        {&b, Step::Remove, "Alice", {"Bob", "Carol"}}, {&a, Step::Pick, "", {"Bob", "Carol"}},
        {&a, Step::Save, "Bob", {"Bob", "Carol"}},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(std::string(s.name) + " by " + (s.store == &a ? "a" : "b"));
        if (s.op == Step::Save)
            s.store->save(QString::fromUtf8(s.name), dwarf());
        else if (s.op == Step::Remove)
            s.store->remove(QString::fromUtf8(s.name));
        else
            s.store->setLastPick(dwarf());
        EXPECT_EQ(CharacterStore(d.path()).names(), s.after);
        EXPECT_EQ(s.store->names(), s.after) << "the one that changed it sees the file";
    }
    a.refresh();
    EXPECT_EQ(a.names(), QStringList({"Bob", "Carol"}));
    EXPECT_EQ(a.lastPick(), dwarf());
}

TEST(CharacterStore, FilesThatAreNotOursAreRefusedAtOnceAndLeftAlone)
{
    struct Case {
        const char *label;
        std::function<void(const QString &path)> make;
        const char *says;
    };
    const Case cases[] = {
        {"Fifo", [](const QString &p) { ASSERT_EQ(::mkfifo(QFile::encodeName(p).constData(), 0600), 0); },
         "не обычный файл"},
        {"LinkToDevZero", [](const QString &p) { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), p)); },
         "не обычный файл"},
        {"TwoMegabytes",
         [](const QString &p) { testdbf::writeFile(p, QByteArray(2 * CharacterStore::kMaxFileBytes, ' ')); }, "больше"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        StoreDir d;
        QDir().mkpath(QFileInfo(d.path()).absolutePath());
        c.make(d.path());
        const QFileInfo before(d.path());
        QElapsedTimer clock;
        clock.start();
        CharacterStore store(d.path());
        EXPECT_LT(clock.elapsed(), 1000);
        const QString problem = store.takeProblem();
        EXPECT_TRUE(problem.contains(QString::fromUtf8(c.says))) << problem.toStdString();
        EXPECT_TRUE(store.names().isEmpty());
        EXPECT_THROW(store.save(QStringLiteral("Торин"), dwarf()), vestor::Error);
        EXPECT_NO_THROW(store.setLastPick(dwarf())) << "a pick goes on";
        store.refresh();
        EXPECT_TRUE(store.takeProblem().isEmpty()) << "told once";
        EXPECT_LT(clock.elapsed(), 1000);
        const QFileInfo after(d.path());
        EXPECT_EQ(after.isSymLink(), before.isSymLink());
        EXPECT_EQ(after.size(), before.size());
        EXPECT_FALSE(QFileInfo::exists(d.path() + QStringLiteral(".bad")));
    }
}

// Run as a second process by the stress test below: saves COUNT characters
// named PREFIX0, PREFIX1, ... into the file named in the environment.
TEST(CharacterStoreWorker, SavesWhatTheEnvironmentSays)
{
    const QStringList job = qEnvironmentVariable("VESTOR_CHARACTERS_WORKER").split(u'|');
    if (job.size() != 3)
        GTEST_SKIP() << "only run by CharacterStore.TwoProcessesInterleavingChangesLoseNone";
    CharacterStore store(job[0]);
    for (int i = 0; i < job[2].toInt(); ++i) {
        store.save(job[1] + QString::number(i), dwarf());
        if (i % 10 == 9) // some go again, as a player deleting and saving would
            store.remove(job[1] + QString::number(i - 1));
        if (i % 10 == 9)
            store.save(job[1] + QString::number(i - 1), dwarf());
    }
}

TEST(CharacterStore, TwoProcessesInterleavingChangesLoseNone)
{
    StoreDir d;
    constexpr int kEach = 100;
    std::vector<std::unique_ptr<QProcess>> workers;
    for (const char *prefix : {"first-", "second-"}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VESTOR_CHARACTERS_WORKER"),
                   QStringLiteral("%1|%2|%3").arg(d.path(), QLatin1String(prefix)).arg(kEach));
        p->setProcessEnvironment(env);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=CharacterStoreWorker.SavesWhatTheEnvironmentSays")});
        workers.push_back(std::move(p));
    }
    for (auto &p : workers) {
        ASSERT_TRUE(p->waitForFinished(120000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardOutput().toStdString();
    }
    const QStringList names = CharacterStore(d.path()).names();
    EXPECT_EQ(names.size(), 2 * kEach);
    for (const char *prefix : {"first-", "second-"})
        for (int i = 0; i < kEach; ++i)
            EXPECT_TRUE(names.contains(QLatin1String(prefix) + QString::number(i))) << prefix << i;
}

// ---- the menu on the main window ----

struct CharacterForm : shelltest::Form {
    StoreDir store;
    QStringList asked;
    explicit CharacterForm()
        : shelltest::Form({testdbf::item(QStringLiteral("ring"), QStringLiteral("Кольцо"), 5, {{1, 2}})})
    {
        window->characters().storePath = store.path();
    }
    vestor::CharacterMenu &menu() const { return window->characters(); }
    QAction *action(const char *name) const { return child<QAction>(*menu().menu(), QString::fromLatin1(name)); }
    void saveAs(const QString &name) const
    {
        menu().askName = [name] { return name; };
        action("SaveCharacter")->trigger();
    }
    // The entries of "Персонажи" as the menu shows them when it opens.
    QList<QAction *> entries() const
    {
        menu().menu()->popup(QPoint(0, 0));
        auto *list = child<QMenu>(*menu().menu(), QStringLiteral("Characters"));
        QList<QAction *> out;
        for (QAction *a : list->actions())
            if (!a->isSeparator())
                out << a;
        menu().menu()->hide();
        return out;
    }
    void choose(const QString &text) const
    {
        for (QAction *a : entries())
            if (a->text() == text)
                return a->trigger();
        ADD_FAILURE() << "no entry " << text.toStdString();
    }
};

TEST(CharacterMenu, ChoosingASavedCharacterFillsEveryInputAndTheQueriesFollow)
{
    CharacterForm f;
    f.window->setInputs(dwarf());
    f.saveAs(QStringLiteral("Торин"));
    f.window->setInputs(PickInputs());
    EXPECT_EQ(f.combo(QStringLiteral("ComboBox1"))->currentText(), QStringLiteral("Эльф"));

    f.choose(QStringLiteral("Торин"));
    EXPECT_EQ(f.combo(QStringLiteral("ComboBox1"))->currentText(), QStringLiteral("Гном"));
    EXPECT_EQ(f.combo(QStringLiteral("ComboBox2"))->currentText(), QStringLiteral("6"));
    EXPECT_EQ(f.edit(QStringLiteral("Edit2"))->text(), QStringLiteral("2500"));
    EXPECT_EQ(f.edit(QStringLiteral("Edit3"))->text(), QStringLiteral("15"));
    EXPECT_EQ(f.edit(QStringLiteral("Edit9"))->text(), QStringLiteral("40"));
    EXPECT_EQ(f.edit(QStringLiteral("Edit30"))->text(), QStringLiteral("-5"));
    EXPECT_EQ(f.window->inputs(), dwarf());
    EXPECT_EQ(f.window->catalogue().query(1).param(QStringLiteral("race1")).toString(), QStringLiteral("Gn"));
    EXPECT_EQ(f.window->catalogue().query(18).param(QStringLiteral("level2")).toInt(), 6);
}

TEST(CharacterMenu, APickIsKeptAsTheLastPickAndTheStartStateStaysUntouched)
{
    {
        CharacterForm f;
        f.window->setInputs(dwarf());
        f.pick();
        EXPECT_EQ(f.entries().value(0)->text(), vestor::CharacterMenu::kLastPickName);

        // A new window over the same store starts as designed all the same.
        vestor::TForm1 fresh;
        fresh.characters().storePath = f.store.path();
        EXPECT_EQ(fresh.inputs(), PickInputs());
        EXPECT_EQ(fresh.characters().store().lastPick(), dwarf());
        fresh.setInputs(*fresh.characters().store().lastPick());
        EXPECT_EQ(fresh.inputs(), dwarf());
    }
}

TEST(CharacterMenu, DeletingTakesTheChosenNameOnly)
{
    CharacterForm f;
    const auto none = f.entries();
    ASSERT_EQ(none.size(), 1);
    EXPECT_FALSE(none[0]->isEnabled()) << "nothing saved";
    EXPECT_FALSE(f.action("DeleteCharacter")->isEnabled());
    f.saveAs(QStringLiteral("Первый"));
    f.saveAs(QStringLiteral("Второй"));
    QStringList offered;
    f.menu().chooseToDelete = [&](const QStringList &names) {
        offered = names;
        return QStringLiteral("Первый");
    };
    f.entries(); // the menu opens before an entry is chosen
    f.action("DeleteCharacter")->trigger();
    EXPECT_EQ(offered, QStringList({QStringLiteral("Первый"), QStringLiteral("Второй")}));
    EXPECT_EQ(CharacterStore(f.store.path()).names(), QStringList{QStringLiteral("Второй")});

    // Cancelling the name or the replacement saves nothing.
    f.menu().confirmReplace = [](const QString &) { return false; };
    f.window->setInputs(dwarf());
    f.saveAs(QStringLiteral("Второй"));
    f.saveAs(QString());
    EXPECT_EQ(CharacterStore(f.store.path()).character(QStringLiteral("Второй")), PickInputs());
    EXPECT_EQ(CharacterStore(f.store.path()).names().size(), 1);
}

TEST(CharacterMenu, ADamagedFileIsReportedOnceAndThePickGoesOn)
{
    shelltest::ErrorBoxCatch box;
    CharacterForm f;
    f.store.write("{ damaged");
    f.entries();
    f.pick();
    f.entries();
    QCoreApplication::processEvents();
    ASSERT_EQ(box.texts.size(), 1) << box.texts.join(u'\n').toStdString();
    EXPECT_TRUE(box.texts[0].contains(f.store.path() + QStringLiteral(".bad")));
    EXPECT_FALSE(f.memo().isEmpty()) << "the pick ran";
    EXPECT_EQ(f.entries().value(0)->text(), vestor::CharacterMenu::kLastPickName);
}

TEST(CharacterMenu, OpensOnTheWindowBackgroundAndOnTheTrayIcon)
{
    CharacterForm f;
    f.window->show();
    auto *panel = child<QWidget>(*f.window, QStringLiteral("Panel1"));
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), panel->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(panel, &click);
    EXPECT_TRUE(f.menu().menu()->isVisible());
    f.menu().menu()->hide();
    EXPECT_EQ(f.window->TrayIcon1->PopupMenu, f.menu().menu());
}

} // namespace
