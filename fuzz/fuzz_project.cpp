// The project file's own parsers over outside bytes: the font-settings
// records of stream "0", the word of the layout stream, and a topic stream's
// header, text and reserved block.
#include "common/Errors.h"
#include "storage/Doc.h"
#include "storage/Fontrecord.h"
#include "storage/Readerlayout.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        volm::TMemoryStream s(bytes);
        volm::TFontSettings fs;
        volm::ReadFontSettings(s, fs);
    } catch (const volm::Error&) {
    }
    volm::TReaderLayout layout;
    if (volm::ParseLayoutName(bytes, layout) && bytes != volm::LayoutName(layout))
        __builtin_trap();
    try {
        volm::TJSDataItem item(std::make_unique<volm::TMemoryStream>(bytes));
        item.GetName();
        std::string text = item.GetText();
        item.SetText(text + "x");
        if (item.GetText() != text + "x")
            __builtin_trap();
    } catch (const volm::Error&) {
    }
    return 0;
}
