#include "cli/Output.h"

#include "catalogue/CodePage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cerrno>
#include <cmath>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vestor::cli {

namespace {

QString withoutControls(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown)
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    return shown;
}

// One JSON value as QJsonDocument writes it; the lines after the first are
// indented by `prefix` and `indent` spaces for each level they lie deeper.
QByteArray encoded(const QJsonValue &value, const QByteArray &prefix = {}, int indent = 0)
{
    constexpr qsizetype kQtLevel = 4; // QJsonDocument's own indentation
    const QList<QByteArray> lines = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Indented).split('\n');
    // "[", the value's lines one level in, "]", "". No JSON string holds a raw line break.
    QByteArray out;
    for (qsizetype i = 1; i + 2 < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        qsizetype spaces = 0;
        while (spaces < line.size() && line[spaces] == ' ')
            ++spaces;
        if (i > 1)
            out += '\n' + prefix + QByteArray((spaces / kQtLevel - 1) * indent, ' ');
        out += line.mid(spaces);
    }
    return out;
}

} // namespace

QByteArray terminalText(const QString &text, Encoding encoding)
{
    const QString shown = withoutControls(text);
    return encoding == Encoding::Cp1251 ? cp1251::encode(shown) : shown.toUtf8();
}

QByteArray terminalLines(const QStringList &lines, Encoding encoding)
{
    QByteArray out;
    for (const QString &line : lines)
        out += terminalText(line, encoding) + '\n';
    return out;
}

QStringList linesOf(const QString &text)
{
    QStringList lines = text.split(u'\n');
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

OrderedJsonObject &OrderedJsonObject::add(const QString &key, const QJsonValue &value)
{
    members_.append({encoded(key, {}), value, {}});
    return *this;
}

OrderedJsonObject &OrderedJsonObject::add(const QString &key, const OrderedJsonObject &object)
{
    members_.append({encoded(key, {}), {}, {object}});
    return *this;
}

OrderedJsonObject &OrderedJsonObject::add(const QString &key, const QList<OrderedJsonObject> &objects)
{
    members_.append({encoded(key, {}), {}, objects, true});
    return *this;
}

OrderedJsonObject &OrderedJsonObject::add(const OrderedJsonObject &other)
{
    members_.append(other.members_);
    return *this;
}

double inCents(double sum) { return std::round(sum * 100) / 100; }

QByteArray OrderedJsonObject::toJson(int indent) const { return toJson(indent, 1) + '\n'; }

QByteArray OrderedJsonObject::arrayJson(const QList<OrderedJsonObject> &objects, int indent, int depth) const
{
    if (objects.isEmpty())
        return "[]";
    const QByteArray element(indent * (depth + 1), ' ');
    QByteArray out = "[";
    for (qsizetype i = 0; i < objects.size(); ++i)
        out += (i ? ",\n" : "\n") + element + objects[i].toJson(indent, depth + 2);
    return out + '\n' + QByteArray(indent * depth, ' ') + ']';
}

QByteArray OrderedJsonObject::toJson(int indent, int depth) const
{
    if (members_.isEmpty())
        return "{}";
    const QByteArray inside(indent * depth, ' ');
    QByteArray out = "{";
    for (qsizetype i = 0; i < members_.size(); ++i) {
        const Member &m = members_[i];
        out += (i ? ",\n" : "\n") + inside + m.key + ": ";
        if (m.array)
            out += arrayJson(m.inner, indent, depth);
        else
            out += m.inner.isEmpty() ? encoded(m.value, inside, indent) : m.inner.front().toJson(indent, depth + 1);
    }
    return out + '\n' + QByteArray(indent * (depth - 1), ' ') + '}';
}

std::optional<QString> writeAll(FILE *stream, const QByteArray &bytes)
{
    errno = 0;
    const bool whole = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    // The flush is where a full disk or a closed descriptor shows.
    const bool flushed = std::fflush(stream) == 0;
    if (whole && flushed && !std::ferror(stream))
        return std::nullopt;
    const int error = errno;
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("the stream reported an error");
}

void guardStandardStreams()
{
#ifdef Q_OS_UNIX
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int placeholder = open("/dev/null", O_RDONLY);
            if (placeholder >= 0 && placeholder != fd)
                close(placeholder);
        }
#endif
}

} // namespace vestor::cli
