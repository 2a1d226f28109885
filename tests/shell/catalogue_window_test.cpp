// The catalogue window: its model over the loaded table (order, sorting,
// filters), editing with checks and undo, and the window on the main window.
#include "Fixture.h"
#include "catalogue/Catalogue.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/ItemCsv.h"
#include "engine/Stats.h"
#include "shell/CatalogueWindow.h"
#include "shell/ItemModel.h"
#include "shell/StatLabels.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLockFile>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <algorithm>
#include <random>

using shelltest::child;
using testdbf::item;
using vestor::ItemModel;

namespace {

// Record 4 is deleted; names tell the rows apart.
std::vector<testdbf::Item> table()
{
    auto gone = item("ring", "Удалённое кольцо", 1);
    gone.deleted = true;
    return {
        item("ring", "Медное кольцо", 6, {{1, 2}}),
        item("ring", "Кольцо гнома", 10, {{1, 5}}, "Gn", 3),
        item("helmet", "Шлем", 6, {}, "No", 5),
        gone,
        item("amulet", "амулет эльфа", 20, {{1, 2}}, "El"),
        item("ring", "Кольцо силы", 6, {{1, 9}}, "No", 2),
    };
}

int col(const char *name) { return ItemModel::viewColumn(name); }

QStringList column(const QAbstractItemModel &m, int c)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out << m.index(r, c).data().toString();
    return out;
}

QStringList names(const QAbstractItemModel &m) { return column(m, col("NAME")); }

// A loaded catalogue and the model over it.
struct Loaded {
    testdbf::ProgramDir dir;
    vestor::Catalogue catalogue;
    ItemModel model;
    explicit Loaded(const std::vector<testdbf::Item> &items = table())
    {
        dir.write(items);
        catalogue.setUpIn(dir.data());
        model.setRows(catalogue.rows());
    }
    bool set(int row, const char *name, const QString &text)
    {
        return model.setData(model.index(row, col(name)), text);
    }
};

TEST(CatalogueModel, ShowsEveryLoadedRowInFileOrderWithItsRecordNumber)
{
    Loaded l;
    EXPECT_EQ(names(l.model), QStringList({"Медное кольцо", "Кольцо гнома", "Шлем", "амулет эльфа", "Кольцо силы"}));
    EXPECT_EQ(column(l.model, ItemModel::kRecordColumn), QStringList({"1", "2", "3", "5", "6"}));
    EXPECT_EQ(column(l.model, col("SILA")), QStringList({"2", "5", "0", "2", "9"}));
    EXPECT_EQ(l.model.totalCount(), 5);
}

TEST(CatalogueModel, StatColumnsCarryTheCaptionsOfTheMainWindow)
{
    vestor::TForm1 w;
    for (const vestor::Stat &s : vestor::stats()) {
        const QString label = child<QLabel>(w, QLatin1String(vestor::kStatLabels[s.index - 1].needed))->text();
        EXPECT_EQ(ItemModel::caption(col(s.column)), label) << s.column;
    }
}

TEST(CatalogueModel, SortsByAnyColumnAndTiesKeepFileOrder)
{
    struct Case {
        const char *column;
        Qt::SortOrder order;
        QStringList expected;
    } cases[] = {
        {"PRICE", Qt::AscendingOrder, {"Медное кольцо", "Шлем", "Кольцо силы", "Кольцо гнома", "амулет эльфа"}},
        {"PRICE", Qt::DescendingOrder, {"амулет эльфа", "Кольцо гнома", "Медное кольцо", "Шлем", "Кольцо силы"}},
        {"SILA", Qt::DescendingOrder, {"Кольцо силы", "Кольцо гнома", "Медное кольцо", "амулет эльфа", "Шлем"}},
        {"NAME", Qt::AscendingOrder, {"амулет эльфа", "Кольцо гнома", "Кольцо силы", "Медное кольцо", "Шлем"}},
        {"TYPE", Qt::DescendingOrder, {"Медное кольцо", "Кольцо гнома", "Кольцо силы", "Шлем", "амулет эльфа"}},
    };
    Loaded l;
    for (const Case &c : cases) {
        l.model.sort(col(c.column), c.order);
        EXPECT_EQ(names(l.model), c.expected) << c.column << " " << c.order;
    }
    l.model.sort(ItemModel::kRecordColumn, Qt::DescendingOrder);
    EXPECT_EQ(column(l.model, ItemModel::kRecordColumn), QStringList({"6", "5", "3", "2", "1"}));

    // Edited and added rows sort by what the window holds, not by the file.
    l.model.addRow();
    ASSERT_TRUE(l.set(5, "NAME", "Б"));
    ASSERT_TRUE(l.set(0, "NAME", "ЯЯ")); // was Кольцо силы
    l.model.sort(col("NAME"), Qt::AscendingOrder);
    EXPECT_EQ(names(l.model), QStringList({"амулет эльфа", "Б", "Кольцо гнома", "Медное кольцо", "Шлем", "ЯЯ"}));
    l.model.sort(ItemModel::kRecordColumn, Qt::AscendingOrder);
    EXPECT_EQ(names(l.model).last(), QStringLiteral("Б")) << "new rows come last";
}

