#pragma once
// Code-page detection for loaded topic texts.
//
// A text file is read as raw bytes and turned into Windows-1251, the code page
// in which the editor and the project keep every text:
//  - UTF-16 (either byte order) is decoded whole: with a byte-order mark, or
//    without one when nearly every unit is a character of an ordinary text
//    and at least half of them are ASCII or Cyrillic (high bytes 0 or 4), as
//    Windows Notepad saves "Unicode";
//  - UTF-8 is decoded when it starts with a byte-order mark, or when it holds
//    well-formed sequences of two to four bytes and no stray byte, or, when
//    damaged (a bad download), at most one stray byte for every two good
//    sequences, nine in ten of these the characters of an ordinary text. A
//    sequence cut off by the end of the file does not count against it. Every
//    stray byte becomes "?";
//  - anything else is one of five Cyrillic single-byte code pages. The first
//    signal is the count of the bytes of the probe letters О, о, Е and е in
//    each of them: the highest score wins, ISO-8859-5 on a tie it is part of,
//    else the tied page that comes first, and Windows-1251 wins every tie it
//    is part of (a text already in the editor's code page stays as it is).
//    A long text (300 bytes above 0x7F or more) whose winner scores at least
//    twice every other page keeps that verdict, but for one pair: Mac Cyrillic
//    and Windows-1251 share the small letters, so between those two the bytes
//    they differ on decide (capitals 0x80-0x9F and я 0xDF against capitals
//    0xC0-0xDF and я 0xFF, and their punctuation), as the bigram model below
//    weighs them in context; Windows-1251 on a true tie.
//    Every other text is decided by the second signal, a letter-bigram model
//    of Russian over the 66 letters of both cases (Bigramtable.inc, learnt
//    from running text by scripts/gen-bigrams.py), with the probes weighed
//    in: the page whose reading is the likeliest Russian wins, the probes'
//    verdict on a tie.
// The text is written by the writer of texts (Ansiwriter.h): a character
// Windows-1251 lacks becomes its nearest text ("é" as "e", box drawing as
// "+", "-" or "|"), else "?", counted; a byte that is no character (or that
// the chosen page leaves undefined) becomes "?", counted apart. When the page
// is Windows-1251 the bytes do not change.
// The single-byte and UTF-8 readings look only at the bytes before the first
// NUL byte and hand back the NUL and everything after it unchanged (the
// editor's load cuts the text at the NUL, see Textlines.h); UTF-16, which is
// full of NUL bytes, is decoded to its end.

#include "common/Ansiwriter.h"
#include "common/Codepage.h"

#include <string>
#include <string_view>
#include <vector>

namespace volm {

// The candidate pages in their fixed order, numbered from 0; the index is
// what DetectCodePage returns. kCandidateCount follows the last.
enum TCandidate : int { cpCp866, cpIso8859_5, cpKoi8R, cpMacCyrillic, cpCp1251, kCandidateCount };

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

// The probes' winner (0 to 4) for the bytes before the first NUL.
int DetectCodePage(std::string_view bytes);

// True when `bytes` (up to the first NUL) are UTF-8 as described above.
bool LooksLikeUtf8(std::string_view bytes);

// What DetectAndConvert found, and what the text had no Windows-1251 place
// for (its TAnsiCount: characters Windows-1251 lacks, written as their
// nearest text or "?"; bytes or UTF-16 units that are no character, "?").
enum class TTextOrigin { Utf8, Utf16LE, Utf16BE, SingleByte };
struct TDetection : TAnsiCount {
    TTextOrigin origin = TTextOrigin::SingleByte;
    int candidate = cpCp1251;   // the chosen single-byte page (when origin is SingleByte)
    std::string Describe() const; // "UTF-8", "UTF-16LE", "KOI8-R", ...
    // One line about the replaced characters (ReplacementNote), or "" when
    // there were none: "2 characters Windows-1251 lacks stored as the nearest text".
    std::string Replacements() const;
    TAnsiCount& Replaced() { return *this; }
};

// The page that reads `bytes` (before the first NUL) as the most likely
// Russian: the model's cost of each candidate's reading, in eighths of a bit
// (lower is likelier). A byte that is no letter and no common punctuation in
// a page costs that reading as much as an improbable pair of letters.
struct TBigramCosts {
    uint64_t cost[kCandidateCount] = {};
};
TBigramCosts BigramCosts(std::string_view bytes);

// The single-byte page DetectAndConvert chooses: the probes first, then the
// bigram model as described above.
int ChooseCodePage(std::string_view bytes);

// True when `bytes` read as UTF-16 (see above); `bigEndian` tells the order.
bool LooksLikeUtf16(std::string_view bytes, bool& bigEndian);

// The bytes of a text file in Windows-1251. Never fails.
std::string DetectAndConvert(std::string_view bytes);
std::string DetectAndConvert(std::string_view bytes, TDetection& found);

// A text file's bytes as the editor stores them after loading: detected and
// converted when `detect` is set (the check box of the editor's load), then cut
// at the first NUL, with CR LF after every line (NormalizeLineEnds).
std::string LoadedText(std::string_view fileBytes, bool detect, TDetection* found = nullptr);

// A text file loaded as the editor loads it (LoadedText), and what the user
// is told about it.
struct TLoadedText {
    std::string text;   // as the editor stores it
    TDetection found;   // what detection found (nothing when it was off)
    size_t cutAt = std::string_view::npos; // as LoadedTextCut
    // One line, "" when there is nothing to say: the replaced characters
    // and the cut at a NUL byte, "; " between them.
    std::string Note() const;
};
TLoadedText LoadTextFile(std::string_view fileBytes, bool detect);

// Where LoadedText cut the text of `fileBytes` short: the file offset of the
// first NUL byte (of the first unit U+0000 of a text read as UTF-16), or
// std::string_view::npos when nothing was cut. `found` is what detection
// found, null when the bytes were taken as they are. NulCutNote (Textlines.h)
// says it to the user.
size_t LoadedTextCut(std::string_view fileBytes, const TDetection* found);
// A topic-list file read as text: its text detected as DetectAndConvert
// does (UTF-16, UTF-8 with or without a byte-order mark, or one of the five
// Cyrillic pages) and split by the list's line rule (SplitLines). Names are
// refused, not mangled: a line holding a character Windows-1251 lacks (or a
// byte that is no character) is listed in `refused` with those characters
// (LackingCharacters), and `names` holds its nearest-text form at its place.
struct TRefusedName {
    size_t line = 0;                      // 1-based
    std::string text;                     // the line in UTF-8
    std::vector<std::string> characters;  // what Windows-1251 lacks, each once, in UTF-8
};
struct TDecodedList {
    std::vector<std::string> names; // Windows-1251, one per line
    std::vector<TRefusedName> refused;
    TDetection found;
};
TDecodedList DecodeTopicList(std::string_view fileBytes);

} // namespace volm
