#pragma once

#include <QByteArray>
#include <QString>

namespace vestor {

// The name a report is saved under: the chosen name with ".txt" added,
// unless it already ends in ".txt" (in any letter case).
QString reportFileName(const QString &chosenName);

// The memo's text as the report file holds it: Windows-1251, lines ended by
// CR LF. Characters the code page lacks become "?".
QByteArray reportBytes(const QString &text);

// Writes the report through a temporary file, so a failed write leaves an
// old file of that name whole. Throws Error "Cannot create file %s".
void writeReport(const QString &fileName, const QString &text);

} // namespace vestor