// Names sorted and searched through the names folded once per load agree
// with plain strings: letter case aside, ties in file order, both ways; and
// still once an edit has changed a name.
TEST(CatalogueModel, SortAndSearchByNameAgreeWithPlainStringsOnRandomNames)
{
    const QStringList pieces = {"кольцо", "Кольцо", "КОЛЬЦО", "ёж", "Ёж", "a", "A", "ab", "Σσς", "щит", " ", "1"};
    std::mt19937 random(5);
    std::vector<testdbf::Item> items;
    for (int i = 0; i < 150; ++i) {
        QString name;
        for (int n = 1 + int(random() % 3); n > 0; --n)
            name += pieces[int(random() % pieces.size())];
        items.push_back(item("ring", name.trimmed().isEmpty() ? QStringLiteral("x") : name.trimmed(), i));
    }
    Loaded l(items);
    const auto expectAgreement = [&](const std::string &when) {
        l.model.setFilter({});
        l.model.sort(ItemModel::kRecordColumn, Qt::AscendingOrder);
        const QStringList inFileOrder = names(l.model);
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            QStringList expected = inFileOrder;
            std::stable_sort(expected.begin(), expected.end(), [&](const QString &a, const QString &b) {
                return order == Qt::AscendingOrder ? a.toCaseFolded() < b.toCaseFolded()
                                                   : b.toCaseFolded() < a.toCaseFolded();
            });
            l.model.sort(col("NAME"), order);
            EXPECT_EQ(names(l.model), expected) << when << ", order " << order;
        }
        l.model.sort(ItemModel::kRecordColumn, Qt::AscendingOrder);
        for (const char *needle : {"кольцо", "ЁЖ", "Σ", "ς", "o a", "b", "zzz"}) {
            ItemModel::Filter f;
            f.name = QString::fromUtf8(needle);
            l.model.setFilter(f);
            QStringList expected;
            for (const QString &name : inFileOrder)
                if (name.contains(f.name, Qt::CaseInsensitive))
                    expected << name;
            EXPECT_EQ(names(l.model), expected) << when << ", search " << needle;
        }
    };
    expectAgreement("as loaded");
    l.model.setFilter({});
    l.model.sort(ItemModel::kRecordColumn, Qt::AscendingOrder);
    ASSERT_TRUE(l.set(3, "NAME", "ёЖИК"));
    expectAgreement("after an edit");
}

// A table large enough that a sort or search by name does not wait for the
// folded names: the rows follow once the names are ready.
TEST(CatalogueModel, ALargeTableSortsAndSearchesByNameOnceItsNamesAreFolded)
{
    constexpr int kRows = 60000;
    std::vector<testdbf::Item> items;
    for (int i = kRows - 1; i >= 0; --i)
        items.push_back(item("ring", QStringLiteral("Вещь %1").arg(i, 5, 10, QChar(u'0')), i));
    Loaded l(items);
    l.model.sort(col("NAME"), Qt::AscendingOrder);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return l.model.index(0, col("NAME")).data() == QStringLiteral("Вещь 00000"); }, 10000));
    EXPECT_EQ(l.model.rowCount(), kRows);
    EXPECT_EQ(l.model.index(kRows - 1, col("NAME")).data().toString(), QStringLiteral("Вещь 59999"));
    ItemModel::Filter f;
    f.name = QStringLiteral("ВЕЩЬ 1234");
    l.model.setFilter(f);
    ASSERT_TRUE(QTest::qWaitFor([&] { return l.model.rowCount() == 10; }, 10000));
    EXPECT_EQ(names(l.model).first(), QStringLiteral("Вещь 12340"));
    EXPECT_EQ(names(l.model).last(), QStringLiteral("Вещь 12349"));
}

