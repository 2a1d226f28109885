// The window's look where the toolkit's own differs from the design: group
// frames, the Save glyph, the sum's length, and the toolkit's texts in Russian.
#include "Fixture.h"
#include "Modal.h"
#include "shell/Startup.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QtTest/QTest>

using shelltest::child;
using shelltest::whenShown;

namespace {

// The style option a group box paints itself with.
struct BoxOption : QGroupBox {
    static QStyleOptionGroupBox of(const QGroupBox &box)
    {
        QStyleOptionGroupBox option;
        (box.*(&BoxOption::initStyleOption))(&option);
        return option;
    }
};

QRect boxPart(const QGroupBox &box, QStyle::SubControl part)
{
    const QStyleOptionGroupBox option = BoxOption::of(box);
    return box.style()->subControlRect(QStyle::CC_GroupBox, &option, part, &box);
}

TEST(Frames, EveryChildLiesWhollyInsideItsGroupBoxFrame)
{
    vestor::TForm1 w;
    const auto boxes = w.findChildren<QGroupBox *>();
    ASSERT_EQ(boxes.size(), 4);
    for (const QGroupBox *box : boxes) {
        const QRect inner = boxPart(*box, QStyle::SC_GroupBoxContents);
        const auto children = box->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        ASSERT_FALSE(children.isEmpty()) << qPrintable(box->objectName());
        for (const QWidget *c : children)
            EXPECT_TRUE(inner.contains(c->geometry()))
                << qPrintable(box->objectName() + u' ' + c->objectName()) << " outside the frame";
        // The caption sits on the top line, within the box.
        const QRect caption = boxPart(*box, QStyle::SC_GroupBoxLabel);
        const int topLine = boxPart(*box, QStyle::SC_GroupBoxFrame).top();
        EXPECT_TRUE(caption.top() < topLine && topLine < caption.bottom()) << qPrintable(box->objectName());
        EXPECT_TRUE(box->rect().contains(caption)) << qPrintable(box->objectName());
    }
}

// Where `picture` shows in `image` when painted over `background`.
QPoint foundAt(const QImage &image, const QImage &background, const QPixmap &picture)
{
    for (int y = 0; y + picture.height() <= image.height(); ++y)
        for (int x = 0; x + picture.width() <= image.width(); ++x) {
            QImage expected = background.copy(x, y, picture.width(), picture.height());
            QPainter(&expected).drawPixmap(0, 0, picture);
            if (image.copy(x, y, picture.width(), picture.height()) == expected)
                return {x, y};
        }
    return {-1, -1};
}

TEST(SaveButton, TheGlyphStandsThreePixelsFromTheLeftEdgeWithTheCaptionBesideIt)
{
    vestor::TForm1 w;
    auto *save = child<QPushButton>(w, "BitBtn1");
    const QImage shown = save->grab().toImage();
    const QPixmap glyph = save->icon().pixmap(save->iconSize());
    const QString caption = save->text();
    save->setIcon(QIcon());
    save->setText(QString());
    const QImage bare = save->grab().toImage();

    const QPoint at = foundAt(shown, bare, glyph);
    EXPECT_EQ(at.x(), 3);
    EXPECT_NEAR(at.y() + glyph.height() / 2, save->height() / 2, 1) << "centred from top to bottom";
    // Everything else the button shows, its caption, lies right of the glyph.
    QImage glyphOnly = bare;
    QPainter(&glyphOnly).drawPixmap(at, glyph);
    int captionLeft = shown.width();
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != glyphOnly.pixel(x, y))
                captionLeft = std::min(captionLeft, x);
    EXPECT_FALSE(caption.isEmpty());
    EXPECT_GE(captionLeft, at.x() + glyph.width());
    EXPECT_LT(captionLeft, shown.width()) << "the caption is drawn";
}

TEST(Sum, TakesMoreDigitsThanTheToolkitsUsualLimit)
{
    vestor::TForm1 w;
    auto *sum = child(w, QStringLiteral("Edit2"));
    const QString many(40000, u'7');
    sum->setText(many);
    sum->end(false);
    QTest::keyClick(sum, Qt::Key_1);
    EXPECT_EQ(sum->text(), many + u'1');
}

// ---- the toolkit's texts ----

// A button's or menu entry's text as read: no mnemonic mark, no shortcut.
QString read(QString text) { return text.remove(u'&').section(u'\t', 0, 0); }

class RussianTexts : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(vestor::loadToolkitTexts()); }
};

TEST_F(RussianTexts, TheFieldsContextMenuReadsInRussian)
{
    vestor::TForm1 w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto *sum = child(w, QStringLiteral("Edit2"));
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), sum->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(sum, &event);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QStringList entries;
    for (const QAction *a : menu->actions())
        if (!a->isSeparator())
            entries << read(a->text());
    menu->close();
    EXPECT_TRUE(entries.contains(QStringLiteral("Вставить"))) << qPrintable(entries.join(u'|'));
    EXPECT_TRUE(entries.contains(QStringLiteral("Копировать"))) << qPrintable(entries.join(u'|'));
}

TEST_F(RussianTexts, TheSaveDialogOffersTextFilesInRussian)
{
    vestor::TForm1 w;
    QStringList filters, buttons;
    whenShown<QFileDialog>([&](QFileDialog *dialog) {
        filters = dialog->nameFilters();
        for (const QPushButton *b : dialog->findChildren<QPushButton *>())
            buttons << read(b->text());
        dialog->reject();
    });
    child<QPushButton>(w, "BitBtn1")->click();
    EXPECT_EQ(filters, QStringList({"Текстовый файл (*.txt)"}));
    EXPECT_TRUE(buttons.contains(QStringLiteral("Отмена"))) << qPrintable(buttons.join(u'|'));
}

TEST_F(RussianTexts, TheReplaceQuestionHasRussianButtonsAndNoKeepsTheFile)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("report.txt"));
    testdbf::writeFile(name, "old");
    vestor::TForm1 w;
    w.chooseSaveFile = [&](const QString &) { return name; };
    QStringList buttons;
    whenShown<QMessageBox>([&](QMessageBox *question) {
        for (QAbstractButton *b : question->buttons())
            buttons << read(b->text());
        for (QAbstractButton *b : question->buttons())
            if (read(b->text()) == QStringLiteral("Нет"))
                QTest::mouseClick(b, Qt::LeftButton);
    });
    child<QPushButton>(w, "BitBtn1")->click();
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({"Да", "Нет"}));
    QFile kept(name);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old"));
}

} // namespace
