// The fuzzer's committed seeds and findings, through the fuzz target's own
// steps: the valid ones load, the damaged ones and every finding are refused
// with an Error, and none crashes (the CI runs this under the sanitizers).

#include "LoadInput.h"
#include "TestTable.h"

#include <QDirIterator>

namespace {

QString outcome(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unreadable");
    testdbf::ProgramDir dir;
    try {
        vestorfuzz::loadAndQuery(f.readAll(), dir.root.path());
    } catch (const vestor::Error &e) {
        return QStringLiteral("refused: ") + e.message();
    }
    return QStringLiteral("loaded");
}

} // namespace

TEST(FuzzCorpus, ValidSeedsLoadDamagedSeedsAndFindingsAreRefused)
{
    int seen = 0;
    for (const char *folder : {"corpus", "findings"}) {
        QDirIterator it(QStringLiteral(VESTOR_FUZZ_DIR "/") + folder, QDir::Files);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString result = outcome(file);
            if (it.fileName().startsWith(QStringLiteral("valid-")))
                EXPECT_EQ(result, QStringLiteral("loaded")) << file.toStdString();
            else
                EXPECT_TRUE(result.startsWith(QStringLiteral("refused: ")))
                    << file.toStdString() << ": " << result.toStdString();
            ++seen;
        }
    }
    EXPECT_GE(seen, 20);
}
