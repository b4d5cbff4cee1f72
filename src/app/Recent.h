#pragma once
// The recent projects of the "&File" menu: the last eight project paths
// opened, the latest first, kept in the registry file under
// HKEY_CURRENT_USER\Volm_Orvane\Recent as the values "1" to "8" (path bytes as
// the file system has them). Every instance of the program reads the list
// afresh when it shows the menu.

#include <filesystem>
#include <string>
#include <vector>

namespace volm::ui {

class TRecentProjects {
public:
    static constexpr size_t kMax = 8;

    // `registry` defaults to the registry file of the user.
    explicit TRecentProjects(std::filesystem::path registry = {});

    // The paths, latest first; an unreadable registry gives none.
    std::vector<std::string> List() const;
    // Puts `path` first (once); the ninth is dropped. Raises volm::Error when
    // the registry file can't be written.
    void Add(const std::string& path);
    // Takes `path` off the list. Raises volm::Error like Add.
    void Remove(const std::string& path);

private:
    void store(const std::vector<std::string>& paths);
    std::filesystem::path registry_;
};

} // namespace volm::ui
