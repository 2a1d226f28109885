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
    QByteArray bytes = cp1251.encode(lines);
    return bytes;
}

void writeReport(const QString &fileName, const QString &text)
{
    const QByteArray bytes = reportBytes(text);
    QSaveFile file(fileName);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!written)
        throw Error(QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(fileName)));
}

} // namespace vestor
