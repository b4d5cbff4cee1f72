#pragma once
// Packing: rewrites a project file into a fresh compound file that holds the
// same root streams (names and bytes unchanged) without the free space left
// by deleted topics and replaced texts.
//
// The packed copy is written through the safe-write path (TSafeFile: a
// temporary file beside the project file), checked, flushed to disk and then
// renamed over the project file in one step; a project reached through a link
// is replaced behind the link, and it keeps its permissions. On any failure
// the project file is left as it was, the temporary file is removed and the
// failure is raised (volm::Error naming the file). Sub-storages of the root
// are not carried over. Temporary files that earlier packs of the same file
// left behind when they were killed (".<name>.volm-XXXXXX" beside it) are
// removed once the project is locked; nothing else is.

#include <functional>
#include <string>

namespace volm {

// The project must not be open (the file is opened with exclusive sharing).
void PackProject(const std::string& path);

// For tests: called at each stage of packing ("temp", "copied", "flushed",
// "rename"); throwing from it simulates a failure at that point.
extern std::function<void(const char* stage)> PackFaultHook;

} // namespace volm
