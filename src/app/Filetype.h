#pragma once
// Registration of the project file type, rewritten at every start so that it
// always names the program's current path:
//  - five default values under HKEY_CLASSES_ROOT of our registry
//    (".volm", "volm", "volm\DefaultIcon", "volm\Shell", "volm\Shell\Open\command");
//  - the desktop's own way: a MIME type for "*.volm" under
//    $XDG_DATA_HOME/mime/packages, a desktop entry for the program under
//    $XDG_DATA_HOME/applications, and a refreshed MIME database when
//    update-mime-database is installed. Where the installed package's own
//    desktop entry or MIME type is found in $XDG_DATA_DIRS, the user gets no
//    copy of it (and loses one written earlier).
// Files are written through the safe-write path (WriteFileSafely). Failures
// throw (ERegistryException for the registry, volm::Error otherwise).

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace volm {

// The full path of the running program's executable file.
std::string programPath();

// The five registry values for `ext` (without its dot) and `description`.
void RegisterFileType(const std::string& ext, const std::string& description,
                      const std::string& program, const std::filesystem::path& registry = {});

// $XDG_DATA_HOME, or ~/.local/share when it is unset or not absolute.
std::filesystem::path dataHome();

// The absolute folders of $XDG_DATA_DIRS, or /usr/local/share and /usr/share.
std::vector<std::filesystem::path> dataDirs();

// The MIME type and desktop entry under `dataHome`, each unless the installed
// package's is under one of `systemDirs` (then a copy written before is
// removed); refreshes the MIME cache when the type's file changed or the
// cache is missing. Returns true when update-mime-database ran.
// The desktop entry names the program's icon (Icon=, the program's id); the
// PNG files in `icons` (size in pixels, bytes) go into the user's hicolor
// icon theme with it.
bool InstallDesktopIntegration(const std::string& program,
                               const std::filesystem::path& dataHome,
                               const std::vector<std::filesystem::path>& systemDirs = dataDirs(),
                               const std::vector<std::pair<int, std::string>>& icons = {});

// The desktop entry's Exec value for `program` opening one file.
std::string desktopExec(const std::string& program);

inline constexpr const char* kProjectMimeType = "application/x-volm-project";

// The id of the installed desktop entry, MIME package and icon.
inline constexpr const char* kAppId = VOLM_APP_ID;

} // namespace volm
