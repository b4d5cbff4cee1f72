#include "app/Ansitext.h"

#include "common/Ansiwriter.h"

namespace volm::ui {
namespace {

std::u16string_view unitsOf(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

} // namespace

QString ansiToText(std::string_view bytes)
{
    const std::u16string units = AnsiToUnicode(bytes);
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

std::string textToAnsi(const QString& text, TAnsiWriter& writer) { return writer(unitsOf(text)); }

std::string textToAnsi(const QString& text, size_t* missing)
{
    TAnsiWriter w(TAnsiFallback::Question);
    std::string out = textToAnsi(text, w);
    if (missing)
        *missing = w.count.missing + w.count.invalid;
    return out;
}

std::optional<std::string> textToAnsiExact(const QString& text) { return ExactAnsi(unitsOf(text)); }

QStringList lackingCharacters(const QString& text)
{
    QStringList out;
    for (const std::string& c : LackingCharacters(unitsOf(text)))
        out << QString::fromStdString(c);
    return out;
}

QString lackingMessage(const QString& what, const QString& text)
{
    const std::string why = LackingMessage(LackingCharacters(unitsOf(text)));
    return QStringLiteral("%1 \"%2\": %3").arg(what, text, QString::fromStdString(why));
}

} // namespace volm::ui
