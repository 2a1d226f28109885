#include "LoadInput.h"

#include "catalogue/Catalogue.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

namespace vestorfuzz {

namespace {

void writeBytes(const QString &path, QByteArrayView bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes.data(), bytes.size()) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString()); // the harness's trouble, not the input's
}

} // namespace

void loadAndQuery(QByteArrayView input, const QString &programDir)
{
    const QString data = programDir + QStringLiteral("/Data");
    QDir().mkpath(data);
    QFile::remove(data + QStringLiteral("/Subjects.cpg"));
    if (input.startsWith("CPG:")) {
        const qsizetype end = input.indexOf('\n');
        writeBytes(data + QStringLiteral("/Subjects.cpg"), input.sliced(4, (end < 0 ? input.size() : end) - 4));
        input = end < 0 ? QByteArrayView() : input.sliced(end + 1);
    }
    writeBytes(data + QStringLiteral("/Subjects.DBF"), input);

    vestor::Catalogue c;
    c.setUp(programDir + QStringLiteral("/Vestor"));
    c.raceChanged(QStringLiteral("Орк"));
    c.levelChanged(QStringLiteral("13"));
    vestor::Query &q = c.query(1);
    q.close();
    q.setParam(QStringLiteral("type11"), QStringLiteral("ring"));
    q.setParam(QStringLiteral("type21"), QStringLiteral("ring"));
    q.setParam(QStringLiteral("type12"), QStringLiteral("2hand"));
    q.setParam(QStringLiteral("type22"), QStringLiteral("2hand"));
    q.setParam(QStringLiteral("price1"), 1e6);
    q.setParam(QStringLiteral("price2"), 1e6);
    q.open();
    for (const char *field : {"NAME", "PRICE", "SILA", "OB_KR_P"})
        (void)q.fieldByName(QString::fromLatin1(field));
}

} // namespace vestorfuzz
