// Draws every picture the program shows: the splash picture (598x150), the
// picture under the stat fields of the main window (155x173), the 16x16
// floppy glyph of the save button, the ten emblem frames of the red badge
// turning once about its vertical axis, and the program icon.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

const QColor kGold(230, 190, 90);
const QColor kDeepRed(120, 8, 8);

// The badge of the emblem, as a kite shield: red field, gold rim and chevron.
void shield(QPainter &p, const QRectF &r)
{
    QPainterPath outline;
    outline.moveTo(r.left(), r.top());
    outline.lineTo(r.right(), r.top());
    outline.lineTo(r.right(), r.top() + r.height() * 0.45);
    outline.quadTo(r.right(), r.top() + r.height() * 0.8, r.center().x(), r.bottom());
    outline.quadTo(r.left(), r.top() + r.height() * 0.8, r.left(), r.top() + r.height() * 0.45);
    outline.closeSubpath();

    QLinearGradient field(r.topLeft(), r.bottomRight());
    field.setColorAt(0, QColor(235, 60, 50));
    field.setColorAt(1, QColor(110, 5, 5));
    p.setPen(QPen(kGold, r.width() / 14.0));
    p.setBrush(field);
    p.drawPath(outline);

    const double w = r.width(), h = r.height();
    QPainterPath v;
    v.moveTo(r.left() + w * 0.20, r.top() + h * 0.18);
    v.lineTo(r.left() + w * 0.36, r.top() + h * 0.18);
    v.lineTo(r.center().x(), r.top() + h * 0.56);
    v.lineTo(r.left() + w * 0.64, r.top() + h * 0.18);
    v.lineTo(r.left() + w * 0.80, r.top() + h * 0.18);
    v.lineTo(r.left() + w * 0.57, r.top() + h * 0.74);
    v.lineTo(r.left() + w * 0.43, r.top() + h * 0.74);
    v.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kGold);
    p.drawPath(v);
}

// A sword pointing up, its hilt at `hilt`, drawn along the painter's y axis.
void sword(QPainter &p, QPointF hilt, double angleDeg, double length)
{
    p.save();
    p.translate(hilt);
    p.rotate(angleDeg);
    QPainterPath blade;
    blade.moveTo(-4, 0);
    blade.lineTo(4, 0);
    blade.lineTo(4, -length + 12);
    blade.lineTo(0, -length);
    blade.lineTo(-4, -length + 12);
    blade.closeSubpath();
    QLinearGradient steel(-4, 0, 4, 0);
    steel.setColorAt(0, QColor(120, 125, 140));
    steel.setColorAt(0.5, QColor(235, 240, 250));
    steel.setColorAt(1, QColor(90, 95, 110));
    p.setPen(QPen(QColor(40, 40, 50), 1));
    p.setBrush(steel);
    p.drawPath(blade);
    p.setBrush(kGold);
    p.drawRoundedRect(QRectF(-16, -1, 32, 6), 2, 2); // cross-guard
    p.setBrush(QColor(90, 50, 25));
    p.drawRect(QRectF(-2.5, 5, 5, 18)); // grip
    p.setBrush(kGold);
    p.drawEllipse(QPointF(0, 26), 4.5, 4.5); // pommel
    p.restore();
}

// Faint rings of mail over a background.
void mail(QPainter &p, const QRect &area, int alpha)
{
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, alpha), 1));
    for (int y = area.top(), row = 0; y < area.bottom() + 8; y += 6, ++row)
        for (int x = area.left() + (row % 2) * 4; x < area.right() + 8; x += 8)
            p.drawEllipse(QPoint(x, y), 4, 4);
    p.restore();
}

QImage splash()
{
    QImage img(598, 150, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient bg(0, 0, 598, 0);
    bg.setColorAt(0, QColor(15, 5, 5));
    bg.setColorAt(0.35, QColor(70, 8, 8));
    bg.setColorAt(1, QColor(10, 5, 5));
    p.fillRect(img.rect(), bg);
    mail(p, img.rect(), 14);

    // A glow behind the shield and gold rules framing the picture; the
    // window shows only 590 of the 598 columns, so nothing lives at the right edge.
    QRadialGradient glow(QPointF(80, 62), 70);
    glow.setColorAt(0, QColor(255, 180, 80, 90));
    glow.setColorAt(1, QColor(255, 180, 80, 0));
    p.fillRect(QRect(0, 0, 180, 150), glow);
    p.setPen(QPen(kGold, 1));
    p.drawLine(QPointF(8, 6.5), QPointF(582, 6.5));
    p.drawLine(QPointF(8, 143.5), QPointF(582, 143.5));

    // Crossed behind the shield, hilts clear of the emblem below.
    sword(p, QPointF(22, 98), 45, 128);
    sword(p, QPointF(138, 98), -45, 128);
    shield(p, QRectF(50, 16, 60, 78));

    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPixelSize(58);
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 6);
    p.setFont(title);
    QLinearGradient goldText(0, 20, 0, 80);
    goldText.setColorAt(0, QColor(255, 235, 160));
    goldText.setColorAt(1, QColor(190, 130, 40));
    QPainterPath word;
    word.addText(QPointF(170, 78), title, QStringLiteral("ВЕСТОР"));
    p.setPen(QPen(QColor(60, 20, 0), 2));
    p.setBrush(goldText);
    p.drawPath(word);

    QFont sub(QStringLiteral("DejaVu Serif"));
    sub.setPixelSize(19);
    sub.setItalic(true);
    p.setFont(sub);
    p.setPen(QColor(240, 220, 190));
    p.drawText(QPointF(174, 108), QStringLiteral("подбор комплекта одежды"));

    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(11);
    p.setFont(small);
    p.setPen(QColor(200, 180, 150));
    // The animated emblem sits at 32,124; the caption stands beside it.
    p.drawText(QPointF(56, 136), QStringLiteral("Загрузка каталога вещей…"));
    p.drawText(QRectF(440, 122, 136, 18), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("версия 1.0"));
    p.end();
    return img;
}

