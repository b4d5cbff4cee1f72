#include "text/Detect.h"

#include "text/Textlines.h"

#include <array>
#include <cstring>

namespace volm {
namespace {

constexpr CodePage kPages[kCandidateCount] = {
    CodePage::Cp866, CodePage::Iso8859_5, CodePage::Koi8R, CodePage::MacCyrillic, CodePage::Cp1251,
};
constexpr const char* kNames[kCandidateCount] = {
    "CP866", "ISO-8859-5", "KOI8-R", "Mac Cyrillic", "Windows-1251",
};

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

bool LooksLikeUtf8(std::string_view bytes)
{
    std::string_view text = BeforeNul(bytes);
    bool multiByte = false;
    for (unsigned char b : text)
        if (b >= 0x80) {
            multiByte = true;
            break;
        }
    return multiByte && isValidUtf8(text);
}

std::string TDetection::Describe() const
{
    return origin == TTextOrigin::Utf8 ? std::string("UTF-8") : std::string(kNames[candidate]);
}

std::string DetectAndConvert(std::string_view bytes)
{
    TDetection found;
    return DetectAndConvert(bytes, found);
}

std::string DetectAndConvert(std::string_view bytes, TDetection& found)
{
    found = TDetection{};
    std::string_view text = BeforeNul(bytes);
    std::string_view rest = bytes.substr(text.size());
    std::string out;
    if (LooksLikeUtf8(text)) {
        found.origin = TTextOrigin::Utf8;
        if (text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        out = encode(CodePage::Cp1251, utf8ToUtf16(text), '?', &found.missing);
    } else {
        found.origin = TTextOrigin::SingleByte;
        found.candidate = DetectCodePage(text);
        if (found.candidate == cpCp1251)
            out.assign(text);
        else
            out = recode(kPages[found.candidate], CodePage::Cp1251, text);
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

} // namespace volm
