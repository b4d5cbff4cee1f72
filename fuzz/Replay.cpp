// A plain main for a fuzz target: runs LLVMFuzzerTestOneInput once on each
// file given (folders: each file in them, in name order), without libFuzzer,
// so that every build's tests replay the committed seeds and crashers.
// Exit status 0 when every input ran; an input that breaks the target's
// checks aborts (or trips the sanitizers of a sanitized build).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            for (const auto& e : fs::recursive_directory_iterator(argv[i]))
                if (e.is_regular_file())
                    inputs.push_back(e.path());
        } else if (fs::is_regular_file(argv[i], ec)) {
            inputs.push_back(argv[i]);
        } else {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
            return 2;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no input to replay\n");
        return 2;
    }
    for (const fs::path& p : inputs) {
        std::ifstream in(p, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "%s: cannot be read\n", p.c_str());
            return 2;
        }
        // A buffer of exactly the input's size, as libFuzzer gives, so that
        // a sanitized build sees a read past its end.
        std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size() ? bytes.size() : 1]);
        std::memcpy(data.get(), bytes.data(), bytes.size());
        std::printf("%s\n", p.c_str());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
