#include "catalogue/Catalogue.h"

#include "catalogue/Convert.h"

#include "catalogue/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace vestor {

namespace {
// The database name that the table and every query are bound to.
const QString kAlias = QStringLiteral("MyNewAlias");
} // namespace

QString bestItemSql(const char *statColumn)
{
    const QString x = QString::fromLatin1(statColumn);
    return QStringList{
        QStringLiteral("SELECT *"),
        QStringLiteral("FROM Subjects.dbf"),
        QStringLiteral("WHERE UROV <= :level1 and PRICE <= :price1 and"),
        QStringLiteral(" ( RACE = 'No' or RACE = :race1 ) and ( TYPE = :type11 or TYPE = :type12 ) and"),
        QStringLiteral(" %1 = (SELECT Max ( %1 ) FROM Subjects.dbf").arg(x),
        QStringLiteral("                 WHERE UROV <= :level2 and PRICE <= :price2 and"),
        QStringLiteral("                 ( RACE = 'No' or RACE = :race2 ) and ( TYPE = :type21 or TYPE = :type22 ))"),
    }
        .join(u'\n');
}

namespace {

// The running executable's real path as the system records it, links
// resolved, as bytes; empty when it cannot be read.
QByteArray ownExecutable()
{
    QByteArray path(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), std::size_t(path.size()));
        if (n <= 0)
            return {};
        if (n < path.size())
            return path.left(n);
        path.resize(path.size() * 2);
    }
}

// A directory given as bytes, as a path Qt can open: its own name when the
// bytes read as text, else a descriptor of it held for the program's life
// (a name that is not valid UTF-8 would not survive the trip through QString).
QString openableDirectory(const QByteArray &dir)
{
    const QString name = QFile::decodeName(dir);
    if (QFile::encodeName(name) == dir)
        return name;
    const int fd = ::open(dir.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? QString() : QStringLiteral("/proc/self/fd/%1").arg(fd);
}

} // namespace

QString programFilePath()
{
    const QByteArray exe = ownExecutable();
    const qsizetype slash = exe.lastIndexOf('/');
    if (slash < 0)
        return {};
    const QString dir = openableDirectory(slash == 0 ? QByteArray("/") : exe.left(slash));
    return dir.isEmpty() ? QString() : QDir(dir).filePath(QFile::decodeName(exe.mid(slash + 1)));
}

QString dataDirectory(const QString &programPath)
{
    // Never the current directory: a table found there would be someone else's.
    if (programPath.isEmpty())
        throw Error(QStringLiteral("Cannot find the program's own folder, where its Data folder should be"));
    const QDir programDir(QFileInfo(programPath).absolutePath());
    const QString beside = programDir.filePath(QStringLiteral("Data"));
    if (QFileInfo(beside).isDir())
        return beside;
    const auto holdsTable = [](const QString &dir) {
        return QFileInfo(QDir(dir).filePath(QLatin1String(kItemTableFile))).isFile();
    };
    if (const QString own = userDataDirectory(); holdsTable(own))
        return own;
    if (const QString shared = sharedDataDirectory(programPath); holdsTable(shared))
        return shared;
    return beside;
}

QString sharedDataDirectory(const QString &programPath)
{
    const QDir programDir(QFileInfo(programPath).absolutePath());
    return QDir::cleanPath(programDir.filePath(QStringLiteral(VESTOR_SHARED_DATA_FROM_BIN)));
}

QString userDataDirectory()
{
    // One folder for every Vestor program, whatever each one's own name.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("vestor/Data"));
}

Catalogue::Catalogue()
{
    using enum Query::ParamType;
    for (int stat = 1; stat <= kStatCount; ++stat) {
        auto q = std::make_unique<Query>(session_);
        q->setSql(bestItemSql(statColumn(stat)));
        // Filter n: the outer query (1) and its inner maximum (2).
        for (const QString &n : {QStringLiteral("1"), QStringLiteral("2")}) {
            q->declareParam(QStringLiteral("level") + n, Integer, 1);
            q->declareParam(QStringLiteral("price") + n, Integer, 0);
            q->declareParam(QStringLiteral("race") + n, String, QStringLiteral("El"));
            q->declareParam(QStringLiteral("type") + n + u'1', String);
            q->declareParam(QStringLiteral("type") + n + u'2', String);
        }
        queries_[stat - 1] = std::move(q);
    }
}

void Catalogue::setUp(const QString &programPath) { setUpIn(dataDirectory(programPath)); }

void Catalogue::setUpIn(const QString &dataDir)
{
    database_.databaseName = kAlias;
    database_.driverName = QStringLiteral("STANDARD");
    database_.params.clear();
    database_.params << QStringLiteral("PATH=") + dataDir;
    table_.databaseName = kAlias;
    table_.tableName = QStringLiteral("Subjects.DBF");
    table_.open();
    for (auto &q : queries_)
        q->databaseName = kAlias;
}

QString Catalogue::tablePath() const
{
    // Before a load the file is the one the table would be read from.
    if (table_.active() && !table_.filePath().isEmpty())
        return table_.filePath();
    return QDir(database_.path()).filePath(table_.tableName);
}

void Catalogue::reload()
{
    // An open query holds the old table, and SQLite will not let it go meanwhile.
    for (auto &q : queries_)
        q->close();
    table_.reload();
}

void Catalogue::reloadFrom(const QString &dataDir)
{
    const QStringList before = database_.params;
    database_.params = QStringList{QStringLiteral("PATH=") + dataDir};
    try {
        reload();
    } catch (...) {
        database_.params = before;
        throw;
    }
}

void Catalogue::raceChanged(const QString &raceText)
{
    const auto race = raceIndexByName(raceText);
    if (!race)
        return;
    const QString code = QString::fromLatin1(races()[*race].code);
    for (auto &q : queries_) {
        q->setParam(QStringLiteral("race1"), code);
        q->setParam(QStringLiteral("race2"), code);
    }
}

void Catalogue::levelChanged(const QString &levelText)
{
    for (auto &q : queries_) {
        q->setParam(QStringLiteral("level1"), strToInt(levelText));
        q->setParam(QStringLiteral("level2"), strToInt(levelText));
    }
}

} // namespace vestor
