// Saved characters: the store on disk, and the menu that saves, fills in and
// deletes them on the main window.
#include "Fixture.h"
#include "catalogue/Catalogue.h"
#include "components/Trayicon.h"
#include "shell/CharacterMenu.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QtTest/QTest>

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
