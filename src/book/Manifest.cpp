#include "book/Manifest.h"

#include "common/Errors.h"

#include <algorithm>

namespace volm {

std::string ProjectFolder(std::string_view projectPath)
{
    size_t slash = projectPath.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(projectPath.substr(0, slash + 1));
}

std::string BookName(std::string_view projectPath)
{
    std::string_view name = projectPath.substr(ProjectFolder(projectPath).size());
    size_t dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    if (name.empty())
        throw Error("The project file name " + std::string(projectPath) +
                    " leaves no name for the book (it needs a name before its extension)");
    return std::string(name);
}

std::string BookFolder(std::string_view projectPath)
{
    return ProjectFolder(projectPath) + BookName(projectPath) + "/";
}

std::vector<std::string> ManifestLines(std::string_view bookName, std::string_view url, std::string_view vendor)
{
    std::string listed(bookName);
    std::replace(listed.begin(), listed.end(), ',', ' ');
    return {
        "Manifest-Version: 1.0",
        "MIDlet-1: " + listed + ", /images/orvane.png, LumeriaMain",
        "MIDlet-Info-URL: " + std::string(url),
        "MIDlet-Name: " + std::string(bookName),
        "MIDlet-Vendor: " + std::string(vendor),
        "MIDlet-Version: 1.0",
        "MicroEdition-Configuration: CLDC-1.0",
        "MicroEdition-Profile: MIDP-1.0",
    };
}

std::vector<std::string> DescriptorLines(const std::vector<std::string>& manifest, std::string_view bookName,
                                         uint64_t jarSize)
{
    std::vector<std::string> lines = manifest;
    lines.push_back("MIDlet-Jar-URL: " + std::string(bookName) + ".jar");
    lines.push_back("MIDlet-Jar-Size: " + std::to_string(jarSize));
    return lines;
}

std::string LinesText(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

void SaveLines(const std::string& path, const std::vector<std::string>& lines, const TSafeWriteOptions& options)
{
    WriteFileSafely(path, LinesText(lines), options);
}

} // namespace volm
