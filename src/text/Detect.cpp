#include "text/Detect.h"

#include "text/Textlines.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace volm {
namespace {

#include "text/Bigramtable.inc"

constexpr CodePage kPages[kCandidateCount] = {
    CodePage::Cp866, CodePage::Iso8859_5, CodePage::Koi8R, CodePage::MacCyrillic, CodePage::Cp1251,
};
constexpr const char* kNames[kCandidateCount] = {
    "CP866", "ISO-8859-5", "KOI8-R", "Mac Cyrillic", "Windows-1251",
};

// A text with fewer bytes above 0x7F than this is short: the probes alone
// do not decide it.
constexpr size_t kLongText = 300;
// What a byte that is neither a letter nor common punctuation costs a reading
// (eighths of a bit; about as much as an improbable pair of letters).
constexpr uint32_t kRareCost = 96;
// What one probe byte is worth against the model's costs when the two
// signals are weighed together (as much as a stray symbol costs).
constexpr uint32_t kProbeWeight = 96;
// The bigram model's symbols besides the 66 letters: the boundaries between
// words and between sentences, and what else a byte may be in a page.
constexpr uint8_t kWordBreak = 66;
constexpr uint8_t kSentenceBreak = 67;
constexpr uint8_t kRare = 68;        // outside ASCII, neither letter nor punctuation
constexpr uint8_t kPunctuation = 69; // 69 + the low bits of Punctuation(): common punctuation
// What common punctuation costs a reading (rarer than a space), and what more
// it costs where it touches a letter it should not.
constexpr uint32_t kPunctuationCost = 40;
constexpr uint32_t kTouchCost = 64;
// What an odd number of double quotes costs (one of them has no partner).
constexpr uint32_t kUnpairedCost = 64;

// The part of the text that detection looks at: everything before the first NUL.
std::string_view BeforeNul(std::string_view bytes)
{
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    if (!nul)
        return bytes;
    return bytes.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - bytes.data()));
}

uint8_t ByteOf(CodePage cp, char16_t letter)
{
    // Every candidate encodes all 64 letters; the tables are complete.
    return fromUnicode(cp, letter).value_or(0);
}

int WinnerOf(const TScores& s)
{
    // The highest score wins; ISO-8859-5 is the starting point, so it wins a tie
    // it is part of, otherwise the tied page that comes first. Windows-1251 wins
    // any tie it is part of: such a text is already in the editor's code page.
    int best = cpIso8859_5;
    uint32_t bestScore = s.score[cpIso8859_5];
    for (int k = 0; k < kCandidateCount; ++k)
        if (s.score[k] > bestScore) {
            best = k;
            bestScore = s.score[k];
        }
    if (s.score[cpCp1251] == bestScore)
        best = cpCp1251;
    return best;
}

bool Twins(int a, int b)
{
    return (a == cpMacCyrillic && b == cpCp1251) || (a == cpCp1251 && b == cpMacCyrillic);
}

// Punctuation of ordinary texts outside ASCII, read like a space, and where
// it may touch a letter: an opening quote before one, a closing quote or an
// ellipsis after one, a dash neither. 0 when `c` is none of it.
enum : uint8_t { kTouchesNext = 1, kTouchesPrevious = 2, kEndsSentence = 4, kQuote = 8, kIsPunctuation = 16 };
uint8_t Punctuation(char16_t c)
{
    switch (c) {
    case 0x00A0: // no-break space
    case 0x00AD: // soft hyphen
    case 0x2018: // ‘
        return kIsPunctuation | kTouchesNext | kTouchesPrevious;
    case 0x201C: // “ (opening, or closing as Russian quotes „…“ use it)
        return kIsPunctuation | kTouchesNext | kTouchesPrevious | kQuote;
    case 0x00AB: // «
    case 0x201E: // „
        return kIsPunctuation | kTouchesNext | kQuote;
    case 0x201A: // ‚
        return kIsPunctuation | kTouchesNext;
    case 0x00BB: // »
    case 0x201D: // ”
        return kIsPunctuation | kTouchesPrevious | kQuote;
    case 0x2019: // ’
        return kIsPunctuation | kTouchesPrevious;
    case 0x2026: // …
        return kIsPunctuation | kTouchesPrevious | kEndsSentence;
    case 0x00A7: // §
    case 0x00A9: // ©
    case 0x00B0: // °
    case 0x00B7: // ·
    case 0x2013: // –
    case 0x2014: // —
    case 0x2022: // •
    case 0x2116: // №
        return kIsPunctuation;
    default:
        return 0;
    }
}

