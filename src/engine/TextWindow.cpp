#include "engine/TextWindow.h"

namespace vestor {

TextWindow::TextWindow(const PickInputs &inputs) : PickInputs(inputs) { result.fill(QStringLiteral("0")); }

} // namespace vestor
