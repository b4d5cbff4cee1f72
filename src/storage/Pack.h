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
//
// A copy (CopyProject) is a new project file made from what an open project
// could read, also one opened read only or a damaged one: its topics in list
// order under their storage numbers, each with its name and text, and the
// program's own streams as the project read them (font settings, layout,
// paragraph style, font sizes, hyphens, title, build counter). It is written
// the same safe way, beside the target, checked and put in place at the end.
//
// | Name | Role |
// |---|---|
// | `PackProject` | rewrites a project file without its free space |
// | `CopyProject` | writes what an open project could read into a new project file |
// | `TProjectCopy` | what a copy carried and what it had to leave out |

#include <functional>
#include <string>
#include <vector>

namespace volm {

// The project must not be open (the file is opened with exclusive sharing).
void PackProject(const std::string& path);

class TProject;

struct TProjectCopy {
    size_t topics = 0;                // topics written
    std::vector<std::string> streams; // the other streams written ("0", "Layout", ...)
    // Elements of the project that could not be read (when it was opened or
    // now), by their stream names; the copy is without them.
    std::vector<std::string> skipped;
};

// Writes the readable content of the open `project` into a new project file
// at `target`. An existing target is refused unless `replace` (and then
// also while another program holds it open), and so is the project's own
// file. On any failure nothing is left at `target` but what was there, and
// the failure is raised (volm::Error naming the target).
TProjectCopy CopyProject(const TProject& project, const std::string& target, bool replace);

// For tests: called at each stage of packing ("temp", "copied", "flushed",
// "rename"; a copy: "copied", "rename"); throwing from it simulates a failure at that point.
extern std::function<void(const char* stage)> PackFaultHook;

} // namespace volm
