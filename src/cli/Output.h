#pragma once

#include "cli/Options.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace vestor::cli {

// Text as a terminal or a text file gets it: control characters (which could
// retitle a terminal or split a line) shown as U+FFFD, then encoded; in
// Windows-1251 as the window saves, '?' for what the code page lacks.
QByteArray terminalText(const QString &text, Encoding encoding);

// Lines, each ended by a line break, as terminalText.
QByteArray terminalLines(const QStringList &lines, Encoding encoding);

// The lines of a text; a final line break ends the last line, not starts another.
QStringList linesOf(const QString &text);

// A JSON object that keeps its members in the order they were added
// (QJsonObject sorts its keys). QJsonDocument encodes every key and value;
// only the joining is done here. Members stand on lines of their own.
class OrderedJsonObject
{
public:
    OrderedJsonObject &add(const QString &key, const QJsonValue &value);
    OrderedJsonObject &add(const QString &key, const OrderedJsonObject &object);
    // An array of such objects, each on lines of its own.
    OrderedJsonObject &add(const QString &key, const QList<OrderedJsonObject> &objects);
    // The members of `other`, after these.
    OrderedJsonObject &add(const OrderedJsonObject &other);
    // UTF-8, indented by `indent` spaces per level.
    QByteArray toJson(int indent = 2) const;

private:
    QByteArray toJson(int indent, int depth) const;
    struct Member {
        QByteArray key;                 // encoded
        QJsonValue value;               // when not an object of ours
        QList<OrderedJsonObject> inner; // one element when it is, or the array's
        bool array = false;
    };
    QByteArray arrayJson(const QList<OrderedJsonObject> &objects, int indent, int depth) const;
    QList<Member> members_;
};

// A sum of money as the item table holds prices, N(12,2), without the float
// noise of repeated subtraction (100.1 - 72 is not 28.1 in binary).
double inCents(double sum);

// Writes all of `bytes` to `stream` and flushes it; the system's reason
// when any of it could not be written.
std::optional<QString> writeAll(FILE *stream, const QByteArray &bytes);

// A closed standard stream is taken by /dev/null, read-only, so that no file
// the program opens lands on it and a write there fails visibly.
void guardStandardStreams();

} // namespace vestor::cli
