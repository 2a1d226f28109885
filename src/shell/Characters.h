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

// The characters file is a small database with one rule: every change takes
// a lock beside the file, reads it again, applies only that change and
// writes it whole, atomically. So two windows (or two programs) saving in any
// order keep each other's characters.
class CharacterStore
{
public:
    // A file bigger than this is no characters file of ours.
    static constexpr qint64 kMaxFileBytes = 1 << 20;

    // Reads `path` if it exists. A damaged file is set aside beside it as
    // .bad and the store starts empty; a file that is not a regular file, or
    // is too big, is left alone and never written. takeProblem() says so once.
    explicit CharacterStore(const QString &path);

    // Reads the file again, for what other windows saved meanwhile.
    void refresh();

    // characters.json in the application-data folder.
    static QString defaultPath();
    const QString &path() const { return path_; }

    QStringList names() const;
    std::optional<PickInputs> character(const QString &name) const;
    const std::optional<PickInputs> &lastPick() const { return lastPick_; }

    // Each changes the file as it stands now, under the lock; throws Error
    // when it cannot (setLastPick keeps quiet about a file it may not replace).
    // Saving under a name already there replaces that character in place.
    void save(const QString &name, const PickInputs &c);
    void remove(const QString &name);
    void setLastPick(const PickInputs &c);

    // What was wrong with the file when it was read; empty afterwards.
    QString takeProblem();

private:
    void read();
    void parse(const QByteArray &bytes);
    void setAside(const QString &reason);
    void refuse(const QString &problem);
    // Takes the lock, reads the file, applies `apply` and writes the file.
    void change(const std::function<void()> &apply, bool quietWhenBlocked = false);
    void write() const;

    QString path_;
    std::vector<std::pair<QString, PickInputs>> saved_; // in the order first saved
    std::optional<PickInputs> lastPick_;
    QString problem_;
    QString lastProblem_; // told once, not at every read
    // The damaged file could not be moved away: writing would destroy it.
    bool blocked_ = false;
};

} // namespace vestor
