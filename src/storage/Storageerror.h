#pragma once
// The storage error: a failing compound-file operation. It carries the
// structured-storage status code and a message that names the file and what
// is wrong with it.

#include "common/Errors.h"

#include <cstdint>
#include <string>

namespace volm {

// Status values, as the structured-storage service numbers them.
enum : uint32_t {
    STG_E_INVALIDFUNCTION = 0x80030001,
    STG_E_FILENOTFOUND = 0x80030002,
    STG_E_PATHNOTFOUND = 0x80030003,
    STG_E_TOOMANYOPENFILES = 0x80030004,
    STG_E_ACCESSDENIED = 0x80030005,
    STG_E_INSUFFICIENTMEMORY = 0x80030008,
    STG_E_NOMOREFILES = 0x80030012,
    STG_E_DISKISWRITEPROTECTED = 0x80030013,
    STG_E_SEEKERROR = 0x80030019,
    STG_E_WRITEFAULT = 0x8003001D,
    STG_E_READFAULT = 0x8003001E,
    STG_E_SHAREVIOLATION = 0x80030020,
    STG_E_LOCKVIOLATION = 0x80030021,
    STG_E_FILEALREADYEXISTS = 0x80030050,
    STG_E_INVALIDPARAMETER = 0x80030057,
    STG_E_MEDIUMFULL = 0x80030070,
    STG_E_INVALIDHEADER = 0x800300FB,
    STG_E_INVALIDNAME = 0x800300FC,
    STG_E_UNKNOWN = 0x800300FD,
    STG_E_UNIMPLEMENTEDFUNCTION = 0x800300FE,
    STG_E_INVALIDFLAG = 0x800300FF,
    STG_E_DOCFILETOOLARGE = 0x80030111, // the file would grow past what its format can address
    STG_E_DOCFILECORRUPT = 0x80030109,
};

class EStorageError : public Error {
public:
    EStorageError(uint32_t status, const std::string& message)
        : Error(message), status_(status) {}
    uint32_t status() const { return status_; }

private:
    uint32_t status_;
};

} // namespace volm
