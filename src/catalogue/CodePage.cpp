#include "catalogue/CodePage.h"

#include <QStringDecoder>

#include <cstdint>
#include <cstring>
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

namespace {

// Whether some byte of the code page only starts a character (UTF-8, the
// East Asian code pages) rather than being one.
bool isMultiByte(QStringDecoder &decoder)
{
    for (int b = 0x80; b < 0x100; ++b) {
        const char lead = char(b);
        const QString one = decoder.decode(QByteArrayView(&lead, 1));
        if (one.size() == 1 && one[0] != QChar::ReplacementCharacter)
            continue;
        for (char next : {'\x80', '\xA1', 'A'}) {
            const char two[] = {lead, next};
            const QString pair = decoder.decode(QByteArrayView(two, 2));
            if (pair.size() == 1 && pair[0] != QChar::ReplacementCharacter)
                return true;
        }
    }
    return false;
}

} // namespace

// Single-byte code pages go through a table of 256 ready UTF-8 sequences;
// anything else through QStringDecoder.
CodePage::CodePage(const char *name) : name_(name)
{
    QStringDecoder decoder(name_.constData(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid()) {
        name_ = "UTF-8";
        decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    }
    singleByte_ = !isMultiByte(decoder);
    for (int b = 0; b < 256 && singleByte_; ++b) {
        const char byte = char(b);
        QString c = decoder.decode(QByteArrayView(&byte, 1));
        // Code pages map their unassigned bytes to C1 controls (0x98 in Windows-1251).
        if (c.isEmpty() || (b >= 0x80 && c[0].unicode() >= 0x80 && c[0].unicode() <= 0x9F))
            c = QChar(QChar::ReplacementCharacter);
        const QByteArray utf8 = c.toUtf8();
        if (utf8.size() > 4) {
            singleByte_ = false;
            break;
        }
        table_[b].length = std::uint8_t(utf8.size());
        std::memcpy(table_[b].bytes, utf8.constData(), std::size_t(utf8.size()));
    }
}

void CodePage::decodeText(QByteArrayView bytes, std::string &utf8) const
{
    if (!singleByte_) {
        // A decoder of one's own: the stateless kind keeps nothing between texts.
        QStringDecoder decoder(name_.constData(), QStringDecoder::Flag::Stateless);
        utf8 += QString(decoder.decode(bytes)).toStdString();
        return;
    }
    char buffer[1024];
    std::size_t n = 0;
    for (char c : bytes) {
        if (n + 4 > sizeof buffer) {
            utf8.append(buffer, n);
            n = 0;
        }
        const Utf8 &u = table_[std::uint8_t(c)];
        std::memcpy(buffer + n, u.bytes, 4);
        n += u.length;
    }
    utf8.append(buffer, n);
}

QString CodePage::decodeText(QByteArrayView bytes) const
{
    std::string utf8;
    decodeText(bytes, utf8);
    return QString::fromStdString(utf8);
}

} // namespace vestor