// The bigram model's symbol of each byte in one page.
std::array<uint8_t, 256> SymbolsOf(CodePage cp)
{
    std::array<uint8_t, 256> sym{};
    for (int b = 0; b < 256; ++b) {
        char16_t c = toUnicode(cp, static_cast<uint8_t>(b));
        if (b < 0x80)
            sym[b] = (b == '.' || b == '!' || b == '?' || b == '\n' || b == '\r') ? kSentenceBreak : kWordBreak;
        else if (c >= 0x410 && c <= 0x44F)
            sym[b] = static_cast<uint8_t>(c - 0x410);
        else if (c == 0x401)
            sym[b] = 64;
        else if (c == 0x451)
            sym[b] = 65;
        else if (uint8_t p = Punctuation(c))
            sym[b] = static_cast<uint8_t>(kPunctuation + (p & ~kIsPunctuation));
        else
            sym[b] = kRare;
    }
    return sym;
}

const std::array<uint8_t, 256>& Symbols(int candidate)
{
    static const std::array<std::array<uint8_t, 256>, kCandidateCount> all = [] {
        std::array<std::array<uint8_t, 256>, kCandidateCount> a{};
        for (int k = 0; k < kCandidateCount; ++k)
            a[k] = SymbolsOf(kPages[k]);
        return a;
    }();
    return all[candidate];
}

// A single-byte page's bytes in Windows-1251: the character of every byte
// is written once, as the writer of texts writes it, and the text's bytes
// are mapped.
std::string FromPage(int candidate, std::string_view text, TAnsiCount& count)
{
    if (candidate == cpCp1251)
        return std::string(text);
    std::array<std::string, 256> map;
    std::array<TAnsiCount, 256> counts;
    std::array<bool, 256> replaced{};
    for (int b = 0; b < 256; ++b) {
        const char16_t c = toUnicode(kPages[candidate], static_cast<uint8_t>(b));
        const char16_t one = c == kNoChar ? u'\uFFFD' : c; // an undefined byte: "?"
        TAnsiWriter w(TAnsiFallback::Nearest);
        map[b] = w(std::u16string_view(&one, 1));
        counts[b] = w.count;
        replaced[b] = w.count.Any();
    }
    std::string out;
    out.reserve(text.size());
    for (unsigned char b : text) {
        out += map[b];
        if (replaced[b])
            count += counts[b];
    }
    return out;
}

// A UTF-16 unit that ordinary Russian or English text is made of.
bool PlainUnit(char16_t u)
{
    return u == 0x09 || u == 0x0A || u == 0x0D || (u >= 0x20 && u <= 0x7E) || (u >= 0xA0 && u <= 0xBF) ||
           (u >= 0x400 && u <= 0x45F) || (u >= 0x2010 && u <= 0x203A) || u == 0x20AC || u == 0x2116 ||
           u == 0x2122 || (u >= 0x2500 && u <= 0x25A0);
}

char16_t UnitAt(std::string_view bytes, size_t i, bool bigEndian)
{
    auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
    auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
    return static_cast<char16_t>(lo | (hi << 8));
}

std::u16string Utf16Units(std::string_view bytes, bool bigEndian)
{
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i < bytes.size() / 2; ++i)
        out.push_back(UnitAt(bytes, i, bigEndian));
    return out;
}

} // namespace

CodePage CandidateCodePage(int index) { return kPages[index]; }
const char* CandidateName(int index) { return kNames[index]; }

