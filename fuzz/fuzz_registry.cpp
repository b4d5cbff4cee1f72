// The registry file, as a user or another program may have left it: any bytes
// must load without a crash, every value must read back, and every byte
// string must come back unchanged through the file's escaping.
#include "common/Registry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (volm::registryformat::unescape(volm::registryformat::escape(bytes)) != bytes)
        std::abort();

    static const std::string file = "/tmp/volm-fuzz-registry-" + std::to_string(::getpid()) + ".ini";
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    for (volm::RegRoot root : {volm::RegRoot::CurrentUser, volm::RegRoot::ClassesRoot}) {
        volm::TRegistry reg(root, file);
        for (const char* key : {"Volm_Orvane\\Build", "volm", ".volm", "", "a\\b"}) {
            if (reg.OpenKeyReadOnly(key)) {
                for (const char* name : {"", "Edit1_Text", "NormPos", "x"})
                    (void)reg.ReadValue(name);
            }
        }
    }
    return 0;
}
