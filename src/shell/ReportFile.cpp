#include "shell/ReportFile.h"

#include "catalogue/CodePage.h"
#include "catalogue/Error.h"

#include <QDir>
#include <QSaveFile>
#include <cerrno>
#include <utility>

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

QString systemReason(int error, const QString &otherwise)
{
    // The C library speaks the locale's language, and a Russian one is
    // rarely installed; the window speaks Russian whatever the locale.
    static const std::pair<int, const char *> kReasons[] = {
        {EACCES, "отказано в доступе"},
        {EPERM, "операция не позволена"},
        {ENOENT, "нет такого файла или папки"},
        {ENOTDIR, "часть пути не является папкой"},
        {EISDIR, "это папка"},
        {ENOSPC, "на диске не осталось места"},
        {EDQUOT, "превышена дисковая квота"},
        {EROFS, "файловая система доступна только для чтения"},
        {ENAMETOOLONG, "слишком длинное имя файла"},
        {EIO, "ошибка ввода-вывода"},
        {EEXIST, "файл уже существует"},
        {EMFILE, "открыто слишком много файлов"},
        {EFBIG, "файл слишком велик"},
        {ETXTBSY, "файл занят"},
        {EBUSY, "устройство или ресурс занято"},
    };
    for (const auto &[number, reason] : kReasons)
        if (number == error)
            return QString::fromUtf8(reason);
    return otherwise;
}

void writeReport(const QString &fileName, const QString &text)
{
    const QByteArray bytes = reportBytes(text);
    QSaveFile file(fileName);
    // A failed flush (a full disk) must keep commit from replacing the old file.
    // The error number is taken right after the step that failed.
    errno = 0;
    bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    const int error = errno;
    written = written && file.commit();
    if (!written)
        throw Error(
            QStringLiteral("Не удалось записать отчёт в файл %1: %2")
                .arg(QDir::toNativeSeparators(fileName), systemReason(error ? error : errno, file.errorString())));
}

} // namespace vestor
