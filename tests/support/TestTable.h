#pragma once

// A catalogue over a table the test writes into a fresh directory.

#include "TestDbf.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Error.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace testdbf {

// A program directory with Data/Subjects.DBF in it.
struct ProgramDir {
    QTemporaryDir root;
    QString program() const { return root.filePath(QStringLiteral("Vestor")); }
    QString data() const { return root.filePath(QStringLiteral("Data")); }
    QString table() const { return root.filePath(QStringLiteral("Data/Subjects.DBF")); }
    void write(const QByteArray &bytes)
    {
        QDir(root.path()).mkpath(QStringLiteral("Data"));
        writeFile(table(), bytes);
    }
    void write(const std::vector<Item> &items) { write(testdbf::bytes(itemTable(items))); }
};

inline Item item(const QString &type, const QString &name, double price,
                 std::initializer_list<std::pair<int, double>> stats = {}, const QString &race = QStringLiteral("No"),
                 double urov = 1)
{
    Item it;
    it.type = type;
    it.name = name;
    it.price = price;
    it.race = race;
    it.urov = urov;
    for (auto [index, value] : stats)
        it.stats[index - 1] = value;
    return it;
}

// The message of the Error that `f` throws; fails the test when none is thrown.
template <typename F> QString errorOf(F &&f)
{
    try {
        f();
    } catch (const vestor::Error &e) {
        return e.message();
    }
    ADD_FAILURE() << "no error was raised";
    return {};
}

// Runs query `q` for a slot: both filters get the same types and price cap.
inline void runSlot(vestor::Query &q, const QString &type1, const QString &type2, double cap)
{
    q.close();
    for (const char *p : {"type11", "type21"})
        q.setParam(QString::fromLatin1(p), type1);
    for (const char *p : {"type12", "type22"})
        q.setParam(QString::fromLatin1(p), type2);
    q.setParam(QStringLiteral("price1"), cap);
    q.setParam(QStringLiteral("price2"), cap);
    q.open();
}

// A query over every row of the catalogue's item table, open on the first.
inline std::unique_ptr<vestor::Query> wholeTable(vestor::Catalogue &c)
{
    auto q = std::make_unique<vestor::Query>(c.session());
    q->databaseName = QStringLiteral("MyNewAlias");
    q->setSql(QStringLiteral("SELECT * FROM Subjects.dbf"));
    q->open();
    return q;
}

// Names of every row of the open query, in its order.
inline QStringList names(vestor::Query &q)
{
    QStringList out;
    for (; !q.eof(); q.next())
        out << q.fieldByName(QStringLiteral("NAME")).toString();
    return out;
}

} // namespace testdbf