TEST(CatalogueModel, FiltersByTypeRaceLevelNameAndWhatTheCharacterMayWear)
{
    using F = ItemModel::Filter;
    auto with = [](auto change) {
        F f;
        change(f);
        return f;
    };
    struct Case {
        const char *what;
        F filter;
        QStringList expected;
    } cases[] = {
        {"type", with([](F &f) { f.type = "ring"; }), {"Медное кольцо", "Кольцо гнома", "Кольцо силы"}},
        {"race, No for every race",
         with([](F &f) { f.race = "El"; }),
         {"Медное кольцо", "Шлем", "амулет эльфа", "Кольцо силы"}},
        {"level at most", with([](F &f) { f.maxLevel = 2; }), {"Медное кольцо", "амулет эльфа", "Кольцо силы"}},
        {"name, any case", with([](F &f) { f.name = "КОЛЬЦО"; }), {"Медное кольцо", "Кольцо гнома", "Кольцо силы"}},
        {"available to a dwarf of level 3",
         with([](F &f) { f.available = std::pair(QString("Gn"), 3); }),
         {"Медное кольцо", "Кольцо гнома", "Кольцо силы"}},
        {"together",
         with([](F &f) {
             f.type = "ring";
             f.available = std::pair(QString("El"), 13);
         }),
         {"Медное кольцо", "Кольцо силы"}},
    };
    Loaded l;
    l.model.sort(col("PRICE"), Qt::DescendingOrder);
    for (const Case &c : cases) {
        l.model.setFilter(c.filter);
        l.model.sort(ItemModel::kRecordColumn, Qt::AscendingOrder);
        EXPECT_EQ(names(l.model), c.expected) << c.what;
        EXPECT_EQ(l.model.totalCount(), 5) << c.what;
    }
}

TEST(CatalogueModel, EditsAreCheckedAsTheTableToolChecksThem)
{
    struct Case {
        const char *column;
        QString typed;
        bool accepted;
        QString shown; // what the cell shows afterwards
    } cases[] = {
        {"PRICE", "12.5", true, "12.5"},
        {"PRICE", "-3", true, "-3"},
        {"PRICE", "12.555", false, "6"},
        {"PRICE", "12,5", false, "6"},
        {"PRICE", "abc", false, "6"},
        {"PRICE", "", true, ""}, // a blank field, as an empty CSV cell
        {"PRICE", "123456789012", false, "6"},
        {"NAME", QString(50, u'Ж'), true, QString(50, u'Ж')},
        {"NAME", QString(51, u'Ж'), false, "Медное кольцо"},
        {"NAME", "Кольцо ñ", false, "Медное кольцо"},
        {"NAME", "  Кольцо  ", true, "Кольцо"},
        {"NAME", "", false, "Медное кольцо"},
        {"TYPE", "sword", true, "sword"},
        {"RACE", "Tr", true, "Tr"},
    };
    for (const Case &c : cases) {
        Loaded l;
        QStringList messages;
        QObject::connect(&l.model, &ItemModel::message, [&](const QString &m, bool) { messages << m; });
        EXPECT_EQ(l.set(0, c.column, c.typed), c.accepted) << c.column << " " << c.typed.toStdString();
        EXPECT_EQ(l.model.index(0, col(c.column)).data().toString(), c.shown) << c.typed.toStdString();
        EXPECT_EQ(messages.size(), !c.accepted || QByteArray(c.column) == "TYPE" || QByteArray(c.column) == "RACE")
            << "refusals and unknown codes say so: " << c.typed.toStdString();
    }
}

TEST(CatalogueModel, EveryEditUndoesAndRedoes)
{
    Loaded l;
    const auto original = l.model.fileRows();
    ASSERT_TRUE(l.set(1, "PRICE", "99"));
    l.model.addRow();
    ASSERT_TRUE(l.set(5, "NAME", "Новое кольцо"));
    l.model.duplicateRows({0, 2});
    l.model.deleteRows({2}); // Кольцо гнома, the row whose price changed
    EXPECT_EQ(names(l.model), QStringList({"Медное кольцо", "Медное кольцо", "Шлем", "Шлем", "амулет эльфа",
                                           "Кольцо силы", "Новое кольцо"}));
    EXPECT_FALSE(column(l.model, col("PRICE")).contains(QStringLiteral("99")));
    EXPECT_TRUE(l.model.modified());
    const auto edited = l.model.fileRows();
    EXPECT_EQ(edited.size(), 7u);

    while (l.model.undoStack()->canUndo())
        l.model.undoStack()->undo();
    EXPECT_EQ(l.model.fileRows(), original);
    EXPECT_FALSE(l.model.modified());
    while (l.model.undoStack()->canRedo())
        l.model.undoStack()->redo();
    EXPECT_EQ(l.model.fileRows(), edited);
}

