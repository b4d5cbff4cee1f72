#include "app/Recent.h"

#include "common/Registry.h"

#include <algorithm>

namespace volm::ui {
namespace {
const char* const kRecentKey = "\\Volm_Orvane\\Recent";
}

TRecentProjects::TRecentProjects(std::filesystem::path registry) : registry_(std::move(registry)) {}

std::vector<std::string> TRecentProjects::List() const
{
    std::vector<std::string> out;
    TRegistry reg(RegRoot::CurrentUser, registry_);
    if (!reg.OpenKeyReadOnly(kRecentKey))
        return out;
    for (size_t i = 1; i <= kMax; ++i) {
        std::optional<std::string> v = reg.ReadValue(std::to_string(i));
        if (v && !v->empty() && std::find(out.begin(), out.end(), *v) == out.end())
            out.push_back(*v);
    }
    return out;
}

void TRecentProjects::Add(const std::string& path)
{
    std::vector<std::string> paths = List();
    paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
    paths.insert(paths.begin(), path);
    if (paths.size() > kMax)
        paths.resize(kMax);
    store(paths);
}

void TRecentProjects::Remove(const std::string& path)
{
    std::vector<std::string> paths = List();
    const size_t before = paths.size();
    paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
    if (paths.size() != before)
        store(paths);
}

void TRecentProjects::store(const std::vector<std::string>& paths)
{
    TRegistry reg(RegRoot::CurrentUser, registry_);
    reg.OpenKey(kRecentKey, true);
    for (size_t i = 1; i <= kMax; ++i) {
        if (i <= paths.size())
            reg.WriteString(std::to_string(i), paths[i - 1]);
        else
            reg.DeleteValue(std::to_string(i));
    }
}

} // namespace volm::ui
