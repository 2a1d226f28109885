#pragma once

// Saved characters: the inputs of a pick under a name the player chose, and
// the inputs of the last pick, kept in one JSON file in the user's
// application-data folder. QtCore only.

#include "engine/Stats.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace vestor {

// The texts of a pick's input fields, exactly as the window holds them.
struct Character {
    QString race = QStringLiteral("Эльф");
    QString level = QStringLiteral("1");
    QString money = QStringLiteral("0");
    // By stat index - 1; `have` only for the stats with a current field.
    std::array<QString, kStatCount> have;
    std::array<QString, kStatCount> need;

    Character();
    bool operator==(const Character &) const = default;
};

class CharacterStore
{
public:
    // Reads `path` if it exists. A damaged file is set aside beside it as
    // .bad and the store starts empty; takeProblem() says so once.
    explicit CharacterStore(const QString &path);

    // characters.json in the application-data folder.
    static QString defaultPath();
    const QString &path() const { return path_; }

    QStringList names() const;
    std::optional<Character> character(const QString &name) const;
    const std::optional<Character> &lastPick() const { return lastPick_; }

    // Each writes the whole file atomically; throws Error when it cannot
    // (setLastPick keeps quiet about a damaged file it may not replace).
    // Saving under a name already there replaces that character in place.
    void save(const QString &name, const Character &c);
    void remove(const QString &name);
    void setLastPick(const Character &c);

    // What was wrong with the file when it was read; empty afterwards.
    QString takeProblem();

private:
    void read();
    void setAside(const QString &reason);
    void changeSaved(const std::function<void()> &change);
    void write() const;

    QString path_;
    std::vector<std::pair<QString, Character>> saved_; // in the order first saved
    std::optional<Character> lastPick_;
    QString problem_;
    // The damaged file could not be moved away: writing would destroy it.
    bool blocked_ = false;
};

} // namespace vestor
