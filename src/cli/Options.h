#pragma once

#include "catalogue/Columns.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vestor {
struct Stat;
}

namespace vestor::cli {

enum class Encoding { Utf8, Cp1251 };

// A mistake in the command line itself, with the encoding its message is
// to be written in (as far as the command line said one).
struct UsageError {
    QString message;
    Encoding encoding = Encoding::Utf8;
};

// Everything the command line asked for, checked.
struct Options {
    bool help = false;
    bool version = false;
    bool json = false;
    Encoding encoding = Encoding::Utf8;
    std::optional<QString> data; // --data; otherwise the program's own Data directory
    const Race *race = &races().front();
    QString level = QStringLiteral("1"); // as the level list holds it: a whole number 1..kTopLevel
    QString money = QStringLiteral("0");
    // Indexed by stat index 1..18, element 0 unused: the texts the stat fields would hold.
    std::array<QString, kStatCount + 1> have;
    std::array<QString, kStatCount + 1> need;

    // The best set instead of the pick (--best), and what it takes.
    bool best = false;
    bool withGreedy = false; // --greedy: the pick's set beside it
    int alternatives = 4;
    double timeLimit = 10;              // seconds
    std::vector<std::int64_t> locked;   // record numbers, once per --lock
    std::vector<std::int64_t> excluded; // record numbers

    Options();
};

// Reads the arguments (the program's name first). Throws UsageError naming what is wrong.
Options parseOptions(const QStringList &arguments);

// What --help prints.
QString helpText();

// The names of the stats for which `keep` holds, in stat order, for the help and messages.
QString statNames(bool (*keep)(const Stat &));
bool hasCurrent(const Stat &s);

} // namespace vestor::cli
