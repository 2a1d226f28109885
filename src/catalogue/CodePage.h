#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vestor {

// Windows-1251, the game's code page: reports, the item table's text and
// everything a Windows player opens in Notepad.
namespace cp1251 {

// Every character of `text` in Windows-1251; one '?' for each character the
// code page lacks (a surrogate pair counts as one character).
QByteArray encode(const QString &text);

// The bytes of `text`, or nothing when some character has no Windows-1251
// code; `missing` then holds the first such character.
std::optional<QByteArray> encodeExactly(const QString &text, char32_t *missing = nullptr);

QString decode(QByteArrayView bytes);

} // namespace cp1251

// Text in a code page named as QStringDecoder names them ("windows-1251",
// "IBM866", "UTF-8"); an unknown name decodes as UTF-8. Bytes that stand for
// no character come out as U+FFFD, never dropped. Made once for many short
// texts (a table's fields); safe to use from several threads at once.
class CodePage
{
public:
    explicit CodePage(const char *name);

    // Appends the UTF-8 of `bytes` to `utf8`.
    void decodeText(QByteArrayView bytes, std::string &utf8) const;
    QString decodeText(QByteArrayView bytes) const;

private:
    struct Utf8 {
        std::uint8_t length = 0;
        char bytes[4] = {};
    };
    QByteArray name_; // a name QStringDecoder knows
    bool singleByte_ = true;
    std::array<Utf8, 256> table_; // the UTF-8 of each byte, for single-byte code pages
};

} // namespace vestor
