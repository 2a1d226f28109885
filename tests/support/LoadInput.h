#pragma once

// One fuzz input through the whole load: its bytes become Data/Subjects.DBF
// (and, after a leading "CPG:<word>\n", the .cpg sidecar) in `programDir`,
// the catalogue is set up there and one best-item query is run and read.
// Throws vestor::Error when the input is refused, as it should be. Shared by
// the fuzz target and the robustness tests that replay its corpus.

#include <QByteArrayView>
#include <QString>

namespace vestorfuzz {

void loadAndQuery(QByteArrayView input, const QString &programDir);

} // namespace vestorfuzz
