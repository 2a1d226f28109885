// Writes the fuzzer's seed corpus: small valid tables of every flavour the
// loader reads and damaged copies of each fault it refuses.
// Usage: fuzz_seeds DIR

#include "TestDbf.h"

#include <QDir>
#include <QStringEncoder>

#include <cstdio>

using namespace testdbf;

namespace {

Item make(const char *type, const char *name, double price, const char *race, double urov, int stat, double amount)
{
    Item it;
    it.type = QString::fromLatin1(type);
    it.name = QString::fromUtf8(name);
    it.price = price;
    it.race = QString::fromLatin1(race);
    it.urov = urov;
    it.stats[stat - 1] = amount;
    return it;
}

Table base()
{
    return itemTable({make("ring", "Кольцо силы", 100, "No", 1, 1, 5), make("2hand", "Секира", 500, "Or", 5, 1, 12),
                      make("ring", "Кольцо ловкости", 120, "El", 3, 2, 4)});
}

QByteArray patched(QByteArray b, int at, std::initializer_list<int> values)
{
    for (int v : values)
        b[at++] = char(v);
    return b;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(dir.path());
    auto seed = [&](const char *name, const QByteArray &data) {
        writeFile(dir.filePath(QString::fromLatin1(name)), data);
    };

    const QByteArray good = bytes(base());
    seed("valid-dbase3", good);
    for (auto [version, name] :
         {std::pair{0x83, "valid-dbase3-memo"}, {0x8B, "valid-dbase4-memo"}, {0xF5, "valid-foxpro"}}) {
        Table t = base();
        t.version = std::uint8_t(version);
        seed(name, bytes(t));
    }
    Table vfp = base();
    vfp.version = 0x30;
    vfp.afterTerminator = QByteArray(263, '\0');
    seed("valid-visual-foxpro", bytes(vfp));
    Table nul = base();
    nul.afterTerminator = QByteArray(1, '\0');
    nul.textPadding = '\0';
    seed("valid-nul-padded", bytes(nul));
    Table dos = base();
    dos.languageDriver = 0x65;
    dos.records[0].values[1] = QStringEncoder("IBM866").encode(QStringLiteral("Кольцо силы"));
    seed("valid-cp866", bytes(dos));
    Table utf8 = base();
    utf8.records[0].values[1] = QStringLiteral("Кольцо силы").toUtf8();
    seed("valid-cpg-utf8", "CPG:UTF-8\n" + bytes(utf8));
    Table typeF = base();
    typeF.fields[2] = {"PRICE", 'F', 20, 10};
    typeF.fields[5] = {"SILA", 'N', 3, 0};
    typeF.records[0].values[2] = "1.0000000000E+02";
    typeF.records[0].values[5] = "5";
    typeF.records[1].values[5] = "";
    seed("valid-type-f-widths", bytes(typeF));
    Table wide = base();
    wide.fields[1].width = 300;
    wide.fields.push_back({"NOTE", 'M', 10});
    seed("valid-wide-name-extra-memo", bytes(wide));
    Table deleted = base();
    deleted.records[1].deleted = true;
    seed("valid-deleted-row", bytes(deleted));

    const int headerLength = 32 + 27 * 32 + 1;
    seed("bad-empty", QByteArray());
    seed("bad-short-header", good.left(20));
    seed("bad-dbase7", patched(good, 0, {0x04}));
    seed("bad-header-length", patched(good, 8, {0xFF, 0xFF}));
    seed("bad-record-length", patched(good, 10, {0, 0}));
    seed("bad-record-count", patched(good, 4, {0xFF, 0xFF, 0xFF, 0x7F}));
    seed("bad-no-fields", patched(good, 32, {0x0D}));
    seed("bad-truncated-records", good.left(headerLength + 500));
    QByteArray garbage = good;
    garbage.replace(good.indexOf("100.00"), 6, "12abc ");
    seed("bad-number", garbage);
    QByteArray twice = good;
    twice.replace(32 + 32, 4, "TYPE");
    seed("bad-repeated-name", twice);
    Table missing = base();
    missing.fields[19].name = "HEAD";
    seed("bad-missing-column", bytes(missing));
    Table kind = base();
    kind.fields[5] = {"SILA", 'D', 8};
    seed("bad-type-mismatch", bytes(kind));
    return 0;
}
