#pragma once
// Soft hyphens for the phone reader: the break points the hyphenation
// patterns allow (libhyphen, the patterns of Debian's hyphen-ru and
// hyphen-en-us), written into a Windows-1251 text as soft hyphens (0xAD).
//
// Only words made of letters alone are looked at: a run of Cyrillic letters
// (0xC0-0xFF, Ё 0xA8, ё 0xB8, and the Ukrainian and Belarusian ones) goes to
// the Russian patterns, a run of Latin letters A-Z a-z to the English ones; a
// word mixing both, digits, or any other byte ends a word and is left alone.
// A break keeps at least kMinHyphenPiece letters on each side (more where the
// patterns ask for more).

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

inline constexpr char kSoftHyphen = '\xAD';
inline constexpr size_t kMinHyphenPiece = 2;

inline constexpr const char* kRussianPatterns = "/usr/share/hyphen/hyph_ru_RU.dic";
inline constexpr const char* kEnglishPatterns = "/usr/share/hyphen/hyph_en_US.dic";

class THyphenator {
public:
    // Loads both pattern files; one that can't be read raises volm::Error
    // naming it.
    THyphenator(const std::string& russian = kRussianPatterns, const std::string& english = kEnglishPatterns);
    ~THyphenator();
    THyphenator(const THyphenator&) = delete;
    THyphenator& operator=(const THyphenator&) = delete;

    // The positions (1 .. size-1) inside a word of letters after which a
    // break is allowed, ascending; none for a word of neither alphabet.
    std::vector<size_t> Breaks(std::string_view word) const;

    // The text with a soft hyphen at every allowed break; `added` counts them.
    std::string Hyphenate(std::string_view text, size_t* added = nullptr) const;

private:
    struct TPatterns;
    std::unique_ptr<TPatterns> russian_, english_;
};

// Letters of the two alphabets in Windows-1251.
bool IsCyrillicLetter(unsigned char b);
bool IsLatinLetter(unsigned char b);

} // namespace volm
