#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

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
// "IBM866", "UTF-8"); an unknown name decodes as UTF-8.
QString decodeText(QByteArrayView bytes, const char *codePage);

} // namespace vestor
