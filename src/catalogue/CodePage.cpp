#include "catalogue/CodePage.h"

#include <QStringDecoder>

#include <cstdint>
#include <vector>

namespace vestor {

namespace {

constexpr auto kWindows1251 = "windows-1251";
constexpr int kNoByte = -1;

// The Windows-1251 byte of each UTF-16 code unit, found once by decoding the
// code page's 256 bytes; kNoByte where it has none. Encoding is then a look-up
// per character: the catalogue tools encode millions of names.
const std::vector<std::int16_t> &cp1251Bytes()
{
    static const std::vector<std::int16_t> bytes = [] {
        std::vector<std::int16_t> table(0x10000, kNoByte);
        QStringDecoder decoder(kWindows1251);
        // Debian's Qt carries ICU; without it there is no honest way on.
        Q_ASSERT(decoder.isValid());
        for (int b = 0; b < 256; ++b) {
            const QString c = decoder.decode(QByteArray(1, char(b)));
            if (c.size() == 1 && c[0] != QChar::ReplacementCharacter)
                table[c[0].unicode()] = std::int16_t(b);
        }
        return table;
    }();
    return bytes;
}

// Walks `text` character by character (surrogate pairs joined), telling
// `visit` the character and its byte, or kNoByte.
template <typename Visit> void forEachCharacter(const QString &text, Visit visit)
{
    const auto &bytes = cp1251Bytes();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            visit(QChar::surrogateToUcs4(c, text[i + 1]), kNoByte);
            ++i;
            continue;
        }
        visit(char32_t(c.unicode()), bytes[c.unicode()]);
    }
}

} // namespace

namespace cp1251 {

QByteArray encode(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    forEachCharacter(text, [&](char32_t, int byte) { out += byte == kNoByte ? '?' : char(byte); });
    return out;
}

std::optional<QByteArray> encodeExactly(const QString &text, char32_t *missing)
{
    QByteArray out;
    out.reserve(text.size());
    std::optional<char32_t> first;
    forEachCharacter(text, [&](char32_t code, int byte) {
        if (byte == kNoByte && !first)
            first = code;
        out += char(byte);
    });
    if (first) {
        if (missing)
            *missing = *first;
        return std::nullopt;
    }
    return out;
}

QString decode(QByteArrayView bytes) { return QStringDecoder(kWindows1251).decode(bytes); }

} // namespace cp1251

QString decodeText(QByteArrayView bytes, const char *codePage)
{
    QStringDecoder decoder(codePage);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

} // namespace vestor
