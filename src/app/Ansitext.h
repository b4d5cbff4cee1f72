#pragma once
// Windows-1251 bytes, as projects, build parameters and messages keep them,
// and the widgets' text, in both directions: one conversion for every window,
// through the writer of Windows-1251 (common/Ansiwriter.h).
//
// Every byte keeps its place: a byte that Windows-1251 leaves undefined (0x98)
// is shown as a private-use character and comes back as the same byte.

#include "common/Ansiwriter.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace volm::ui {

QString ansiToText(std::string_view bytes);
// The text written by `writer`: its fallback decides what becomes of a
// character Windows-1251 lacks, and its count (ReplacementNote) says it.
std::string textToAnsi(const QString& text, TAnsiWriter& writer);
// A character that Windows-1251 lacks comes back as "?", counted in `missing`
// (with what was no character, a lone surrogate).
std::string textToAnsi(const QString& text, size_t* missing = nullptr);
// The bytes, or nothing when the text holds a character Windows-1251 lacks.
std::optional<std::string> textToAnsiExact(const QString& text);
// The characters of `text` that Windows-1251 lacks, each once, in the order
// they first appear (LackingCharacters).
QStringList lackingCharacters(const QString& text);
// The message that refuses a text with such characters: `what` "text"
// (quoting the text), then the characters.
QString lackingMessage(const QString& what, const QString& text);

} // namespace volm::ui
