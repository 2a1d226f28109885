// Draws the red square badge: ten 16x16 frames of one turn about its
// vertical axis, and the program icon at a few sizes.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

namespace {

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

bool save(const QImage &img, const QString &path)
{
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources"));
    if (!out.mkpath("emblem") || !out.mkpath("icon")) {
        std::fprintf(stderr, "cannot create folders under %s\n", qPrintable(out.path()));
        return 1;
    }
    bool ok = true;
    for (int i = 0; i < 10; ++i)
        ok &= save(badge(16, kAngles[i]), out.filePath(QString("emblem/frame%1.png").arg(i)));
    ok &= save(badge(16, 0), out.filePath("icon/vestor.png"));
    ok &= save(badge(48, 0), out.filePath("icon/vestor-48.png"));
    ok &= save(badge(64, 0), out.filePath("icon/vestor-64.png"));
    return ok ? 0 : 1;
}