TEST(CatalogueModel, DuplicatesLandAfterTheirRowsInFileOrderWhateverTheSort)
{
    Loaded l;
    l.model.sort(col("PRICE"), Qt::DescendingOrder); // амулет, гнома, Медное, Шлем, силы
    l.model.duplicateRows({0, 3});
    QStringList fileOrder;
    for (const auto &r : l.model.fileRows())
        fileOrder << r.text(vestor::kNameColumn);
    EXPECT_EQ(fileOrder, QStringList({"Медное кольцо", "Кольцо гнома", "Шлем", "Шлем", "амулет эльфа", "амулет эльфа",
                                      "Кольцо силы"}));
}

TEST(CatalogueModel, TypesAndRacesShowTheirRussianNamesWithTheCodeInTheTooltip)
{
    struct Case {
        const char *column;
        QString typed, shown, stored;
    };
    const Case cases[] = {
        {"TYPE", "amulet", "Амулет", "amulet"}, {"TYPE", "Двуручное оружие", "Двуручное оружие", "2hand"},
        {"TYPE", "кольцо", "Кольцо", "ring"},   {"TYPE", "sword", "sword", "sword"}, // unknown: as it is
        {"RACE", "Gn", "Гном", "Gn"},           {"RACE", "Орк", "Орк", "Or"},
        {"RACE", "No", "Любая", "No"},          {"RACE", "Tr", "Tr", "Tr"},
    };
    for (const Case &c : cases) {
        Loaded l;
        ASSERT_TRUE(l.set(0, c.column, c.typed)) << c.typed.toStdString();
        const QModelIndex cell = l.model.index(0, col(c.column));
        EXPECT_EQ(cell.data().toString(), c.shown) << c.typed.toStdString();
        EXPECT_EQ(cell.data(Qt::EditRole).toString(), c.stored) << c.typed.toStdString();
        EXPECT_TRUE(cell.data(Qt::ToolTipRole).toString().contains(c.stored)) << c.typed.toStdString();
    }
}

TEST(CatalogueModel, PicksKeepTheLoadedTableUntilASave)
{
    Loaded l;
    ASSERT_TRUE(l.set(0, "NAME", "Переименованное"));
    l.model.deleteRows({1});
    const vestor::ItemRows &loaded = l.catalogue.rows();
    ASSERT_EQ(loaded.rowCount(), 5);
    EXPECT_EQ(loaded.text(1, 0), QStringLiteral("Медное кольцо"));
    auto all = testdbf::wholeTable(l.catalogue);
    EXPECT_EQ(testdbf::names(*all).size(), 5);
}

// ---- the window ----

struct Window : shelltest::Form {
    Window() : shelltest::Form(table()) { window->show(); }
    vestor::CatalogueWindow *open() const
    {
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == window.get(); }));
        QTest::keyClick(edit(QStringLiteral("Edit3")), Qt::Key_K, Qt::ControlModifier);
        // A button's shortcut clicks it a moment later, as a click would look.
        vestor::CatalogueWindow *found = nullptr;
        const bool shown = QTest::qWaitFor([&] {
            found = window->findChild<vestor::CatalogueWindow *>(QStringLiteral("CatalogueWindow"));
            return found && found->isVisible();
        });
        return shown ? found : nullptr;
    }
};

TEST(CatalogueWindow, CtrlKOpensItFromAnyFieldAndItCountsWhatItShows)
{
    Window w;
    auto *cat = w.open();
    ASSERT_NE(cat, nullptr);
    EXPECT_TRUE(cat->isVisible());
    EXPECT_EQ(cat->windowTitle(), vestor::CatalogueWindow::kTitle);
    EXPECT_EQ(w.edit(QStringLiteral("Edit3"))->text(), QStringLiteral("0"));
    auto *count = child<QLabel>(*cat, QStringLiteral("CountLabel"));
    EXPECT_TRUE(count->text().contains(QStringLiteral("5 из 5"))) << count->text().toStdString();

    // The main window's race and level decide "только доступные".
    w.combo(QStringLiteral("ComboBox1"))->setCurrentIndex(2); // Гном
    w.combo(QStringLiteral("ComboBox2"))->setCurrentIndex(2); // 3
    child<QCheckBox>(*cat, QStringLiteral("AvailableOnly"))->click();
    EXPECT_TRUE(count->text().contains(QStringLiteral("3 из 5"))) << count->text().toStdString();
}