TProbeBytes ProbeBytes(int index)
{
    CodePage cp = kPages[index];
    return {ByteOf(cp, u'О'), ByteOf(cp, u'о'), ByteOf(cp, u'Е'), ByteOf(cp, u'е')};
}

TScores ScoreCandidates(std::string_view bytes)
{
    std::array<uint32_t, 256> counts{};
    for (unsigned char b : BeforeNul(bytes))
        ++counts[b];
    TScores s;
    for (int k = 0; k < kCandidateCount; ++k) {
        TProbeBytes p = ProbeBytes(k);
        s.score[k] = counts[p.capitalO] + counts[p.smallO] + counts[p.capitalE] + counts[p.smallE];
    }
    return s;
}

int DetectCodePage(std::string_view bytes) { return WinnerOf(ScoreCandidates(bytes)); }

TBigramCosts BigramCosts(std::string_view bytes)
{
    std::string_view text = BeforeNul(bytes);
    TBigramCosts c;
    for (int k = 0; k < kCandidateCount; ++k) {
        const std::array<uint8_t, 256>& sym = Symbols(k);
        uint64_t cost = 0;
        int letter = -1;                  // the last letter read
        bool inBreak = true;              // reading a boundary (the text starts with one)
        uint8_t pending = kSentenceBreak; // which boundary
        bool touchedOk = true;            // the last byte may touch a letter after it
        uint32_t quotes = 0;
        for (unsigned char b : text) {
            uint8_t s = sym[b];
            if (s >= kWordBreak) {
                bool end = s == kSentenceBreak;
                if (s == kRare) {
                    // A symbol, and symbols stand apart from words.
                    cost += kRareCost + (inBreak ? 0 : kTouchCost);
                    touchedOk = false;
                } else if (s >= kPunctuation) {
                    uint8_t p = s - kPunctuation;
                    end = p & kEndsSentence;
                    quotes += (p & kQuote) != 0;
                    cost += kPunctuationCost;
                    if (!inBreak && !(p & kTouchesPrevious))
                        cost += kTouchCost;
                    touchedOk = p & kTouchesNext;
                } else {
                    touchedOk = true;
                }
                pending = (end || (inBreak && pending == kSentenceBreak)) ? kSentenceBreak : kWordBreak;
                inBreak = true;
                continue;
            }
            if (inBreak) {
                if (letter >= 0)
                    cost += kBigramCost[letter][pending];
                cost += kBigramCost[pending][s];
                if (!touchedOk)
                    cost += kTouchCost;
                inBreak = false;
                touchedOk = true;
            } else {
                cost += kBigramCost[letter][s];
            }
            letter = s;
        }
        if (letter >= 0)
            cost += kBigramCost[letter][inBreak ? pending : kSentenceBreak];
        if (quotes % 2 != 0)
            cost += kUnpairedCost;
        c.cost[k] = cost;
    }
    return c;
}

int ChooseCodePage(std::string_view bytes)
{
    std::string_view text = BeforeNul(bytes);
    TScores s = ScoreCandidates(text);
    int verdict = WinnerOf(s);
    size_t high = 0;
    for (unsigned char b : text)
        high += b >= 0x80;
    if (high == 0)
        return verdict;

    // A clear verdict on a long text stands: twice the score of every other
    // page, Mac Cyrillic and Windows-1251 aside (they share the small letters).
    uint32_t rival = 0;
    for (int k = 0; k < kCandidateCount; ++k)
        if (k != verdict && !Twins(k, verdict))
            rival = std::max(rival, s.score[k]);
    bool clear = high >= kLongText && s.score[verdict] >= 2 * rival;

    if (clear) {
        // Between the twins, the bytes they differ on, as the model weighs
        // them; Windows-1251 on a tie.
        uint32_t mac = s.score[cpMacCyrillic], win = s.score[cpCp1251];
        if ((verdict == cpMacCyrillic || verdict == cpCp1251) && 2 * std::min(mac, win) >= std::max(mac, win)) {
            TBigramCosts c = BigramCosts(text);
            return c.cost[cpMacCyrillic] < c.cost[cpCp1251] ? cpMacCyrillic : cpCp1251;
        }
        return verdict;
    }
    TBigramCosts c = BigramCosts(text);
    int best = verdict;
    // Otherwise the reading the model likes best, each probe byte counting
    // for the page it is a probe letter of; the probes' verdict on a tie.
    auto weighed = [&](int k) { return static_cast<int64_t>(c.cost[k]) - int64_t{kProbeWeight} * s.score[k]; };
    for (int k = 0; k < kCandidateCount; ++k)
        if (weighed(k) < weighed(best))
            best = k;
    return best;
}

