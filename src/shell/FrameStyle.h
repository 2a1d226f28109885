#pragma once

#include <QProxyStyle>

class QWidget;

namespace vestor {

// The look the window's design was drawn for, over Fusion:
// - a group box's frame starts halfway down its caption, which sits on the
//   top line with the background behind it, so children placed just below
//   the caption lie inside the frame (Fusion puts the frame under the caption);
// - a button's glyph stands 3 px from its left edge with the caption beside
//   it, instead of both centred together.
class FrameStyle : public QProxyStyle
{
    Q_OBJECT
public:
    FrameStyle();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl part,
                         const QWidget *widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override;

    static constexpr int kCaptionLeft = 8;  // caption's distance from the box's left edge
    static constexpr int kFrameLine = 2;    // an etched line: shadow and light
    static constexpr int kGlyphLeft = 3;    // glyph's distance from the button's left edge
    static constexpr int kGlyphSpacing = 4; // between glyph and caption
};

// Gives every group box and every button with a glyph under `window` the
// design's look; the style lives as long as the window.
void drawAsDesigned(QWidget *window);

} // namespace vestor