TEST(CatalogueWindow, ClosingWithUnsavedChangesAsksAndDiscardingRestoresTheTable)
{
    Window w;
    auto *cat = w.open();
    ASSERT_TRUE(cat->model().setData(cat->model().index(0, col("NAME")), QStringLiteral("Другое")));
    int asked = 0;
    auto answer = vestor::CatalogueWindow::Unsaved::Keep;
    cat->askUnsaved = [&] {
        ++asked;
        return answer;
    };
    EXPECT_FALSE(cat->close());
    EXPECT_TRUE(cat->isVisible());
    answer = vestor::CatalogueWindow::Unsaved::Discard;
    EXPECT_TRUE(cat->close());
    EXPECT_EQ(asked, 2);
    w.open();
    EXPECT_EQ(cat->model().index(0, col("NAME")).data().toString(), QStringLiteral("Медное кольцо"));
    EXPECT_TRUE(cat->close()) << "nothing to ask about";
    EXPECT_EQ(asked, 2);

    // Closing the main window, which ends the program, asks too.
    w.open();
    ASSERT_TRUE(cat->model().setData(cat->model().index(0, col("NAME")), QStringLiteral("Другое")));
    answer = vestor::CatalogueWindow::Unsaved::Keep;
    EXPECT_FALSE(w.window->close());
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_EQ(asked, 3);
}

