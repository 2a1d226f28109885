#include "DbfWriter.h"

#include "Columns.h"

#include <QFile>
#include <QStringEncoder>
#include <stdexcept>

namespace testdbf {

namespace {

void put16(QByteArray &b, int at, int v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

void put32(QByteArray &b, int at, std::uint32_t v)
{
    put16(b, at, int(v & 0xFFFF));
    put16(b, at + 2, int(v >> 16));
}

} // namespace

QByteArray number(double value, int decimals) { return QByteArray::number(value, 'f', decimals); }

QByteArray bytes(const Table &t)
{
    int recordLength = 1;
    for (const Field &f : t.fields)
        recordLength += f.width;
    const int headerLength = 32 + 32 * int(t.fields.size()) + 1 + int(t.afterTerminator.size());

    QByteArray out(32, '\0');
    out[0] = char(t.version);
    out[1] = 126; // last update: 2026-12-09
    out[2] = 12;
    out[3] = 9;
    put32(out, 4, std::uint32_t(t.records.size()));
    put16(out, 8, headerLength);
    put16(out, 10, recordLength);
    out[29] = char(t.languageDriver);
    for (const Field &f : t.fields) {
        QByteArray d(32, '\0');
        for (size_t i = 0; i < f.name.size() && i < 11; ++i)
            d[int(i)] = f.name[i];
        d[11] = f.type;
        d[16] = char(f.width & 0xFF);
        d[17] = char(f.type == 'C' && f.width > 255 ? f.width >> 8 : f.decimals);
        out += d;
    }
    out += char(0x0D);
    out += t.afterTerminator;
    for (const Record &r : t.records) {
        out += r.deleted ? '*' : ' ';
        for (size_t i = 0; i < t.fields.size(); ++i) {
            const Field &f = t.fields[i];
            QByteArray v = i < r.values.size() ? r.values[i] : QByteArray();
            v.truncate(f.width);
            const bool number = f.type == 'N' || f.type == 'F';
            const QByteArray pad(f.width - v.size(), number ? ' ' : t.textPadding);
            out += number ? pad + v : v + pad;
        }
    }
    out += char(0x1A);
    return out;
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

std::vector<Field> itemFields()
{
    std::vector<Field> fields;
    for (const vestor::ItemColumn &column : vestor::kItemColumns) {
        if (column.kind == vestor::ColumnKind::String)
            fields.push_back({column.name, 'C', 50, 0});
        else
            fields.push_back({column.name, 'N', 12, 2});
    }
    return fields;
}

Table itemTable(const std::vector<Item> &items)
{
    Table t;
    t.fields = itemFields();
    QStringEncoder cp1251("windows-1251");
    for (const Item &item : items) {
        Record r;
        r.deleted = item.deleted;
        r.values = {cp1251.encode(item.type), cp1251.encode(item.name), number(item.price), cp1251.encode(item.race),
                    number(item.urov)};
        for (int s = 0; s < 14; ++s)
            r.values.push_back(number(item.stats[s]));
        for (double a : item.armour)
            r.values.push_back(number(a));
        for (int s = 14; s < 18; ++s)
            r.values.push_back(number(item.stats[s]));
        t.records.push_back(r);
    }
    return t;
}

} // namespace testdbf
