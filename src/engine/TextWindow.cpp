#include "engine/TextWindow.h"

#include "catalogue/Columns.h"

namespace vestor {

TextWindow::TextWindow() : race(races().front().name)
{
    current.fill(QStringLiteral("0"));
    needed.fill(QStringLiteral("0"));
    result.fill(QStringLiteral("0"));
}

} // namespace vestor
