#pragma once

#include "engine/Stats.h"
#include "engine/Window.h"

#include <QStringList>
#include <array>

namespace vestor {

// The window as plain strings, laid out as the main window starts: the
// first race, a sum of "0" and "0" in every field. The command line runs
// the pick over it.
class TextWindow : public Window
{
public:
    TextWindow();

    QString race;
    QString money = QStringLiteral("0");
    // Indexed by stat index 1..18; element 0 is unused. Only stats 1..10 read `current`.
    std::array<QString, kStatCount + 1> current;
    std::array<QString, kStatCount + 1> needed;
    std::array<QString, kStatCount + 1> result;
    QStringList report;

    QString raceText() const override { return race; }
    QString moneyText() const override { return money; }
    QString currentText(int stat) const override { return current.at(stat); }
    QString neededText(int stat) const override { return needed.at(stat); }
    QString resultText(int stat) const override { return result.at(stat); }
    void setResultText(int stat, const QString &text) override { result.at(stat) = text; }
    void clearReport() override { report.clear(); }
    void appendReportLine(const QString &line) override { report << line; }
};

} // namespace vestor
