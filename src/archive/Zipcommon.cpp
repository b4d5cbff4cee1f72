#include "archive/Zipcommon.h"

#include <cstring>

namespace volm {

std::string zipErrorMessage(int code)
{
    switch (code) {
#define VOLM_ARCHIVE_ERROR_TEXT(name, number, text) \
    case name: return text;
        VOLM_ARCHIVE_ERRORS(VOLM_ARCHIVE_ERROR_TEXT)
#undef VOLM_ARCHIVE_ERROR_TEXT
    }
    return {};
}

void TZipCommon::reportError(const std::string& fileName, int code, const std::string& extendedMsg)
{
    if (failureCount_++ == 0) {
        std::string msg = zipErrorMessage(code);
        if (msg.empty())
            msg = "Archive error " + std::to_string(code);
        firstCode_ = code;
        firstFailure_ = fileName.empty() ? msg : fileName + ": " + msg;
        if (!extendedMsg.empty())
            firstFailure_ += " (" + extendedMsg + ")";
    }
    if (OnError)
        OnError(*this, fileName, extendedMsg, "0", code);
}

void TZipCommon::resetFailures()
{
    failureCount_ = 0;
    firstCode_ = 0;
    firstFailure_.clear();
}

void TZipCommon::RaiseFailures(const std::string& context) const
{
    if (failureCount_ == 0)
        return;
    std::string text = context.empty() ? firstFailure_ : context + ": " + firstFailure_;
    if (failureCount_ > 1)
        text += " (and " + std::to_string(failureCount_ - 1) + " more failure" + (failureCount_ > 2 ? "s" : "") + ")";
    throw EArchiveError(firstCode_, text);
}

void TZipCommon::progress(TProgressStage stage, const std::string& name)
{
    if (OnProgress)
        OnProgress(stage, name);
}


bool wildcardMatch(std::string_view mask, std::string_view name)
{
    // Iterative matcher with back-tracking to the last "*": linear in
    // practice, never exponential.
    size_t m = 0, n = 0, starM = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (m < mask.size() && (mask[m] == '?' || asciiLower(mask[m]) == asciiLower(name[n]))) {
            ++m;
            ++n;
        } else if (starM != std::string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

std::string slashPath(std::string_view path)
{
    std::string s(path);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

std::string folderPart(std::string_view path)
{
    size_t p = path.find_last_of('/');
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string namePart(std::string_view path)
{
    size_t p = path.find_last_of('/');
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

uint32_t toDosDateTime(time_t t)
{
    struct tm lt {};
    if (!localtime_r(&t, &lt) || lt.tm_year < 80)
        return (0u << 25) | (1u << 21) | (1u << 16);
    if (lt.tm_year > 207)   // the DOS year field ends in 2107
        lt = tm{59, 59, 23, 31, 11, 207, 0, 0, 0, 0, nullptr};
    uint32_t date = (static_cast<uint32_t>(lt.tm_year - 80) << 9) |
                    (static_cast<uint32_t>(lt.tm_mon + 1) << 5) | static_cast<uint32_t>(lt.tm_mday);
    uint32_t time = (static_cast<uint32_t>(lt.tm_hour) << 11) |
                    (static_cast<uint32_t>(lt.tm_min) << 5) | static_cast<uint32_t>(lt.tm_sec / 2);
    return (date << 16) | time;
}

time_t fromDosDateTime(uint32_t dos)
{
    struct tm lt {};
    uint32_t date = dos >> 16, time = dos & 0xFFFF;
    lt.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
    lt.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    lt.tm_mday = static_cast<int>(date & 0x1F);
    lt.tm_hour = static_cast<int>((time >> 11) & 0x1F);
    lt.tm_min = static_cast<int>((time >> 5) & 0x3F);
    lt.tm_sec = static_cast<int>((time & 0x1F) * 2);
    lt.tm_isdst = -1;
    return mktime(&lt);
}

namespace zip {

void TCentralHeader::parse(const uint8_t* p)
{
    versionMadeBy = get16(p + 4);
    versionNeeded = get16(p + 6);
    flags = get16(p + 8);
    method = get16(p + 10);
    dosDateTime = (static_cast<uint32_t>(get16(p + 14)) << 16) | get16(p + 12);
    crc = get32(p + 16);
    compressedSize = get32(p + 20);
    uncompressedSize = get32(p + 24);
    nameLength = get16(p + 28);
    extraLength = get16(p + 30);
    commentLength = get16(p + 32);
    diskStart = get16(p + 34);
    internalAttr = get16(p + 36);
    externalAttr = get32(p + 38);
    localOffset = get32(p + 42);
}

namespace {

// The fields both headers hold, in the same order: "version needed" to
// "extra field length", 26 bytes.
void writeShared(const TCentralHeader& h, uint8_t* p)
{
    put16(p, h.versionNeeded);
    put16(p + 2, h.flags);
    put16(p + 4, h.method);
    put16(p + 6, h.dosDateTime & 0xFFFF);
    put16(p + 8, h.dosDateTime >> 16);
    put32(p + 10, h.crc);
    put32(p + 14, static_cast<uint32_t>(h.compressedSize));
    put32(p + 18, static_cast<uint32_t>(h.uncompressedSize));
    put16(p + 22, h.nameLength);
    put16(p + 24, h.extraLength);
}

} // namespace

void TCentralHeader::write(uint8_t* p) const
{
    put32(p, kCentralSig);
    put16(p + 4, versionMadeBy);
    writeShared(*this, p + 6);
    put16(p + 32, commentLength);
    put16(p + 34, diskStart);
    put16(p + 36, internalAttr);
    put32(p + 38, externalAttr);
    put32(p + 42, static_cast<uint32_t>(localOffset));
}

void TCentralHeader::writeLocal(uint8_t* p) const
{
    put32(p, kLocalSig);
    writeShared(*this, p + 4);
}

void writeEnd(uint8_t* p, uint16_t entries, uint32_t cdSize, uint32_t cdStart)
{
    std::memset(p, 0, kEndSize);
    put32(p, kEndSig);
    put16(p + 8, entries);
    put16(p + 10, entries);
    put32(p + 12, cdSize);
    put32(p + 16, cdStart);
}

} // namespace zip
} // namespace volm
