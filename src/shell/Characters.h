#pragma once

// Saved characters: the inputs of a pick under a name the player chose, and
// the inputs of the last pick, kept in one JSON file in the user's
// application-data folder. QtCore only.

#include "engine/PickInputs.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace vestor {

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
    std::optional<PickInputs> character(const QString &name) const;
    const std::optional<PickInputs> &lastPick() const { return lastPick_; }

    // Each writes the whole file atomically; throws Error when it cannot
    // (setLastPick keeps quiet about a damaged file it may not replace).
    // Saving under a name already there replaces that character in place.
    void save(const QString &name, const PickInputs &c);
    void remove(const QString &name);
    void setLastPick(const PickInputs &c);

    // What was wrong with the file when it was read; empty afterwards.
    QString takeProblem();

private:
    void read();
    void setAside(const QString &reason);
    void changeSaved(const std::function<void()> &change);
    void write() const;

    QString path_;
    std::vector<std::pair<QString, PickInputs>> saved_; // in the order first saved
    std::optional<PickInputs> lastPick_;
    QString problem_;
    // The damaged file could not be moved away: writing would destroy it.
    bool blocked_ = false;
};

} // namespace vestor
