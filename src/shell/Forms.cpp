#include "shell/Forms.h"

#include <QStringList>

// Outside any namespace, as the resource initialiser requires.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace vestor {

QFont formFont()
{
    QFont font;
    font.setFamilies(
        {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(10);
    return font;
}

void loadPictures()
{
    static const bool loaded = (initResources(), true);
    (void)loaded;
}

QList<QPixmap> emblemFrames()
{
    loadPictures();
    QList<QPixmap> frames;
    for (int i = 0; i < 10; ++i)
        frames << QPixmap(QStringLiteral(":/emblem/frame%1.png").arg(i));
    return frames;
}

int emblemTick(int &counter)
{
    if (counter > 9) {
        counter = 0;
        return -1;
    }
    return counter++;
}

} // namespace vestor
