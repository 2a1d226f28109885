#pragma once

#include "engine/PickInputs.h"

#include <QString>

namespace vestor {

// What the pick needs of the main window: the inputs, the result fields and
// the report. The window implements it over its widgets, the command line
// over plain strings, the tests over whatever they like.
class Window
{
public:
    virtual ~Window() = default;

    // The input fields' texts as they stand now.
    virtual PickInputs inputs() const = 0;
    // All 18 stats have a result field.
    virtual QString resultText(int stat) const = 0;
    virtual void setResultText(int stat, const QString &text) = 0;

    virtual void clearReport() = 0;
    virtual void appendReportLine(const QString &line) = 0;
};

} // namespace vestor
