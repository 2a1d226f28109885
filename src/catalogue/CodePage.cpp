#include "CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vestor {

namespace {

constexpr auto kWindows1251 = "windows-1251";

// Every character Windows-1251 can hold, found by decoding its 256 bytes.
const QString &cp1251Characters()
{
    static const QString characters = [] {
        QByteArray bytes(256, '\0');
        for (int i = 0; i < 256; ++i)
            bytes[i] = char(i);
        QString decoded = QStringDecoder(kWindows1251).decode(bytes);
        return decoded.remove(QChar::ReplacementCharacter);
    }();
    return characters;
}

QStringEncoder cp1251Encoder()
{
    QStringEncoder encoder(kWindows1251);
    // Debian's Qt carries ICU; without it there is no honest way on.
    Q_ASSERT(encoder.isValid());
    return encoder;
}

// Walks `text` character by character (pairs joined), telling `visit` each
// character and whether the code page holds it.
template <typename Visit> void forEachCharacter(const QString &text, Visit visit)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            visit(QString(text.constData() + i, 2), QChar::surrogateToUcs4(c, text[i + 1]), false);
            ++i;
            continue;
        }
        visit(QString(c), char32_t(c.unicode()), cp1251Characters().contains(c));
    }
}

} // namespace

namespace cp1251 {

QByteArray encode(const QString &text)
{
    QString fitting;
    fitting.reserve(text.size());
    forEachCharacter(text, [&](const QString &c, char32_t, bool held) { fitting += held ? c : QStringLiteral("?"); });
    return cp1251Encoder().encode(fitting);
}

std::optional<QByteArray> encodeExactly(const QString &text, char32_t *missing)
{
    std::optional<char32_t> first;
    forEachCharacter(text, [&](const QString &, char32_t code, bool held) {
        if (!held && !first)
            first = code;
    });
    if (first) {
        if (missing)
            *missing = *first;
        return std::nullopt;
    }
    return cp1251Encoder().encode(text);
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
