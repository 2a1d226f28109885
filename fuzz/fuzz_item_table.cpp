// libFuzzer target: any bytes as the item table, through the whole load and
// one best-item query (tests/support/LoadInput.h). A vestor::Error is the expected way to
// refuse input; anything else (a crash, a sanitizer report, another
// exception) is a finding.

#include "LoadInput.h"
#include "catalogue/Error.h"

#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    static const QTemporaryDir place;
    try {
        vestorfuzz::loadAndQuery(QByteArrayView(reinterpret_cast<const char *>(bytes), qsizetype(size)), place.path());
    } catch (const vestor::Error &) {
    }
    return 0;
}
