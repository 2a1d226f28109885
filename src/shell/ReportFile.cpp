#include "ReportFile.h"

#include "Error.h"

#include <QDir>
#include <QSaveFile>
#include <QStringEncoder>

namespace vestor {

QString reportFileName(const QString &chosenName)
{
    const QString extension = QStringLiteral(".txt");
    return chosenName.endsWith(extension, Qt::CaseInsensitive) ? chosenName : chosenName + extension;
}

namespace {

// Every character Windows-1251 can hold.
const QString &codePage()
{
    static const QString characters = [] {
        QByteArray bytes(256, '\0');
        for (int i = 0; i < 256; ++i)
            bytes[i] = char(i);
        QStringDecoder cp1251("windows-1251");
        QString decoded = cp1251.isValid() ? QString(cp1251.decode(bytes)) : QString();
        return decoded.remove(QChar::ReplacementCharacter);
    }();
    return characters;
}

// Characters the code page lacks become "?", one for each, not the
// encoder's control character.
QString representable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (codePage().contains(c)) {
            out += c;
            continue;
        }
        out += u'?';
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    return out;
}

} // namespace

QByteArray reportBytes(const QString &text)
{
    QString lines = text;
    lines.replace(QChar::LineSeparator, u'\n');
    lines.replace(QChar::ParagraphSeparator, u'\n');
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\n', QStringLiteral("\r\n"));

    QStringEncoder cp1251("windows-1251");
    if (!cp1251.isValid())
        throw Error(QStringLiteral("The Windows-1251 code page is not available"));
    return cp1251.encode(representable(lines));
}

void writeReport(const QString &fileName, const QString &text)
{
    const QByteArray bytes = reportBytes(text);
    QSaveFile file(fileName);
    // A failed flush (a full disk) must keep commit from replacing the old file.
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit();
    if (!written)
        throw Error(QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(fileName)));
}

} // namespace vestor
