#include "text/Hyphenate.h"

#include "common/Errors.h"

#include <hyphen.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

#if defined(__SANITIZE_ADDRESS__)
// LeakSanitizer, in a sanitized build: libhyphen keeps 4 bytes of every
// dictionary after hnj_hyphen_free (Debian 12's 2.8.8; a bare load and free
// shows it), which is its leak, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libhyphen.so\n";
}

// (Quietly: a command's standard error is one line.)
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
#endif

namespace volm {

namespace {

// The lower-case letter of a Windows-1251 letter (the patterns hold lower case).
unsigned char lowerLetter(unsigned char b)
{
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDF))
        return static_cast<unsigned char>(b + 0x20);
    switch (b) {
    case 0xA8: return 0xB8; // Ё
    case 0xAA: return 0xBA; // Є
    case 0xAF: return 0xBF; // Ї
    case 0xB2: return 0xB3; // І
    case 0xA5: return 0xB4; // Ґ
    case 0xA1: return 0xA2; // Ў
    default: return b;
    }
}

} // namespace

bool IsCyrillicLetter(unsigned char b)
{
    if (b >= 0xC0)
        return true;
    switch (b) {
    case 0xA8: case 0xB8: case 0xAA: case 0xBA: case 0xAF: case 0xBF:
    case 0xB2: case 0xB3: case 0xA5: case 0xB4: case 0xA1: case 0xA2: return true;
    default: return false;
    }
}

bool IsLatinLetter(unsigned char b)
{
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

// One pattern file and, for every Windows-1251 byte, its bytes in the
// file's own character set (none where that set lacks it).
struct THyphenator::TPatterns {
    HyphenDict* dict = nullptr;
    std::array<std::optional<std::string>, 256> bytes;

    explicit TPatterns(const std::string& path)
    {
        dict = hnj_hyphen_load(path.c_str());
        if (!dict)
            throw Error("Cannot load the hyphenation patterns " + path + ": " +
                        (errno ? std::string(std::strerror(errno)) : std::string("not a pattern file")));
        const char* cset = dict->cset[0] ? dict->cset : "ISO8859-1";
        iconv_t cd = ::iconv_open(cset, "CP1251");
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            hnj_hyphen_free(dict);
            throw Error("Cannot load the hyphenation patterns " + path + ": unknown character set " + cset);
        }
        for (int b = 1; b < 256; ++b) {
            char in = static_cast<char>(b), out[8];
            char* inp = &in;
            char* outp = out;
            size_t inLeft = 1, outLeft = sizeof out;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (::iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) && inLeft == 0)
                bytes[b] = std::string(out, outp);
        }
        ::iconv_close(cd);
    }
    ~TPatterns() { hnj_hyphen_free(dict); }
    TPatterns(const TPatterns&) = delete;
    TPatterns& operator=(const TPatterns&) = delete;

    std::vector<size_t> breaks(std::string_view word) const
    {
        // The word in the file's set, and where each letter ends in it.
        std::string coded;
        std::vector<size_t> ends;
        for (char c : word) {
            const std::optional<std::string>& b = bytes[lowerLetter(static_cast<unsigned char>(c))];
            if (!b)
                return {};
            coded += *b;
            ends.push_back(coded.size());
        }
        std::vector<char> hyphens(coded.size() + 5, '0');
        char** rep = nullptr;
        int* pos = nullptr;
        int* cut = nullptr;
        const int left = std::max<int>(kMinHyphenPiece, dict->lhmin);
        const int right = std::max<int>(kMinHyphenPiece, dict->rhmin);
        const int failed = hnj_hyphen_hyphenate3(dict, coded.data(), static_cast<int>(coded.size()), hyphens.data(),
                                                 nullptr, &rep, &pos, &cut, left, right, left, right);
        if (rep) {
            for (size_t i = 0; i < coded.size(); ++i)
                std::free(rep[i]);
            std::free(rep);
        }
        std::free(pos);
        std::free(cut);
        std::vector<size_t> out;
        if (failed)
            return out;
        // A break after letter k (1-based) keeps k letters before it and the rest after.
        for (size_t k = 1; k < ends.size(); ++k)
            if ((hyphens[ends[k - 1] - 1] & 1) && k >= static_cast<size_t>(left) &&
                ends.size() - k >= static_cast<size_t>(right))
                out.push_back(k);
        return out;
    }
};

THyphenator::THyphenator(const std::string& russian, const std::string& english)
    : russian_(std::make_unique<TPatterns>(russian)), english_(std::make_unique<TPatterns>(english))
{
}

THyphenator::~THyphenator() = default;

std::vector<size_t> THyphenator::Breaks(std::string_view word) const
{
    if (word.size() < 2 * kMinHyphenPiece)
        return {};
    auto all = [&](bool (*letter)(unsigned char)) {
        return std::all_of(word.begin(), word.end(), [&](char c) { return letter(static_cast<unsigned char>(c)); });
    };
    if (all(IsCyrillicLetter))
        return russian_->breaks(word);
    if (all(IsLatinLetter))
        return english_->breaks(word);
    return {};
}

std::string THyphenator::Hyphenate(std::string_view text, size_t* added) const
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t count = 0;
    auto isLetter = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return IsCyrillicLetter(b) || IsLatinLetter(b);
    };
    size_t i = 0;
    while (i < text.size()) {
        if (!isLetter(text[i])) {
            out += text[i++];
            continue;
        }
        size_t end = i;
        while (end < text.size() && isLetter(text[end]))
            ++end;
        const std::string_view word = text.substr(i, end - i);
        size_t from = 0;
        for (size_t k : Breaks(word)) {
            out.append(word.substr(from, k - from));
            out += kSoftHyphen;
            from = k;
            ++count;
        }
        out.append(word.substr(from));
        i = end;
    }
    if (added)
        *added = count;
    return out;
}

} // namespace volm
