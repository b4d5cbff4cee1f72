#pragma once
// The one writer of Windows-1251, the code page every name and text of a
// project is kept in.
//
// Text (UTF-16 or UTF-8) becomes Windows-1251 bytes. What becomes of a
// character Windows-1251 lacks is the caller's explicit choice:
//  - Refuse (names): the text is refused and the characters are named;
//  - Nearest (texts loaded or imported): the character's nearest Windows-1251
//    text where one is obvious (the various spaces, dashes, quotes and primes;
//    accented Latin letters lose their accents; box drawing as "+", "-" and
//    "|"; combining marks such as Russian stress marks, and invisible
//    characters, are dropped), "?" otherwise;
//  - Question: "?" (or the byte the caller gives instead).
// A character outside the basic plane (a surrogate pair) is one character.
// U+FFFD and a lone surrogate stand for bytes that were no character: they
// become "?" under every fallback and are counted apart.
// A byte that Windows-1251 leaves undefined (0x98) is read by AnsiToUnicode as
// the private-use character U+F798 and written back as that byte, so every
// byte keeps its place on its way through a widget.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace volm {

enum class TAnsiFallback {
    Refuse,   // refuse the text, naming the characters (it is written with "?" in their place)
    Nearest,  // the nearest text, else "?"
    Question, // "?"
};

// What a writing had no Windows-1251 place for.
struct TAnsiCount {
    size_t missing = 0;  // characters Windows-1251 lacks (each as its nearest text, or "?")
    size_t question = 0; // of these, the ones written as "?"
    size_t invalid = 0;  // U+FFFD and lone surrogates, written as "?"

    bool Any() const { return missing > 0 || invalid > 0; }
    TAnsiCount& operator+=(const TAnsiCount& other);
};

// The count as one line for the user, "" when there is nothing to say:
// "2 characters Windows-1251 lacks stored as the nearest text (1 of them as
// \"?\"); 1 invalid byte stored as \"?\"".
std::string ReplacementNote(const TAnsiCount& count);

// Writes texts into Windows-1251 under one fallback, counting over all of them.
class TAnsiWriter {
public:
    explicit TAnsiWriter(TAnsiFallback fallback, char question = '?') : fallback_(fallback), question_(question) {}

    std::string operator()(std::u16string_view text);
    // Invalid UTF-8 is read as one U+FFFD for each byte that starts no character.
    std::string operator()(std::string_view utf8);

    TAnsiCount count;
    // Refuse: the characters Windows-1251 lacks, in UTF-8, each once, in the
    // order they first appear (U+FFFD for what was no character).
    std::vector<std::string> lacking;
    bool Refused() const { return !lacking.empty(); }

private:
    // A character Windows-1251 lacks, or U+FFFD for what was no character.
    void Put(std::string& out, char32_t c);
    void Lacking(char32_t c);

    TAnsiFallback fallback_;
    char question_;
    std::unordered_set<char32_t> named_;
};

// The bytes of `text`, or nothing when it holds a character Windows-1251
// lacks; `lacking` (when given) then names them.
std::optional<std::string> ExactAnsi(std::u16string_view text, std::vector<std::string>* lacking = nullptr);
std::optional<std::string> ExactAnsi(std::string_view utf8, std::vector<std::string>* lacking = nullptr);

// The characters of `text` that Windows-1251 lacks, as TAnsiWriter::lacking.
std::vector<std::string> LackingCharacters(std::u16string_view text);

// What a refusal says about them: "the character \"X\" has no Windows-1251
// code", "the characters \"X\", \"Y\" have no Windows-1251 code".
std::string LackingMessage(const std::vector<std::string>& characters);

// UTF-8 in Windows-1251; throws volm::Error with the LackingMessage when
// Windows-1251 lacks any of its characters.
std::string utf8ToCp1251(std::string_view utf8);

// Windows-1251 bytes as UTF-16, an undefined byte as its private-use character.
std::u16string AnsiToUnicode(std::string_view bytes);

// The nearest Windows-1251 text of a character Windows-1251 lacks ("" drops
// it), or nothing when there is none.
std::optional<std::string_view> NearestAnsi(char32_t c);

} // namespace volm
