#pragma once
// Single-byte code pages and UTF conversions.
//
// The program keeps every name and text as single-byte strings in Windows-1251
// (the "ANSI" code page of the editor and of compound-file names); archive member
// names use CP866 (the "OEM" code page). Tables are complete: every byte that a
// code page defines maps to its UTF-16 character, undefined bytes map to none.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace volm {

enum class CodePage {
    Cp1251,      // Windows Cyrillic: the program's own code page
    Cp866,       // DOS Cyrillic: the OEM code page
    Koi8R,
    Iso8859_5,
    MacCyrillic,
    Cp1252,      // Western
    Cp1250,      // Central European
    Cp1253,      // Greek
    Cp1254,      // Turkish
    Cp1255,      // Hebrew
    Cp1256,      // Arabic
    Cp1257,      // Baltic
    Cp1258,      // Vietnamese
    Cp874,       // Thai
    MacRoman,
};

inline constexpr char16_t kNoChar = 0xFFFF;

// The character of byte b, or kNoChar when the code page leaves it undefined.
char16_t toUnicode(CodePage cp, uint8_t b);

// The byte of character c, or nothing when the code page lacks it.
std::optional<uint8_t> fromUnicode(CodePage cp, char16_t c);

// Bytes to UTF-16; an undefined byte becomes U+FFFD.
std::u16string decode(CodePage cp, std::string_view bytes);

// UTF-16 to bytes; a character the code page lacks becomes `replacement`.
// `missing` (when given) counts the replaced characters. Names and texts go
// into Windows-1251 through its writer (Ansiwriter.h), which chooses what
// becomes of them.
std::string encode(CodePage cp, std::u16string_view text, char replacement = '?',
                   size_t* missing = nullptr);

// UTF-16 to bytes, or nothing when any character is missing from the code page.
std::optional<std::string> encodeExact(CodePage cp, std::u16string_view text);

// Byte-to-byte conversion between two code pages: a byte whose character the
// target lacks (or that the source leaves undefined) stays as it is.
std::string recode(CodePage from, CodePage to, std::string_view bytes);

// Windows-1251 <-> CP866, for archive member names.
std::string ansiToOem(std::string_view s);
std::string oemToAnsi(std::string_view s);

// UTF-8 <-> UTF-16. Invalid UTF-8 sequences decode to U+FFFD, one for each
// byte that starts none (`invalid`, when given, counts them); characters
// outside the basic plane are kept as surrogate pairs.
std::u16string utf8ToUtf16(std::string_view s, size_t* invalid = nullptr);
std::string utf16ToUtf8(std::u16string_view s);

// The code point of the UTF-8 sequence at s[i], moving i past it; -1 for a
// byte that starts no well-formed sequence (i moves on by one).
long decodeUtf8(std::string_view s, size_t& i);

// True when `s` is well-formed UTF-8 (no overlongs, no surrogates, nothing past U+10FFFF).
bool isValidUtf8(std::string_view s);

// How much of `s` reads as UTF-8: the well-formed sequences of two to four
// bytes, and the bytes that belong to no well-formed sequence.
struct Utf8Census {
    size_t multiByte = 0;
    size_t invalid = 0;
};
Utf8Census utf8Census(std::string_view s);

// ASCII letters in lower case; every other byte as it is.
inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
std::string asciiLower(std::string_view s);

// Bytes as a line of text can show them: tab, line feed and carriage return
// as "\t", "\n" and "\r", other control bytes (and DEL) as "\xNN"; with
// `quotes` a backslash and a double quote get a backslash in front, with
// `highBytes` the bytes 0x80-0xFF are written as "\xNN" too.
struct TEscapeRules {
    bool quotes = false;
    bool highBytes = false;
    bool upperHex = false; // "\x1B" rather than "\x1b"
};
std::string EscapeControls(std::string_view bytes, const TEscapeRules& rules);

// The value of a hexadecimal digit of either case; -1 for any other character.
inline int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = asciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// True when `a` and `b` are equal with ASCII letters compared without regard
// to case (file names, masks, registry key and value names).
bool sameText(std::string_view a, std::string_view b);

// Windows-1251 bytes as UTF-8 text (the other way: utf8ToCp1251, Ansiwriter.h).
std::string cp1251ToUtf8(std::string_view s);

} // namespace volm