bool LooksLikeUtf16(std::string_view bytes, bool& bigEndian)
{
    size_t n = bytes.size() / 2;
    if (n < 2)
        return false;
    for (bool be : {false, true}) {
        // Two units in a hundred may be something else; the count stops as
        // soon as more are.
        size_t other = 0, asciiOrCyrillic = 0;
        for (size_t i = 0; i < n && other * 100 <= n * 2; ++i) {
            char16_t u = UnitAt(bytes, i, be);
            other += !PlainUnit(u);
            asciiOrCyrillic += (u >= 0x09 && u < 0x80) || (u >= 0x400 && u <= 0x45F);
        }
        if (other * 100 <= n * 2 && asciiOrCyrillic * 2 >= n) {
            bigEndian = be;
            return true;
        }
    }
    return false;
}

bool LooksLikeUtf8(std::string_view bytes)
{
    std::string_view text = BeforeNul(bytes);
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        return true;
    // A sequence cut off by the end of the file is a cut, not damage.
    for (size_t k = 1; k <= 3 && k <= text.size(); ++k) {
        auto b = static_cast<unsigned char>(text[text.size() - k]);
        if (b >= 0xC0) {
            size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
            if (k < need)
                text.remove_suffix(k);
            break;
        }
        if (b < 0x80)
            break;
    }
    Utf8Census c = utf8Census(text);
    if (c.multiByte == 0 || c.invalid == 0)
        return c.multiByte > 0;
    // Damaged: one stray byte for every two good sequences at most, and
    // the good ones the characters of an ordinary text.
    if (c.invalid * 2 > c.multiByte)
        return false;
    size_t plain = 0, other = 0;
    for (char16_t u : utf8ToUtf16(text)) {
        if (u < 0x80 || u == 0xFFFD)
            continue;
        (PlainUnit(u) ? plain : other) += 1;
    }
    return plain >= 9 * other;
}

std::string TDetection::Describe() const
{
    switch (origin) {
    case TTextOrigin::Utf8: return "UTF-8";
    case TTextOrigin::Utf16LE: return "UTF-16LE";
    case TTextOrigin::Utf16BE: return "UTF-16BE";
    case TTextOrigin::SingleByte: break;
    }
    return kNames[candidate];
}

std::string TDetection::Replacements() const { return ReplacementNote(*this); }

std::string DetectAndConvert(std::string_view bytes)
{
    TDetection found;
    return DetectAndConvert(bytes, found);
}