QImage windowPicture()
{
    QImage img(155, 173, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // The lower strip stays black: the emblem and the black link label lie on it.
    QLinearGradient bg(0, 0, 0, 173);
    bg.setColorAt(0, QColor(60, 12, 12));
    bg.setColorAt(0.7, QColor(20, 5, 5));
    bg.setColorAt(0.82, Qt::black);
    bg.setColorAt(1, Qt::black);
    p.fillRect(img.rect(), bg);
    mail(p, QRect(0, 0, 155, 120), 12);

    QRadialGradient glow(QPointF(77, 62), 60);
    glow.setColorAt(0, QColor(255, 170, 70, 80));
    glow.setColorAt(1, QColor(255, 170, 70, 0));
    p.fillRect(QRect(0, 0, 155, 140), glow);

    sword(p, QPointF(22, 116), 45, 140);
    sword(p, QPointF(133, 116), -45, 140);
    shield(p, QRectF(46, 20, 63, 84));

    p.setPen(QPen(kGold, 1));
    p.drawLine(QPointF(10, 134.5), QPointF(145, 134.5));
    p.end();
    return img;
}

QImage floppy()
{
    // Drawn pixel by pixel, without smoothing, so it stays crisp at 16x16.
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    const QColor edge(20, 30, 70), body(45, 75, 160), metal(200, 205, 215), label(250, 250, 245);
    QPolygon outline({QPoint(1, 1), QPoint(13, 1), QPoint(15, 3), QPoint(15, 15), QPoint(1, 15)});
    p.setPen(edge);
    p.setBrush(body);
    p.drawPolygon(outline);
    p.fillRect(QRect(4, 2, 8, 5), metal);  // shutter
    p.fillRect(QRect(9, 3, 2, 3), edge);   // its window
    p.fillRect(QRect(3, 9, 10, 6), label); // paper label
    p.setPen(QColor(120, 130, 160));
    p.drawLine(4, 11, 11, 11);
    p.drawLine(4, 13, 11, 13);
    p.end();
    return img;
}

// Turn angle in degrees per frame: face on, away, edge on, back, face on.
constexpr double kAngles[10] = {0, 0, 40, 68, 90, 112, 140, 180, 180, 180};

// The badge is designed on a 16-unit grid; `size` scales it up for the icon.
QImage badge(int size, double angleDeg)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);

    // Widths snap to whole even pixels so the edges stay crisp at 16x16;
    // edge on, a two-pixel bar remains.
    const double c = std::cos(angleDeg * M_PI / 180.0);
    const double width = std::max(2.0, 2.0 * std::round(7.0 * std::abs(c)));
    const double sx = width / 14.0;
    // Light falls from the front: the badge dims as it turns away.
    const double light = 0.55 + 0.45 * std::abs(c);
    auto lit = [light](QColor col) {
        return QColor::fromRgbF(col.redF() * light, col.greenF() * light, col.blueF() * light);
    };

    p.setPen(Qt::NoPen);
    p.setBrush(lit(QColor(96, 0, 0)));
    p.drawRect(QRectF(8 - width / 2, 1, width, 14));
    if (width <= 2) {
        p.end();
        return img.convertToFormat(QImage::Format_ARGB32);
    }

    // The rim stays one unit wide however far the badge has turned.
    QLinearGradient face(0, 2, 0, 14);
    face.setColorAt(0, lit(QColor(240, 60, 50)));
    face.setColorAt(1, lit(QColor(170, 10, 10)));
    p.setBrush(face);
    p.drawRect(QRectF(8 - width / 2 + 1, 2, width - 2, 12));

    if (width >= 6) {
        // A gold chevron, symmetric so both faces look alike.
        p.translate(8, 0);
        p.scale(sx, 1);
        p.translate(-8, 0);
        QPainterPath v;
        v.moveTo(4, 4);
        v.lineTo(6, 4);
        v.lineTo(8, 9);
        v.lineTo(10, 4);
        v.lineTo(12, 4);
        v.lineTo(9, 12);
        v.lineTo(7, 12);
        v.closeSubpath();
        p.setBrush(lit(QColor(255, 214, 90)));
        p.drawPath(v);
    }
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources"));
    std::vector<std::pair<QImage, QString>> pictures = {
        {splash(), QStringLiteral("pictures/splash.png")},    {windowPicture(), QStringLiteral("pictures/image1.png")},
        {floppy(), QStringLiteral("pictures/floppy.png")},    {badge(16, 0), QStringLiteral("icon/vestor.png")},
        {badge(48, 0), QStringLiteral("icon/vestor-48.png")}, {badge(64, 0), QStringLiteral("icon/vestor-64.png")},
    };
    for (int i = 0; i < 10; ++i)
        pictures.push_back({badge(16, kAngles[i]), QStringLiteral("emblem/frame%1.png").arg(i)});
    for (const char *folder : {"pictures", "icon", "emblem"}) {
        if (!out.mkpath(QString::fromLatin1(folder))) {
            std::fprintf(stderr, "cannot create %s/%s\n", qPrintable(out.path()), folder);
            return 1;
        }
    }
    bool ok = true;
    for (const auto &[image, name] : pictures) {
        const QString path = out.filePath(name);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
