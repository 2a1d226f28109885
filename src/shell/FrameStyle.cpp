#include "shell/FrameStyle.h"

#include <QGroupBox>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <qdrawutil.h>

namespace vestor {

namespace {

// A group box this style draws: titled or not, never checkable (a check box
// would need room the design does not give it).
const QStyleOptionGroupBox *plainGroupBox(QStyle::ComplexControl control, const QStyleOptionComplex *option)
{
    const auto *box = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
    if (control != QStyle::CC_GroupBox || !box || (box->subControls & QStyle::SC_GroupBoxCheckBox))
        return nullptr;
    return box;
}

// A push button with both a glyph and a caption.
const QStyleOptionButton *glyphButton(QStyle::ControlElement element, const QStyleOption *option)
{
    const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
    if (element != QStyle::CE_PushButton || !button || button->icon.isNull() || button->text.isEmpty())
        return nullptr;
    return button;
}

int captionHeight(const QStyleOptionGroupBox &box) { return box.text.isEmpty() ? 0 : box.fontMetrics.height(); }

} // namespace

FrameStyle::FrameStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QRect FrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl part,
                                 const QWidget *widget) const
{
    const QStyleOptionGroupBox *box = plainGroupBox(control, option);
    if (!box)
        return QProxyStyle::subControlRect(control, option, part, widget);
    const QRect whole = box->rect;
    const int caption = captionHeight(*box);
    // The top line runs through the middle of the caption.
    const QRect frame = whole.adjusted(0, caption / 2, 0, 0);
    switch (part) {
    case SC_GroupBoxFrame:
        return frame;
    case SC_GroupBoxLabel:
        return {whole.left() + kCaptionLeft, whole.top(),
                box->fontMetrics.size(Qt::TextShowMnemonic, box->text).width(), caption};
    case SC_GroupBoxContents: {
        QRect inner = frame.adjusted(kFrameLine, kFrameLine, -kFrameLine, -kFrameLine);
        inner.setTop(qMax(inner.top(), whole.top() + caption));
        return inner;
    }
    default:
        return QProxyStyle::subControlRect(control, option, part, widget);
    }
}

void FrameStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                                    const QWidget *widget) const
{
    const QStyleOptionGroupBox *box = plainGroupBox(control, option);
    if (!box) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // An etched line: shadow outside, light inside.
    qDrawShadeRect(painter, subControlRect(control, box, SC_GroupBoxFrame, widget), box->palette, true, 1, 0);
    if (box->text.isEmpty())
        return;
    const QRect label = subControlRect(control, box, SC_GroupBoxLabel, widget);
    painter->fillRect(label, box->palette.window());
    proxy()->drawItemText(painter, label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, box->palette,
                          box->state & State_Enabled, box->text, QPalette::WindowText);
}

void FrameStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                             const QWidget *widget) const
{
    const QStyleOptionButton *button = glyphButton(element, option);
    if (!button) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The bevel and focus as usual; glyph and caption placed here.
    QStyleOptionButton bare = *button;
    bare.icon = QIcon();
    bare.text.clear();
    QProxyStyle::drawControl(element, &bare, painter, widget);

    const QRect whole = button->rect;
    const QRect glyph(whole.left() + kGlyphLeft, whole.top() + (whole.height() - button->iconSize.height()) / 2,
                      button->iconSize.width(), button->iconSize.height());
    const bool enabled = button->state & State_Enabled;
    const QPixmap picture = button->icon.pixmap(button->iconSize, painter->device()->devicePixelRatio(),
                                                enabled ? QIcon::Normal : QIcon::Disabled,
                                                button->state & State_On ? QIcon::On : QIcon::Off);
    proxy()->drawItemPixmap(painter, glyph, Qt::AlignCenter, picture);

    const QRect caption(glyph.right() + 1 + kGlyphSpacing, whole.top(), whole.right() - glyph.right() - kGlyphSpacing,
                        whole.height());
    int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic;
    if (!proxy()->styleHint(SH_UnderlineShortcut, button, widget))
        flags |= Qt::TextHideMnemonic;
    proxy()->drawItemText(painter, caption, flags, button->palette, enabled, button->text, QPalette::ButtonText);
}

void drawAsDesigned(QWidget *window)
{
    auto *style = new FrameStyle;
    style->setParent(window);
    for (QGroupBox *box : window->findChildren<QGroupBox *>())
        box->setStyle(style);
    for (QPushButton *button : window->findChildren<QPushButton *>())
        if (!button->icon().isNull())
            button->setStyle(style);
}

} // namespace vestor
