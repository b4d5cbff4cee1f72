// Text files as the editor loads them: code-page detection and conversion
// (UTF-16, UTF-8 damaged or not, five single-byte pages weighed by the probes
// and the bigram model), then the editor's and the topic list's line rules,
// and a topic list read as text, on arbitrary bytes.
#include "text/Detect.h"
#include "text/Textlines.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    volm::TDetection found;
    std::string text = volm::DetectAndConvert(in, found);

    // A single-byte text keeps its length unless characters Windows-1251
    // lacks were replaced (their nearest text may be longer than one byte);
    // unless the text is UTF-16, everything after the first NUL comes back
    // unchanged.
    const void* nul = std::memchr(in.data(), 0, in.size());
    size_t head = nul ? static_cast<size_t>(static_cast<const char*>(nul) - in.data()) : in.size();
    bool utf16 = found.origin == volm::TTextOrigin::Utf16LE || found.origin == volm::TTextOrigin::Utf16BE;
    if (found.origin == volm::TTextOrigin::SingleByte && !found.Any() && text.size() != in.size())
        std::abort();
    if (!utf16 && (text.size() < in.size() - head ||
                   text.compare(text.size() - (in.size() - head), std::string::npos, in.substr(head)) != 0))
        std::abort();
    // Every character stored as "?" and every invalid byte is one "?" of the
    // output (a nearest text may be longer, or empty for a mark that has no
    // text of its own); the note is there exactly when something was replaced.
    if (found.question + found.invalid > static_cast<size_t>(std::count(text.begin(), text.end(), '?')) ||
        found.Replacements().empty() != !found.Any())
        std::abort();
    if (found.origin == volm::TTextOrigin::SingleByte && found.candidate == volm::cpCp1251 && text != in)
        std::abort();

    std::string stored = volm::NormalizeLineEnds(text);
    if (volm::NormalizeLineEnds(stored) != stored)
        std::abort();
    if (volm::JoinLines(volm::SplitParagraphs(text.substr(0, text.find('\0')))) != stored)
        std::abort();
    if (volm::LoadedText(in, true) != stored)
        std::abort();
    auto lines = volm::SplitLines(in);
    for (const std::string& l : lines)
        if (l.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            std::abort();

    // A topic list read as text: the names are the converted text's lines,
    // and a refused line is one of them that lost characters.
    volm::TDecodedList list = volm::DecodeTopicList(in);
    if (list.names != volm::SplitLines(text))
        std::abort();
    size_t last = 0;
    for (const volm::TRefusedName& r : list.refused) {
        if (r.line <= last || r.line > list.names.size() || r.characters.empty())
            std::abort();
        last = r.line;
    }
    if (!list.refused.empty() && found.missing + found.invalid == 0)
        std::abort();
    return 0;
}