std::string DetectAndConvert(std::string_view bytes, TDetection& found)
{
    found = TDetection{};
    // UTF-16 first: its NUL bytes belong to its characters.
    bool bigEndian = false;
    bool bom = bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF");
    if (bom || LooksLikeUtf16(bytes, bigEndian)) {
        if (bom) {
            bigEndian = bytes[0] == '\xFE';
            bytes.remove_prefix(2);
        }
        found.origin = bigEndian ? TTextOrigin::Utf16BE : TTextOrigin::Utf16LE;
        TAnsiWriter w(TAnsiFallback::Nearest);
        std::string out = w(Utf16Units(bytes, bigEndian));
        found.Replaced() = w.count;
        if (bytes.size() % 2 != 0) {
            out.push_back('?'); // half a unit at the end
            ++found.invalid;
        }
        return out;
    }

    std::string_view text = BeforeNul(bytes);
    std::string_view rest = bytes.substr(text.size());
    std::string out;
    if (LooksLikeUtf8(text)) {
        found.origin = TTextOrigin::Utf8;
        if (text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        TAnsiWriter w(TAnsiFallback::Nearest); // each invalid byte comes as U+FFFD
        out = w(text);
        found.Replaced() = w.count;
    } else {
        found.origin = TTextOrigin::SingleByte;
        found.candidate = ChooseCodePage(text);
        out = FromPage(found.candidate, text, found.Replaced());
    }
    out.append(rest);
    return out;
}

std::string LoadedText(std::string_view fileBytes, bool detect, TDetection* found)
{
    if (!detect)
        return NormalizeLineEnds(fileBytes);
    TDetection local;
    return NormalizeLineEnds(DetectAndConvert(fileBytes, found ? *found : local));
}

TLoadedText LoadTextFile(std::string_view fileBytes, bool detect)
{
    TLoadedText t;
    t.text = LoadedText(fileBytes, detect, &t.found);
    t.cutAt = LoadedTextCut(fileBytes, detect ? &t.found : nullptr);
    return t;
}

std::string TLoadedText::Note() const
{
    std::string note = found.Replacements();
    if (cutAt != std::string_view::npos)
        note += (note.empty() ? "" : "; ") + NulCutNote(cutAt);
    return note;
}

size_t LoadedTextCut(std::string_view fileBytes, const TDetection* found)
{
    if (found && (found->origin == TTextOrigin::Utf16LE || found->origin == TTextOrigin::Utf16BE)) {
        // The first unit U+0000 (a byte-order mark keeps the units aligned).
        for (size_t i = 0; i + 1 < fileBytes.size(); i += 2)
            if (fileBytes[i] == 0 && fileBytes[i + 1] == 0)
                return i;
        return std::string_view::npos;
    }
    return FirstNul(fileBytes);
}

namespace {

// The characters of a file's text as DetectAndConvert read them, up to the
// first NUL.
std::u16string DecodedUnits(std::string_view bytes, const TDetection& found)
{
    std::u16string out;
    switch (found.origin) {
    case TTextOrigin::Utf16LE:
    case TTextOrigin::Utf16BE: {
        const bool bigEndian = found.origin == TTextOrigin::Utf16BE;
        if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF"))
            bytes.remove_prefix(2);
        out = Utf16Units(bytes, bigEndian);
        if (bytes.size() % 2 != 0)
            out.push_back(u'\uFFFD');
        break;
    }
    case TTextOrigin::Utf8: {
        std::string_view text = BeforeNul(bytes);
        if (text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        out = utf8ToUtf16(text);
        break;
    }
    case TTextOrigin::SingleByte:
        out = decode(CandidateCodePage(found.candidate), BeforeNul(bytes));
        break;
    }
    const size_t nul = out.find(u'\0');
    if (nul != std::u16string::npos)
        out.resize(nul);
    return out;
}

} // namespace

TDecodedList DecodeTopicList(std::string_view fileBytes)
{
    TDecodedList out;
    out.names = SplitLines(DetectAndConvert(fileBytes, out.found));
    if (!out.found.Any())
        return out;
    // Which lines lost characters: the same text as characters, split by
    // the same rule (line breaks are the same characters in every reading).
    // The list ends at the first NUL, as the names do.
    std::u16string text = DecodedUnits(fileBytes, out.found);
    text.resize(std::min(text.size(), text.find(u'\0')));
    size_t line = 0, start = 0;
    auto check = [&](size_t from, size_t to) {
        if (++line > out.names.size())
            return;
        const std::u16string_view name = std::u16string_view(text).substr(from, to - from);
        std::vector<std::string> lacking = LackingCharacters(name);
        if (!lacking.empty())
            out.refused.push_back({line, utf16ToUtf8(name), std::move(lacking)});
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            check(start, i);
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        check(start, text.size());
    return out;
}

} // namespace volm