TEST(CatalogueWindow, ATableReadOnlyOnDiskOpensReadOnlyAndSaysSo)
{
    Window w;
    QFile::setPermissions(w.dir.table(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    auto *cat = w.open();
    EXPECT_TRUE(cat->windowTitle().contains(QStringLiteral("только чтение")));
    EXPECT_TRUE(child<QLabel>(*cat, QStringLiteral("ReadOnlyLabel"))->isVisible());
    EXPECT_FALSE(child<QPushButton>(*cat, QStringLiteral("AddRow"))->isEnabled());
    EXPECT_FALSE(cat->model().setData(cat->model().index(0, col("PRICE")), QStringLiteral("1")));
    EXPECT_EQ(cat->model().index(0, col("PRICE")).data().toString(), QStringLiteral("6"));
}

TEST(CatalogueWindow, DeleteKeyInTheTableRemovesTheRowAndUndoBringsItBack)
{
    Window w;
    auto *cat = w.open();
    auto *view = child<QTableView>(*cat, QStringLiteral("ItemTable"));
    cat->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([cat] { return QApplication::activeWindow() == cat; }));
    view->setFocus();
    view->selectRow(1);
    ASSERT_TRUE(view->hasFocus());
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(names(cat->model()).size(), 4);
    EXPECT_FALSE(names(cat->model()).contains(QStringLiteral("Кольцо гнома")));
    QTest::keyClick(cat, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(names(cat->model()).value(1), QStringLiteral("Кольцо гнома"));
}

} // namespace

// ---- saving and CSV ----

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList loadedNames(const vestor::ItemRows &rows)
{
    QStringList out;
    for (int r = 0; r < rows.rowCount(); ++r)
        out << rows.text(vestor::kNameColumn, r);
    return out;
}

TEST(CatalogueSave, EditsReachTheTableTheLoaderAndTheNextPick)
{
    Window w;
    auto *cat = w.open();
    const QByteArray before = bytesOf(w.dir.table());
    ItemModel &m = cat->model();
    ASSERT_TRUE(m.setData(m.index(1, col("NAME")), QStringLiteral("Кольцо гнома-кузнеца")));
    ASSERT_TRUE(m.setData(m.index(1, col("SILA")), QStringLiteral("50")));
    m.deleteRows({0});
    m.addRow();
    const auto edited = m.fileRows();
    child<QPushButton>(*cat, QStringLiteral("SaveTable"))->click();

    EXPECT_FALSE(m.modified());
    EXPECT_EQ(bytesOf(w.dir.table() + QStringLiteral(".bak")), before) << "the previous table is kept";
    // What the catalogue now serves is what the window held, read by the real loader.
    const vestor::ItemRows &loaded = w.window->catalogue().rows();
    std::vector<vestor::ItemRecord> reread;
    for (int r = 0; r < loaded.rowCount(); ++r)
        reread.push_back(vestor::itemRecordAt(loaded, r));
    EXPECT_EQ(reread, edited);
    EXPECT_EQ(column(m, ItemModel::kRecordColumn), QStringList({"1", "2", "3", "4", "5"})) << "numbered anew";

    // The next pick takes the strongest ring, which now is the edited one.
    w.set("Edit2", "1000");
    w.set("Edit9", "40");
    w.combo(QStringLiteral("ComboBox1"))->setCurrentIndex(2); // Гном
    w.window->ComboBox1Change();
    w.combo(QStringLiteral("ComboBox2"))->setCurrentIndex(2); // 3
    w.window->ComboBox2Change();
    w.pick();
    EXPECT_TRUE(w.memo().contains(QStringLiteral("Кольцо гнома-кузнеца"))) << w.memo().toStdString();
}

TEST(CatalogueWindow, ASharedTableItMayNotWriteIsSavedAsTheUsersCopyWhichThePicksReadFromThen)
{
    Window w;
    QFile::setPermissions(w.dir.table(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    const QByteArray shared = bytesOf(w.dir.table());
    QTemporaryDir home;
    auto *cat = w.open();
    cat->userCopy = QDir(home.path()).filePath(QStringLiteral("vestor/Data/Subjects.DBF"));
    const vestor::Catalogue &loaded = w.window->catalogue();
    cat->open({loaded.rows(), loaded.tablePath(), loaded.fileIdentity()});

    EXPECT_FALSE(cat->windowTitle().contains(QStringLiteral("только чтение")));
    EXPECT_TRUE(child<QLabel>(*cat, QStringLiteral("ReadOnlyLabel"))->text().contains(QStringLiteral("ваша копия")));
    ASSERT_TRUE(cat->model().setData(cat->model().index(0, col("NAME")), QStringLiteral("Своё кольцо")));
    child<QPushButton>(*cat, QStringLiteral("SaveTable"))->click();

    EXPECT_EQ(bytesOf(w.dir.table()), shared) << "the shared table stays as it was";
    ASSERT_TRUE(QFileInfo::exists(cat->userCopy));
    const QString said = child<QLabel>(*cat, QStringLiteral("MessageLabel"))->text();
    EXPECT_TRUE(said.contains(QStringLiteral("ваша копия")) && said.contains(QStringLiteral("при следующем запуске")))
        << said.toStdString();
    EXPECT_EQ(QDir(w.window->catalogue().database().path()), QFileInfo(cat->userCopy).dir());
    EXPECT_EQ(w.window->catalogue().rows().text(1, 0), QStringLiteral("Своё кольцо"));
    EXPECT_TRUE(child<QPushButton>(*cat, QStringLiteral("AddRow"))->isEnabled()) << "the copy is the user's to edit";
}

TEST(CatalogueSave, AFailedSaveLeavesTheOldTableWholeAndTheEditsInTheWindow)
{
    // A price the loader reads but the item table's N(12,2) cannot hold.
    testdbf::Table t = testdbf::itemTable(table());
    for (auto &f : t.fields)
        if (f.name == "PRICE")
            f.width = 20;
    t.records[0].values[2] = "1234567890123.5";
    shelltest::ErrorBoxCatch box;
    Window w;
    w.dir.write(testdbf::bytes(t));
    w.window->catalogue().reload();
    auto *cat = w.open();
    const QByteArray before = bytesOf(w.dir.table());
    ASSERT_TRUE(cat->model().setData(cat->model().index(1, col("NAME")), QStringLiteral("Другое")));
    child<QPushButton>(*cat, QStringLiteral("SaveTable"))->click();

    ASSERT_EQ(box.texts.size(), 1);
    EXPECT_TRUE(box.texts[0].contains(QStringLiteral("Строка 1"))) << box.texts[0].toStdString();
    EXPECT_EQ(bytesOf(w.dir.table()), before);
    EXPECT_FALSE(QFileInfo::exists(w.dir.table() + QStringLiteral(".bak")));
    EXPECT_TRUE(cat->model().modified());
    EXPECT_EQ(loadedNames(w.window->catalogue().rows()).value(1), QStringLiteral("Кольцо гнома"));
}

TEST(CatalogueCsv, ExportedRowsImportAsTheSameRows)
{
    Window w;
    auto *cat = w.open();
    ItemModel &m = cat->model();
    ASSERT_TRUE(m.setData(m.index(0, col("NAME")), QStringLiteral("Кольцо, \"кавычки\"")));
    ASSERT_TRUE(m.setData(m.index(0, col("PRICE")), QStringLiteral("")));
    ASSERT_TRUE(m.setData(m.index(2, col("PRICE")), QStringLiteral("-0.25")));
    ASSERT_TRUE(m.setData(m.index(3, col("NAME")), QStringLiteral("=1+1")));
    const auto all = m.fileRows();
    const QString csv = w.dir.root.filePath(QStringLiteral("all.csv"));
    cat->exportCsv(csv);
    EXPECT_TRUE(bytesOf(csv).contains(",'=1+1,")) << "a spreadsheet shows it, not runs it";

    cat->askImport = [](int) { return vestor::CatalogueWindow::ImportAs::Replace; };
    cat->importCsv(csv);
    EXPECT_EQ(m.fileRows(), all);
    m.undoStack()->undo();
    EXPECT_EQ(m.fileRows(), all) << "one step, undone whole";

    // Only what is shown is exported; appended rows follow the others.
    ItemModel::Filter rings;
    rings.type = QStringLiteral("ring");
    m.setFilter(rings);
    cat->exportCsv(csv);
    m.setFilter({});
    cat->askImport = [](int) { return vestor::CatalogueWindow::ImportAs::Append; };
    cat->importCsv(csv);
    EXPECT_EQ(m.totalCount(), 5 + 3);
    EXPECT_EQ(names(m).mid(5), QStringList({"Кольцо, \"кавычки\"", "Кольцо гнома", "Кольцо силы"}));
}

TEST(CatalogueCsv, AFaultyFileImportsNothingAndNamesEachFaultByLine)
{
    Window w;
    auto *cat = w.open();
    const QString csv = w.dir.root.filePath(QStringLiteral("bad.csv"));
    QByteArray text = vestor::itemCsvHeader() + '\n';
    text += "ring,Хорошее,5,No,1" + QByteArray(",0").repeated(22) + '\n';
    text += "ring,Плохое,5.555,No,1" + QByteArray(",0").repeated(22) + '\n';
    text += "ring,,5,No,1" + QByteArray(",0").repeated(22) + '\n';
    text += "ring,   ,5,No,1" + QByteArray(",0").repeated(22) + '\n';
    testdbf::writeFile(csv, text);
    int asked = 0;
    cat->askImport = [&](int) {
        ++asked;
        return vestor::CatalogueWindow::ImportAs::Append;
    };
    const QString message = testdbf::errorOf([&] { cat->importCsv(csv); });
    EXPECT_TRUE(message.contains(QStringLiteral("bad.csv:3: PRICE"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("bad.csv:4: NAME"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("bad.csv:5: NAME: blank"))) << message.toStdString();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(cat->model().totalCount(), 5);
    EXPECT_FALSE(cat->model().modified());
}

TEST(CatalogueCsv, ImportWarningsShowTheFirstTwentyThenHowManyMore)
{
    Window w;
    auto *cat = w.open();
    cat->askImport = [](int) { return vestor::CatalogueWindow::ImportAs::Append; };
    const QString csv = w.dir.root.filePath(QStringLiteral("rings.csv"));
    const std::pair<int, QString> cases[] = {
        {20, {}},
        {21, QStringLiteral("и ещё 1 предупреждение")},
        {23, QStringLiteral("и ещё 3 предупреждения")},
        {45, QStringLiteral("и ещё 25 предупреждений")},
    };
    for (const auto &[rows, more] : cases) {
        QByteArray text = vestor::itemCsvHeader() + '\n';
        for (int i = 0; i < rows; ++i)
            text += "RING,Кольцо,5,No,1" + QByteArray(",0").repeated(22) + '\n';
        testdbf::writeFile(csv, text);
        cat->importCsv(csv);
        const QString shown = child<QLabel>(*cat, QStringLiteral("MessageLabel"))->text();
        EXPECT_EQ(shown.count(QStringLiteral("TYPE: \"RING\"")), 20) << rows;
        if (more.isEmpty())
            EXPECT_FALSE(shown.contains(QStringLiteral("и ещё"))) << shown.toStdString();
        else
            EXPECT_TRUE(shown.endsWith(more)) << shown.toStdString();
    }
}

TEST(CatalogueCsv, AnExportNeverGoesOverATable)
{
    Window w;
    auto *cat = w.open();
    cat->model().addRow();
    child<QPushButton>(*cat, QStringLiteral("SaveTable"))->click(); // leaves Subjects.DBF.bak
    const QString other = w.dir.root.filePath(QStringLiteral("Other.DBF"));
    QFile::copy(w.dir.table(), other);
    const std::pair<QString, QString> cases[] = {
        {w.dir.table(), QStringLiteral("таблица вещей программы")},
        {w.dir.table() + QStringLiteral(".bak"), QStringLiteral("резервная копия таблицы вещей")},
        {other, QStringLiteral("таблица dBase")},
    };
    for (const auto &[path, why] : cases) {
        const QByteArray before = bytesOf(path);
        ASSERT_FALSE(before.isEmpty()) << path.toStdString();
        const QString message = testdbf::errorOf([&] { cat->exportCsv(path); });
        EXPECT_TRUE(message.contains(QFileInfo(path).fileName()) && message.contains(why)) << message.toStdString();
        EXPECT_EQ(bytesOf(path), before);
    }
}

// ---- another program writes the table meanwhile ----

using Changed = vestor::CatalogueWindow::Changed;

TEST(CatalogueSave, ATableRewrittenUnderTheWindowIsReplacedOnlyWhenTheUserSaysSo)
{
    struct Case {
        Changed answer;
        bool tableIsOurs; // else the other program's table stays
        bool copyIsOurs;  // "Сохранить как…" wrote Copy.DBF
    };
    for (const Case c : {Case{Changed::Cancel, false, false}, Case{Changed::Replace, true, false},
                         Case{Changed::SaveAs, false, true}}) {
        SCOPED_TRACE(int(c.answer));
        Window w;
        auto *cat = w.open();
        ASSERT_TRUE(cat->model().setData(cat->model().index(0, col("NAME")), QStringLiteral("Наше кольцо")));
        // Rewritten in place: the same file, the same size.
        auto other = table();
        other[0].name = QStringLiteral("Чужое кольцо");
        w.dir.write(other);
        const QByteArray theirs = bytesOf(w.dir.table());
        int asked = 0;
        cat->askChanged = [&](const QString &) {
            ++asked;
            return c.answer;
        };
        const QString copy = w.dir.root.filePath(QStringLiteral("Copy.DBF"));
        cat->chooseTable = [&] { return copy; };
        child<QPushButton>(*cat, QStringLiteral("SaveTable"))->click();

        EXPECT_EQ(asked, 1);
        const auto names = [](const QString &table) {
            return loadedNames(vestor::ItemRows(vestor::loadDbfTable(table, vestor::kItemColumns)));
        };
        EXPECT_EQ(names(w.dir.table()).contains(QStringLiteral("Наше кольцо")), c.tableIsOurs);
        if (c.tableIsOurs)
            EXPECT_EQ(bytesOf(w.dir.table() + QStringLiteral(".bak")), theirs) << "their table is kept";
        else
            EXPECT_EQ(bytesOf(w.dir.table()), theirs);
        EXPECT_EQ(QFileInfo::exists(copy) && names(copy).contains(QStringLiteral("Наше кольцо")), c.copyIsOurs);
        EXPECT_EQ(cat->model().modified(), c.answer == Changed::Cancel);
        if (c.answer == Changed::Replace) {
            // The file is ours now: the next save asks nothing.
            ASSERT_TRUE(cat->model().setData(cat->model().index(1, col("NAME")), QStringLiteral("Ещё")));
            child<QPushButton>(*cat, QStringLiteral("SaveTable"))->click();
            EXPECT_EQ(asked, 1);
            EXPECT_TRUE(names(w.dir.table()).contains(QStringLiteral("Ещё")));
        }
    }
}

TEST(CatalogueSave, TwoWindowsOnOneTableTakeTurnsAndNeitherLosesTheOther)
{
    shelltest::ErrorBoxCatch box;
    Window w;
    auto *first = w.open();
    const vestor::Catalogue &loaded = w.window->catalogue();
    // A second program's window, opened on the same file at the same time.
    vestor::CatalogueWindow second;
    second.open({loaded.rows(), loaded.tablePath(), loaded.fileIdentity()});
    int asked = 0;
    second.askChanged = [&](const QString &) {
        ++asked;
        return Changed::Replace;
    };
    second.lockWaitMs = 100;

    ASSERT_TRUE(first->model().setData(first->model().index(0, col("NAME")), QStringLiteral("Из первого")));
    child<QPushButton>(*first, QStringLiteral("SaveTable"))->click();
    const QByteArray firstSaved = bytesOf(w.dir.table());
    ASSERT_TRUE(second.model().setData(second.model().index(1, col("NAME")), QStringLiteral("Из второго")));
    {
        // While another program holds the table for its own save, this one waits, then says so.
        QLockFile busy(w.dir.table() + QStringLiteral(".lock"));
        ASSERT_TRUE(busy.tryLock(0));
        child<QPushButton>(second, QStringLiteral("SaveTable"))->click();
        ASSERT_EQ(box.texts.size(), 1);
        EXPECT_TRUE(box.texts[0].contains(QStringLiteral("сейчас сохраняет другая программа")))
            << box.texts[0].toStdString();
        EXPECT_EQ(bytesOf(w.dir.table()), firstSaved);
        EXPECT_EQ(asked, 0);
    }
    child<QPushButton>(second, QStringLiteral("SaveTable"))->click();
    EXPECT_EQ(asked, 1) << "the first window's save changed the file under the second";
    EXPECT_EQ(bytesOf(w.dir.table() + QStringLiteral(".bak")), firstSaved) << "the first window's table is kept";
    EXPECT_TRUE(loadedNames(vestor::ItemRows(vestor::loadDbfTable(w.dir.table(), vestor::kItemColumns)))
                    .contains(QStringLiteral("Из второго")));
}

} // namespace
