// The main window as designed: controls by design name, geometry, texts,
// limits, tab order, and the key filters of the numeric fields.
#include "Fixture.h"
#include "engine/Stats.h"
#include "shell/StatLabels.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QtTest/QTest>

using shelltest::child;

namespace {

struct Placed {
    const char *name;
    const char *parent;
    QRect geometry;
};

// Controls placed directly on the window and the panels in their boxes.
const Placed kPlaced[] = {
    {"Label1", "TForm1", {8, 16, 25, 13}},      {"ComboBox1", "TForm1", {40, 8, 73, 21}},
    {"Label2", "TForm1", {120, 16, 44, 13}},    {"ComboBox2", "TForm1", {168, 8, 49, 21}},
    {"Label4", "TForm1", {224, 16, 34, 13}},    {"Edit2", "TForm1", {264, 8, 57, 21}},
    {"GroupBox1", "TForm1", {8, 32, 156, 233}}, {"GroupBox2", "TForm1", {168, 32, 156, 409}},
    {"Button1", "TForm1", {328, 96, 185, 25}},  {"RadioGroup1", "TForm1", {328, 32, 185, 57}},
    {"Memo1", "TForm1", {328, 128, 185, 281}},  {"GroupBox3", "TForm1", {520, 32, 156, 409}},
    {"BitBtn1", "TForm1", {456, 416, 59, 25}},  {"Image1", "TForm1", {8, 268, 155, 173}},
    {"Label33", "TForm1", {42, 417, 87, 13}},   {"Image2", "TForm1", {19, 415, 16, 16}},
    {"Panel1", "GroupBox1", {5, 13, 144, 124}}, {"Panel2", "GroupBox1", {5, 139, 144, 87}},
    {"Panel3", "GroupBox2", {5, 13, 144, 124}}, {"Panel4", "GroupBox2", {5, 139, 144, 87}},
    {"Panel5", "GroupBox2", {5, 227, 144, 87}}, {"Panel6", "GroupBox2", {5, 316, 144, 87}},
    {"Panel7", "GroupBox3", {5, 13, 144, 124}}, {"Panel8", "GroupBox3", {5, 139, 144, 87}},
    {"Panel9", "GroupBox3", {5, 227, 144, 87}}, {"Panel10", "GroupBox3", {5, 316, 144, 87}},
};

// Where the row of stat `index` lies: its panel among the column's panels and its row.
struct Row {
    int panel; // 0-based within the column
    int labelTop;
    int fieldTop;
};

Row rowOf(int index)
{
    static const int sixLabels[] = {11, 30, 49, 68, 86, 105}, sixFields[] = {4, 23, 42, 60, 79, 98};
    static const int fourLabels[] = {11, 30, 49, 68}, fourFields[] = {4, 23, 42, 61};
    if (index <= 6)
        return {0, sixLabels[index - 1], sixFields[index - 1]};
    const int n = (index - 7) % 4;
    return {(index - 7) / 4 + 1, fourLabels[n], fourFields[n]};
}

class Layout : public ::testing::Test
{
protected:
    vestor::TForm1 w;
    QLineEdit *edit(const char *name) { return child(w, QLatin1String(name)); }
};

TEST_F(Layout, WindowTitleSizePositionAndButtons)
{
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Вестор комплекта одежды v1.0"));
    EXPECT_EQ(w.size(), QSize(681, 446));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the window is not resizable";
    EXPECT_EQ(w.pos(), QPoint(192, 115));
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(Layout, ControlsStandWhereDesigned)
{
    for (const Placed &p : kPlaced) {
        const auto *control = child<QWidget>(w, QLatin1String(p.name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), p.geometry) << p.name;
        EXPECT_EQ(control->parentWidget()->objectName(), QLatin1String(p.parent)) << p.name;
    }
    // The panels alternate between two colours, starting anew in each box.
    const QColor first = child<QWidget>(w, "Panel1")->palette().color(QPalette::Window);
    const QColor second = child<QWidget>(w, "Panel2")->palette().color(QPalette::Window);
    EXPECT_NE(first, second);
    for (int n = 1; n <= 10; ++n) {
        const auto *panel = child<QWidget>(w, QStringLiteral("Panel%1").arg(n));
        const bool firstColour = n == 1 || n == 3 || n == 5 || n == 7 || n == 9;
        EXPECT_EQ(panel->palette().color(QPalette::Window), firstColour ? first : second) << n;
        EXPECT_TRUE(panel->autoFillBackground());
    }
}

TEST_F(Layout, EveryStatRowHasItsLabelsAndFields)
{
    struct Column {
        const char *vestor::Stat::*field;
        const char *vestor::StatLabels::*label;
        int firstPanel;
    };
    const Column columns[] = {{&vestor::Stat::currentField, &vestor::StatLabels::current, 1},
                              {&vestor::Stat::neededField, &vestor::StatLabels::needed, 3},
                              {&vestor::Stat::resultField, &vestor::StatLabels::result, 7}};
    int fields = 0;
    for (const vestor::Stat &s : vestor::stats()) {
        const Row row = rowOf(s.index);
        const vestor::StatLabels &labels = vestor::kStatLabels[s.index - 1];
        for (const Column &c : columns) {
            if (!(s.*c.field))
                continue;
            ++fields;
            const QString panel = QStringLiteral("Panel%1").arg(c.firstPanel + row.panel);
            const char *labelName = labels.*c.label;
            const auto *label = child<QLabel>(w, QLatin1String(labelName));
            auto *field = edit(s.*c.field);
            ASSERT_TRUE(label && field);
            EXPECT_EQ(label->text(), s.caption);
            EXPECT_EQ(label->buddy(), field) << labelName;
            EXPECT_EQ(label->geometry(), QRect(8, row.labelTop, labels.width, 13)) << labelName;
            EXPECT_EQ(label->parentWidget()->objectName(), panel) << labelName;
            // Nothing of the caption is cut off.
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << labelName;
            EXPECT_EQ(field->geometry(), QRect(88, row.fieldTop, 50, 21)) << s.*c.field;
            EXPECT_EQ(field->parentWidget()->objectName(), panel) << s.*c.field;
            EXPECT_EQ(field->text(), QStringLiteral("0"));
            const bool result = c.firstPanel == 7;
            EXPECT_EQ(field->isReadOnly(), result) << s.*c.field;
            if (!result) {
                EXPECT_EQ(field->maxLength(), s.fieldLength) << s.*c.field;
            }
        }
    }
    EXPECT_EQ(fields, 10 + 18 + 18);
}

TEST_F(Layout, ListsAndOtherControlsStartAsDesigned)
{
    auto *race = child<QComboBox>(w, "ComboBox1");
    QStringList races;
    for (int i = 0; i < race->count(); ++i)
        races << race->itemText(i);
    EXPECT_EQ(races, QStringList({"Эльф", "Человек", "Гном", "Орк", "Хоббит", "Дракон"}));
    // The race table that the pick and the command line use lists the same races.
    for (const vestor::Race &r : vestor::races())
        EXPECT_EQ(races.indexOf(r.name), &r - vestor::races().data()) << r.code;
    EXPECT_EQ(race->currentText(), QStringLiteral("Эльф"));
    auto *level = child<QComboBox>(w, "ComboBox2");
    ASSERT_EQ(level->count(), vestor::kTopLevel);
    for (int i = 0; i < vestor::kTopLevel; ++i)
        EXPECT_EQ(level->itemText(i), QString::number(i + 1));
    EXPECT_EQ(level->currentText(), QStringLiteral("1"));
    EXPECT_FALSE(race->isEditable());
    EXPECT_FALSE(level->isEditable());

    EXPECT_EQ(edit("Edit2")->text(), QStringLiteral("0"));
    EXPECT_GE(edit("Edit2")->maxLength(), 32767) << "the sum has no length limit";
    EXPECT_EQ(child<QLabel>(w, "Label1")->text(), QStringLiteral("Раса"));
    EXPECT_EQ(child<QLabel>(w, "Label2")->text(), QStringLiteral("Уровень"));
    EXPECT_EQ(child<QLabel>(w, "Label4")->text(), QStringLiteral("Сумма"));
    EXPECT_EQ(child<QGroupBox>(w, "GroupBox1")->title(), QStringLiteral("Ваши статы"));
    EXPECT_EQ(child<QGroupBox>(w, "GroupBox2")->title(), QStringLiteral("Нужные статы"));
    EXPECT_EQ(child<QGroupBox>(w, "GroupBox3")->title(), QStringLiteral("Полученные статы"));

    auto *pick = child<QPushButton>(w, "Button1");
    EXPECT_EQ(pick->text(), QStringLiteral("Подобрать комплект"));
    EXPECT_FALSE(pick->isDefault() || pick->autoDefault()) << "Enter does not press it";
    auto *save = child<QPushButton>(w, "BitBtn1");
    EXPECT_EQ(save->text(), QStringLiteral("Save"));
    EXPECT_FALSE(save->icon().isNull());

    auto *weapons = child<QGroupBox>(w, "RadioGroup1");
    EXPECT_EQ(weapons->title(), QStringLiteral("Оружие"));
    EXPECT_FALSE(weapons->isEnabled());
    const auto buttons = weapons->findChildren<QRadioButton *>();
    QStringList kinds;
    for (const auto *b : buttons)
        kinds << b->text();
    EXPECT_EQ(kinds, QStringList({"Двуручное", "Одноручное", "Метательное", "Стрелковое"}));
    ASSERT_FALSE(buttons.isEmpty());
    EXPECT_TRUE(buttons.first()->isChecked());

    auto *memo = child<QPlainTextEdit>(w, "Memo1");
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_FALSE(memo->isReadOnly());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    EXPECT_FALSE(child<QLabel>(w, "Image1")->pixmap().isNull());
    EXPECT_TRUE(child<QLabel>(w, "Image2")->pixmap().isNull()) << "empty until the first tick";
    auto *link = child<QLabel>(w, "Label33");
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(link->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_LE(link->fontMetrics().horizontalAdvance(link->text()), link->width());
}

TEST_F(Layout, TabWalksTheDesignedOrder)
{
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_EQ(QApplication::focusWidget(), child<QWidget>(w, "ComboBox1")) << "focus starts on the race list";

    QStringList expected{"ComboBox1", "Edit2"};
    for (const char *vestor::Stat::*column : {&vestor::Stat::currentField, &vestor::Stat::neededField})
        for (const vestor::Stat &s : vestor::stats())
            if (s.*column)
                expected << QLatin1String(s.*column);
    expected << "Button1"
             << "Memo1";
    for (const vestor::Stat &s : vestor::stats())
        expected << QLatin1String(s.resultField);
    expected << "BitBtn1"
             << "ComboBox2"
             << "ComboBox1";

    QStringList walked{QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(walked, expected);
}

// ---- key filters ----

class KeyFilter : public Layout
{
protected:
    // The field's text after typing `keys` at its end.
    QString typed(const char *name, const QString &start, const QString &keys)
    {
        auto *field = edit(name);
        field->setText(start);
        field->end(false);
        for (const QChar c : keys) {
            const auto key = c.unicode() < 128 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown;
            QTest::sendKeyEvent(QTest::Click, field, key, QString(c), Qt::NoModifier);
        }
        return field->text();
    }
    QString after(const char *name, const QString &start, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        auto *field = edit(name);
        field->setText(start);
        field->end(false);
        QTest::keyClick(field, key, mods);
        return field->text();
    }
};

TEST_F(KeyFilter, DigitsPassAndOtherCharactersAreDropped)
{
    for (const char *name : {"Edit2", "Edit3", "Edit9", "Edit27"}) {
        EXPECT_EQ(typed(name, "", "12"), QStringLiteral("12")) << name;
        for (const QString junk : {"a", "Я", " ", ",", ".", "+", "e", "=", "*"})
            EXPECT_EQ(typed(name, "1", junk), QStringLiteral("1")) << name << " " << qPrintable(junk);
        EXPECT_EQ(after(name, "1", Qt::Key_Return), QStringLiteral("1")) << name;
        EXPECT_EQ(after(name, "1", Qt::Key_Escape), QStringLiteral("1")) << name;
    }
}

TEST_F(KeyFilter, MinusOnlyInTheFourNegativeFields)
{
    for (const char *name : {"Edit2", "Edit3", "Edit9", "Edit22", "Edit26"})
        EXPECT_EQ(typed(name, "5", "-"), QStringLiteral("5")) << name;
    for (const char *name : {"Edit27", "Edit28", "Edit29", "Edit30"})
        EXPECT_EQ(typed(name, "", "5-"), QStringLiteral("5-")) << name;
    // Anywhere, and more than once.
    EXPECT_EQ(typed("Edit27", "", "--1"), QStringLiteral("--1"));
    auto *field = edit("Edit27");
    field->setText("12");
    field->setCursorPosition(1);
    QTest::keyClick(field, Qt::Key_Minus);
    EXPECT_EQ(field->text(), QStringLiteral("1-2"));
}

TEST_F(KeyFilter, BackspaceAndLengthLimits)
{
    EXPECT_EQ(after("Edit3", "7", Qt::Key_Backspace), QString()) << "a field may be emptied";
    EXPECT_EQ(typed("Edit3", "", "1234"), QStringLiteral("123"));
    EXPECT_EQ(typed("Edit27", "", "-1234"), QStringLiteral("-123"));
    EXPECT_EQ(typed("Edit2", "", "1234567890"), QStringLiteral("1234567890"));
}

TEST_F(KeyFilter, ClipboardKeysDoNothingInFilteredFields)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("55"));
    EXPECT_EQ(after("Edit3", "1", Qt::Key_V, Qt::ControlModifier), QStringLiteral("1"));
    // Whatever text the desktop gives the key: none, the control character, the letter.
    for (const QString &text : {QString(), QStringLiteral("\x16"), QStringLiteral("v")}) {
        auto *field = edit("Edit27");
        field->setText("1");
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_V, text, Qt::ControlModifier);
        EXPECT_EQ(field->text(), QStringLiteral("1")) << text.size();
    }

    auto *field = edit("Edit9");
    field->setText("42");
    field->selectAll();
    QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(field->text(), QStringLiteral("42"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("55"));
}

TEST_F(KeyFilter, KeysThatTypeNothingKeepTheirEffect)
{
    auto *field = edit("Edit9");
    field->setText("123");
    field->end(false);
    QTest::keyClick(field, Qt::Key_Home);
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(field->text(), QStringLiteral("23"));
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClick(field, Qt::Key_Left);
    QTest::keyClick(field, Qt::Key_9);
    EXPECT_EQ(field->text(), QStringLiteral("293"));
}

TEST_F(KeyFilter, ResultFieldsTakeNoTypingButShowWhatTheProgramWrites)
{
    auto *result = edit("Edit31");
    QTest::keyClicks(result, "12");
    EXPECT_EQ(result->text(), QStringLiteral("0"));
    w.setResultText(1, QStringLiteral("1234"));
    w.setResultText(18, QStringLiteral("-125"));
    EXPECT_EQ(result->text(), QStringLiteral("1234")) << "program text is never cut";
    EXPECT_EQ(w.resultText(18), QStringLiteral("-125"));
}

} // namespace
