#include "shell/Characters.h"

#include "catalogue/Columns.h"
#include "catalogue/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vestor {

namespace {

const QString kCharacters = QStringLiteral("characters");
const QString kLastPick = QStringLiteral("lastPick");
const QString kName = QStringLiteral("name");
const QString kRace = QStringLiteral("race");
const QString kLevel = QStringLiteral("level");
const QString kMoney = QStringLiteral("money");
const QString kHave = QStringLiteral("have");
const QString kNeed = QStringLiteral("need");
// Another window's change takes milliseconds; waiting longer means something is wrong.
constexpr int kLockWaitMs = 5000;

// A file that does not have the shape we write is damaged; `why` says where.
struct Damage {
    QString why;
};

using StatTexts = std::array<QString, kStatCount + 1>;

QJsonObject statsToJson(const StatTexts &texts, bool haveOnly)
{
    QJsonObject o;
    for (const Stat &s : stats())
        if (!haveOnly || s.hasCurrent())
            o.insert(QLatin1String(s.name), texts[s.index]);
    return o;
}

QJsonObject toJson(const PickInputs &c)
{
    return {{kRace, c.race},
            {kLevel, c.level},
            {kMoney, c.money},
            {kHave, statsToJson(c.current, true)},
            {kNeed, statsToJson(c.needed, false)}};
}

QString stringAt(const QJsonObject &o, const QString &key)
{
    const QJsonValue v = o.value(key);
    if (!v.isString())
        throw Damage{QStringLiteral("«%1» не текст").arg(key)};
    return v.toString();
}

void statsFromJson(const QJsonObject &o, const QString &key, StatTexts &texts, bool haveOnly)
{
    const QJsonValue v = o.value(key);
    if (!v.isObject())
        throw Damage{QStringLiteral("«%1» не объект").arg(key)};
    // A stat left out is the field's start text.
    const QJsonObject values = v.toObject();
    for (const Stat &s : stats())
        if ((!haveOnly || s.hasCurrent()) && values.contains(QLatin1String(s.name)))
            texts[s.index] = stringAt(values, QLatin1String(s.name));
}

PickInputs fromJson(const QJsonValue &v)
{
    if (!v.isObject())
        throw Damage{QStringLiteral("персонаж не объект")};
    const QJsonObject o = v.toObject();
    PickInputs c;
    c.race = stringAt(o, kRace);
    c.level = stringAt(o, kLevel);
    c.money = stringAt(o, kMoney);
    bool number = false;
    const int level = c.level.toInt(&number);
    if (!raceIndexByName(c.race) || !number || level < 1 || level > kTopLevel)
        throw Damage{QStringLiteral("раса «%1» или уровень «%2» не из списка").arg(c.race, c.level)};
    statsFromJson(o, kHave, c.current, true);
    statsFromJson(o, kNeed, c.needed, false);
    return c;
}

// The first of NAME.bad, NAME.2.bad, ... that is free, so no earlier damaged file is lost.
QString freeBadName(const QString &path)
{
    QString candidate = path + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = QStringLiteral("%1.%2.bad").arg(path).arg(n);
    return candidate;
}

} // namespace

CharacterStore::CharacterStore(const QString &path) : path_(path) { read(); }

QString CharacterStore::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("characters.json"));
}

void CharacterStore::refresh() { read(); }

void CharacterStore::refuse(const QString &problem)
{
    blocked_ = true;
    if (problem != std::exchange(lastProblem_, problem))
        problem_ = problem;
}

void CharacterStore::read()
{
    saved_.clear();
    lastPick_.reset();
    blocked_ = false;
    const QString file = QDir::toNativeSeparators(path_);
    // Without blocking: a FIFO under the name must not hang the window.
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        lastProblem_.clear();
        return;
    }
    QFile in;
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        // Unreadable is not damaged: leave it where it is, and do not write over it.
        const QString reason = qt_error_string(errno);
        if (fd >= 0 && !in.isOpen())
            ::close(fd);
        return refuse(QStringLiteral("Не удалось прочитать файл персонажей %1: %2").arg(file, reason));
    }
    if (!S_ISREG(st.st_mode))
        return refuse(QStringLiteral("Файл персонажей %1 не обычный файл (канал, устройство или ссылка на них); он не "
                                     "читается и не перезаписывается")
                          .arg(file));
    const QByteArray bytes = in.read(kMaxFileBytes + 1);
    if (st.st_size > kMaxFileBytes || bytes.size() > kMaxFileBytes)
        return refuse(QStringLiteral("Файл персонажей %1 больше %2 КБ: это не наш файл; он не читается и не "
                                     "перезаписывается")
                          .arg(file)
                          .arg(kMaxFileBytes / 1024));
    parse(bytes);
    if (!blocked_)
        lastProblem_.clear();
}

