#include "app/Ansitext.h"

#include "common/Codepage.h"

#include <cstdint>

namespace volm::ui {
namespace {

constexpr char16_t kUndefinedBase = 0xF700; // private use: bytes Windows-1251 leaves undefined

} // namespace

QString ansiToText(std::string_view bytes)
{
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        const char16_t c = toUnicode(CodePage::Cp1251, b);
        out.append(QChar(c == kNoChar ? char16_t(kUndefinedBase + b) : c));
    }
    return out;
}

std::string textToAnsi(const QString& text, size_t* missing)
{
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    size_t lacking = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= kUndefinedBase && c <= kUndefinedBase + 0xFF &&
            toUnicode(CodePage::Cp1251, uint8_t(c - kUndefinedBase)) == kNoChar) {
            out.push_back(static_cast<char>(c - kUndefinedBase));
        } else if (auto b = fromUnicode(CodePage::Cp1251, c)) {
            out.push_back(static_cast<char>(*b));
        } else {
            // A surrogate pair is one character.
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            out.push_back('?');
            ++lacking;
        }
    }
    if (missing)
        *missing = lacking;
    return out;
}

std::optional<std::string> textToAnsiExact(const QString& text)
{
    size_t missing = 0;
    std::string out = textToAnsi(text, &missing);
    if (missing)
        return std::nullopt;
    return out;
}

QStringList lackingCharacters(const QString& text)
{
    QStringList out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype n = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            n = 2;
        const QString one = text.mid(i, n);
        if (!textToAnsiExact(one) && !out.contains(one))
            out.append(one);
        i += n - 1;
    }
    return out;
}

QString lackingMessage(const QString& what, const QString& text)
{
    const QStringList chars = lackingCharacters(text);
    QStringList quoted;
    for (const QString& c : chars)
        quoted << u'"' + c + u'"';
    return QStringLiteral("%1 \"%2\": %3 %4 no Windows-1251 code")
        .arg(what, text, QString(chars.size() == 1 ? QStringLiteral("the character") : QStringLiteral("the characters")),
             quoted.join(QStringLiteral(", ")) + (chars.size() == 1 ? QStringLiteral(" has") : QStringLiteral(" have")));
}

} // namespace volm::ui
