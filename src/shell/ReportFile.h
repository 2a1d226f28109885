#pragma once

#include <QByteArray>
#include <QString>

namespace vestor {

// The reason a system call failed with `error`, in Russian; `otherwise` for
// an error number without a Russian text here.
QString systemReason(int error, const QString &otherwise);

// The name a report is saved under: the chosen name with ".txt" added,
// unless it already ends in ".txt" (in any letter case).
QString reportFileName(const QString &chosenName);

// The memo's text as the report file holds it: Windows-1251, lines ended by
// CR LF. Characters the code page lacks become "?".
QByteArray reportBytes(const QString &text);

// Writes the report through a temporary file, so a failed write leaves an
// old file of that name whole. Throws Error naming the file and
// the reason, in Russian.
void writeReport(const QString &fileName, const QString &text);

} // namespace vestor
