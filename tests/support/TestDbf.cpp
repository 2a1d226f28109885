#include "TestDbf.h"

#include "catalogue/CodePage.h"
#include "catalogue/Columns.h"

#include <QBuffer>
#include <QDate>
#include <QFile>
#include <algorithm>
#include <stdexcept>

namespace testdbf {

namespace {

const QDate kLastUpdate(2026, 12, 9);

bool writerCanWrite(const Table &t)
{
    const auto plainField = [](const Field &f) {
        return f.width >= 1 && f.width <= vestor::DbfWriter::kMaxFieldWidth && (f.type != 'C' || f.decimals == 0);
    };
    return t.version == 0x03 && t.afterTerminator.isEmpty() && t.textPadding == ' ' && !t.fields.empty() &&
           std::ranges::all_of(t.fields, plainField);
}

QByteArray writtenByTheWriter(const Table &t)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    vestor::DbfWriter writer(buffer, QStringLiteral("test table"), t.fields, t.languageDriver, kLastUpdate);
    for (const Record &r : t.records) {
        writer.addRecord(r.deleted);
        for (std::size_t i = 0; i < t.fields.size() && i < r.values.size(); ++i)
            writer.setRaw(int(i), r.values[i]);
    }
    writer.finish();
    return buffer.data();
}

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

QByteArray builtByHand(const Table &t)
{
    int recordLength = 1;
    for (const Field &f : t.fields)
        recordLength += f.width;
    const int headerLength = 32 + 32 * int(t.fields.size()) + 1 + int(t.afterTerminator.size());

    QByteArray out(32, '\0');
    out[0] = char(t.version);
    out[1] = char(kLastUpdate.year() - 1900);
    out[2] = char(kLastUpdate.month());
    out[3] = char(kLastUpdate.day());
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

} // namespace

QByteArray number(double value, int decimals) { return QByteArray::number(value, 'f', decimals); }

QByteArray bytes(const Table &t) { return writerCanWrite(t) ? writtenByTheWriter(t) : builtByHand(t); }

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

std::vector<Field> itemFields() { return vestor::itemDbfColumns(); }

Table itemTable(const std::vector<Item> &items)
{
    Table t;
    t.fields = itemFields();
    for (const Item &item : items) {
        Record r;
        r.deleted = item.deleted;
        r.values = {vestor::cp1251::encode(item.type), vestor::cp1251::encode(item.name), number(item.price),
                    vestor::cp1251::encode(item.race), number(item.urov)};
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
