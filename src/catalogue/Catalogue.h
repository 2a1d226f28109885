#pragma once

#include "catalogue/Sql.h"

#include <QString>
#include <array>
#include <memory>

namespace vestor {

// The SQL of the best-item query for one stat column: the items that the
// level, price, race and type filters admit and that give the most of it.
QString bestItemSql(const char *statColumn);

// The data directory of a program, the first of: "Data" beside its
// executable when that folder exists (a portable copy), the user's own copy
// (userDataDirectory) when it holds the item table, the installed shared
// table (share/vestor/Data beside the program's bin) when it holds one.
// When none does, the one beside the program, so that a message names it.
// Throws Error for an empty path: the program was not found.
QString dataDirectory(const QString &programPath);

// The installed shared table's directory: share/vestor/Data beside the
// program's bin. Nobody but the installer writes there.
QString sharedDataDirectory(const QString &programPath);

// Where the user's own copy of the item table lives: the catalogue window
// saves there when it may not write the shared table.
QString userDataDirectory();

// The item table's file name in a data directory.
inline constexpr const char *kItemTableFile = "Subjects.DBF";

// The running program's own file, from its real path (links resolved), in a
// form that opens even when its directory's name is not valid UTF-8; empty
// when the system cannot say.
QString programFilePath();

// The item catalogue: the connection, the item table and the eighteen
// best-item queries, Query(1) .. Query(18), one per stat index.
class Catalogue
{
public:
    Catalogue();

    // Points the connection at the program's data directory, opens the item
    // table and binds the queries, in that order. Throws Error on failure;
    // whatever was done before the failure stays done.
    void setUp(const QString &programPath);
    // The same set-up on a data directory named directly.
    void setUpIn(const QString &dataDir);

    // Sets race1 and race2 of every query to the code of the race named
    // `raceText`; an unknown name changes nothing.
    void raceChanged(const QString &raceText);
    // Sets level1 and level2 of every query to `levelText` as an integer.
    void levelChanged(const QString &levelText);

    Query &query(int statIndex) { return *queries_.at(statIndex - 1); }

    // Reads the item table's file again (after the catalogue window saved
    // it), so the next pick uses it; the queries keep their parameters.
    // Throws Error when the file cannot be loaded; the old rows then stay.
    void reload();
    // The same from another data directory (the user's copy, once saved
    // there), which the catalogue uses from then on.
    void reloadFrom(const QString &dataDir);

    // The item table as loaded: its rows (none before the set-up), whether
    // it is open, how many records it holds and its file.
    const ItemRows &rows() const { return table_.rows(); }
    bool loaded() const { return table_.active(); }
    qint64 recordCount() const { return table_.recordCount(); }
    QString tablePath() const;
    // What the file was when it loaded, so a save can tell it changed since.
    const std::optional<FileIdentity> &fileIdentity() const { return table_.fileIdentity(); }
    // Told how far the item table has loaded while the set-up or a reload reads it.
    void setLoadProgress(LoadProgress progress) { table_.onLoadProgress = std::move(progress); }

    // The connection: its alias, driver and PATH= parameter.
    const Database &database() const { return database_; }
    // A query of one's own over the item table runs in this session.
    Session &session() { return session_; }

private:
    Session session_;
    Database database_{session_};
    Table table_{session_, kItemColumns};
    std::array<std::unique_ptr<Query>, kStatCount> queries_;
};

} // namespace vestor
