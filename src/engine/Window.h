#pragma once

#include <QString>

namespace vestor {

// What the pick needs of the main window: the input texts, the result
// fields and the report. The window implements it over its widgets, the
// command line over plain strings, the tests over whatever they like.
class Window
{
public:
    virtual ~Window() = default;

    virtual QString raceText() const = 0;
    virtual QString moneyText() const = 0;
    // Stats 1..10 have a current-stat field; all 18 a needed and a result field.
    virtual QString currentText(int stat) const = 0;
    virtual QString neededText(int stat) const = 0;
    virtual QString resultText(int stat) const = 0;
    virtual void setResultText(int stat, const QString &text) = 0;

    virtual void clearReport() = 0;
    virtual void appendReportLine(const QString &line) = 0;
};

} // namespace vestor