void CharacterStore::parse(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    try {
        if (error.error != QJsonParseError::NoError)
            throw Damage{error.errorString()};
        if (!doc.isObject() || !doc.object().value(kCharacters).isArray())
            throw Damage{QStringLiteral("нет списка персонажей")};
        const QJsonObject root = doc.object();
        for (const QJsonValue &v : root.value(kCharacters).toArray()) {
            const QString name = v.toObject().value(kName).toString().trimmed();
            if (name.isEmpty() || character(name))
                throw Damage{QStringLiteral("персонаж без имени или с повторённым именем")};
            saved_.emplace_back(name, fromJson(v));
        }
        if (root.contains(kLastPick))
            lastPick_ = fromJson(root.value(kLastPick));
    } catch (const Damage &d) {
        saved_.clear();
        lastPick_.reset();
        setAside(d.why);
    }
}

void CharacterStore::setAside(const QString &reason)
{
    const QString bad = freeBadName(path_);
    const QString file = QDir::toNativeSeparators(path_);
    if (QFile::rename(path_, bad)) {
        problem_ =
            QStringLiteral("Файл персонажей %1 повреждён (%2). Он сохранён как %3, список персонажей начат заново")
                .arg(file, reason, QDir::toNativeSeparators(bad));
    } else {
        refuse(QStringLiteral("Файл персонажей %1 повреждён (%2) и не может быть переименован; персонажи не "
                              "будут сохраняться, пока он не исправлен или не удалён")
                   .arg(file, reason));
    }
}

QString CharacterStore::takeProblem() { return std::exchange(problem_, QString()); }

QStringList CharacterStore::names() const
{
    QStringList out;
    for (const auto &[name, c] : saved_)
        out << name;
    return out;
}

std::optional<PickInputs> CharacterStore::character(const QString &name) const
{
    for (const auto &[n, c] : saved_)
        if (n == name)
            return c;
    return std::nullopt;
}

void CharacterStore::save(const QString &name, const PickInputs &c)
{
    const QString key = name.trimmed();
    if (key.isEmpty())
        throw Error(QStringLiteral("У персонажа должно быть имя"));
    change([&] {
        auto it = std::find_if(saved_.begin(), saved_.end(), [&](const auto &e) { return e.first == key; });
        if (it != saved_.end())
            it->second = c;
        else
            saved_.emplace_back(key, c);
    });
}

void CharacterStore::remove(const QString &name)
{
    change([&] { std::erase_if(saved_, [&](const auto &e) { return e.first == name; }); });
}

void CharacterStore::setLastPick(const PickInputs &c)
{
    // A file that may not be written was reported when it was read; a pick
    // does not say so again.
    change([&] { lastPick_ = c; }, true);
}

void CharacterStore::change(const std::function<void()> &apply, bool quietWhenBlocked)
{
    const QString file = QDir::toNativeSeparators(path_);
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QLockFile lock(path_ + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        throw Error(lock.error() == QLockFile::LockFailedError
                        ? QStringLiteral("Файл персонажей %1 занят другой программой; попробуйте ещё раз").arg(file)
                        : QStringLiteral("Не удалось сохранить персонажей в %1: нельзя создать %2")
                              .arg(file, QDir::toNativeSeparators(lock.fileName())));
    read();
    if (blocked_) {
        if (quietWhenBlocked)
            return;
        throw Error(QStringLiteral("Файл персонажей %1 повреждён или не читается; он не будет перезаписан").arg(file));
    }
    apply();
    try {
        write();
    } catch (...) {
        // What could not be written is not kept either, so the menu shows the file.
        read();
        throw;
    }
}

void CharacterStore::write() const
{
    const QString file = QDir::toNativeSeparators(path_);
    QJsonArray list;
    for (const auto &[name, c] : saved_) {
        QJsonObject o = toJson(c);
        o.insert(kName, name);
        list.append(o);
    }
    QJsonObject root{{kCharacters, list}};
    if (lastPick_)
        root.insert(kLastPick, toJson(*lastPick_));

    QSaveFile out(path_);
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(root).toJson()) < 0 || !out.commit())
        throw Error(QStringLiteral("Не удалось сохранить персонажей в %1: %2").arg(file, out.errorString()));
}

} // namespace vestor
