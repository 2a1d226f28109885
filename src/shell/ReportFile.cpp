#include "shell/ReportFile.h"

#include "catalogue/CodePage.h"
#include "catalogue/Error.h"

#include <QDir>
#include <QSaveFile>

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

    return cp1251::encode(lines);
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
