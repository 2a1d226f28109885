#pragma once

#include "engine/PickInputs.h"
#include "engine/Window.h"

#include <QStringList>
#include <array>

namespace vestor {

// The window as plain strings: the inputs it is built from, result fields
// that start at "0" and the report's lines. The command line runs the pick over it.
class TextWindow : public Window, public PickInputs
{
public:
    explicit TextWindow(const PickInputs &inputs = {});

    // Indexed by stat index 1..18; element 0 is unused.
    std::array<QString, kStatCount + 1> result;
    QStringList report;

    PickInputs inputs() const override { return *this; }
    QString resultText(int stat) const override { return result.at(stat); }
    void setResultText(int stat, const QString &text) override { result.at(stat) = text; }
    void clearReport() override { report.clear(); }
    void appendReportLine(const QString &line) override { report << line; }
};

} // namespace vestor
