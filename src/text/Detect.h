#pragma once
// Code-page detection for loaded topic texts.
//
// A text file is read as raw bytes and turned into Windows-1251, the code page
// in which the editor and the project keep every text:
//  - well-formed UTF-8 holding at least one multi-byte sequence (a leading
//    byte-order mark counts) is decoded; a character Windows-1251 lacks becomes
//    "?", and the byte-order mark is dropped;
//  - anything else is one of five Cyrillic single-byte code pages, chosen by
//    counting the bytes of the probe letters О, о, Е and е in each of them.
//    Windows-1251 wins every tie it is part of (a text already in the editor's
//    code page stays as it is); otherwise the highest score wins, ISO-8859-5 on
//    a tie it is part of, else the tied page that comes first.
//    The chosen page is converted with its complete table: every byte whose
//    character Windows-1251 also has becomes that character's byte, the rest
//    (pseudo-graphics) stays as it is.
// Only the bytes before the first NUL byte are looked at and converted; the NUL
// and everything after it are handed back unchanged (the editor's load cuts the
// text at the NUL, see Textlines.h).

#include "common/Codepage.h"

#include <string>
#include <string_view>

namespace volm {

// The candidate pages in their fixed order; the index is what DetectCodePage returns.
enum TCandidate : int {
    cpCp866 = 0,
    cpIso8859_5 = 1,
    cpKoi8R = 2,
    cpMacCyrillic = 3,
    cpCp1251 = 4,
};
inline constexpr int kCandidateCount = 5;

// The code page of candidate `index` (0 to 4).
CodePage CandidateCodePage(int index);
// Its name for messages: "CP866", "ISO-8859-5", "KOI8-R", "Mac Cyrillic", "Windows-1251".
const char* CandidateName(int index);

// The bytes that encode О, о, Е and е in candidate `index`.
struct TProbeBytes {
    uint8_t capitalO, smallO, capitalE, smallE;
};
TProbeBytes ProbeBytes(int index);

// The scores of the five candidates over the bytes before the first NUL.
struct TScores {
    uint32_t score[kCandidateCount] = {};
};
TScores ScoreCandidates(std::string_view bytes);

// The winning candidate (0 to 4) for the bytes before the first NUL.
int DetectCodePage(std::string_view bytes);

// True when `bytes` (up to the first NUL) are well-formed UTF-8 and hold at
// least one multi-byte sequence.
bool LooksLikeUtf8(std::string_view bytes);

// What DetectAndConvert found.
enum class TTextOrigin { Utf8, SingleByte };
struct TDetection {
    TTextOrigin origin = TTextOrigin::SingleByte;
    int candidate = cpCp1251;   // the chosen single-byte page (when origin is SingleByte)
    size_t missing = 0;         // UTF-8 characters Windows-1251 lacks, written as "?"
    std::string Describe() const; // "UTF-8", "KOI8-R", ...
};

// The bytes of a text file in Windows-1251. Never fails.
std::string DetectAndConvert(std::string_view bytes);
std::string DetectAndConvert(std::string_view bytes, TDetection& found);

// A text file's bytes as the editor stores them after loading: detected and
// converted when `detect` is set (the check box of the editor's load), then cut
// at the first NUL, with CR LF after every line (NormalizeLineEnds).
std::string LoadedText(std::string_view fileBytes, bool detect, TDetection* found = nullptr);

} // namespace volm
