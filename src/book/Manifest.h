#pragma once
// The book's name and folder, and the manifest lines of the phone application:
// saved as the jar's META-INF/MANIFEST.MF, as manifest.mf beside the jar and,
// with two more lines, as the descriptor (jad).

#include "common/Fileio.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

// The project file's name without its folder and its final extension
// ("/books/Tales.volm" gives "Tales", "my.volm.book.volm" gives "my.volm.book";
// a name without extension stays as it is). Raises volm::Error when that
// leaves no name (".volm", or a path ending in "/").
std::string BookName(std::string_view projectPath);

// The folder of the project file, ending in "/" ("" for a bare file name).
std::string ProjectFolder(std::string_view projectPath);

// The book folder: project folder + book name + "/".
std::string BookFolder(std::string_view projectPath);

// The eight manifest lines. Book name, URL and vendor are inserted as they
// stand, except that in the "MIDlet-1: " line commas of the book name become
// blanks (a comma separates that line's values on the phone).
std::vector<std::string> ManifestLines(std::string_view bookName, std::string_view url,
                                       std::string_view vendor);

// The descriptor: the manifest lines followed by the jar's name and its size.
std::vector<std::string> DescriptorLines(const std::vector<std::string>& manifest,
                                         std::string_view bookName, uint64_t jarSize);

// The saved form of a list of lines: each followed by CR LF, the last too.
std::string LinesText(const std::vector<std::string>& lines);

// Saves the lines to `path` (created or replaced) through the safe-write path
// (WriteFileSafely). Raises volm::Error naming the file and the cause.
void SaveLines(const std::string& path, const std::vector<std::string>& lines,
               const TSafeWriteOptions& options = {});

} // namespace volm
