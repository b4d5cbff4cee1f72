#pragma once
// A small registry of our own: keys under two roots ("HKEY_CLASSES_ROOT" and
// "HKEY_CURRENT_USER") holding named string values. The program keeps its
// file-type registration and the build dialog's last texts and position here.
//
// Everything lives in one text file, $XDG_CONFIG_HOME/volm/registry.ini
// (~/.config/volm/registry.ini when XDG_CONFIG_HOME is unset or not absolute),
// laid out like a .reg export:
//
//   [HKEY_CURRENT_USER\Volm_Orvane\Build]
//   "FormVersion"="0"
//   @="the key's default (unnamed) value"
//
// Key and value names are matched without regard to ASCII letter case, values
// keep the order in which they were first written. Values are byte strings:
// printable text is written as it is, anything else as \xHH escapes, so every
// byte string comes back unchanged. Each change rewrites the file through the
// safe-write path (WriteFileSafely), so readers in other processes never see
// half a file and a failed write leaves the old one.

#include "common/Errors.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace volm {

enum class RegRoot { ClassesRoot, CurrentUser };

// "HKEY_CLASSES_ROOT" or "HKEY_CURRENT_USER".
const char* rootName(RegRoot root);

// A registry failure: "Failed to create key %s", "Failed to set data for '%s'".
class ERegistryException : public Error {
public:
    using Error::Error;
};

// The registry file: $XDG_CONFIG_HOME/volm/registry.ini, or
// $HOME/.config/volm/registry.ini.
std::filesystem::path registryFile();

class TRegistry {
public:
    // `file` defaults to registryFile(), looked up when the object is made.
    explicit TRegistry(RegRoot root = RegRoot::CurrentUser, std::filesystem::path file = {});

    const std::filesystem::path& FileName() const { return file_; }

    // Opens `key` (backslash-separated, relative to the root; a leading
    // backslash is allowed). A missing key is created together with its
    // parents when `canCreate`, otherwise the result is false. Throws
    // ERegistryException("Failed to create key <key>") when the key can't be
    // created (the registry file can't be read or written).
    bool OpenKey(const std::string& key, bool canCreate);
    // Opens an existing key for reading only; false when it is missing or the
    // registry file can't be read. Never writes.
    bool OpenKeyReadOnly(const std::string& key);
    void CloseKey();
    // The open key's full path, root included ("HKEY_CURRENT_USER\Volm_Orvane").
    const std::string& CurrentPath() const { return current_; }

    bool KeyExists(const std::string& key);
    bool ValueExists(const std::string& name) const;
    // The value of the open key, or nothing when it is missing.
    std::optional<std::string> ReadValue(const std::string& name) const;
    // The value, or "" when it is missing.
    std::string ReadString(const std::string& name) const;
    // Writes (creating or replacing) a string value of the open key; the empty
    // name is the key's default value. Throws ERegistryException("Failed to
    // set data for '<name>'") when there is no open key or the file can't be
    // written.
    void WriteString(const std::string& name, const std::string& value);
    // Removes a value; false when it did not exist (or no key is open).
    // Raises volm::Error when the registry file can't be read or written.
    bool DeleteValue(const std::string& name);
    // Removes a key with its subkeys and values; false when it did not exist.
    // Raises volm::Error when the registry file can't be read or written.
    bool DeleteKey(const std::string& key);

private:
    struct Key {
        std::string path; // full path, root included
        std::vector<std::pair<std::string, std::string>> values;
    };
    using Store = std::vector<Key>;

    std::string fullPath(const std::string& key) const;
    // Reads the file (a missing file is an empty registry); throws volm::Error
    // when it exists but can't be read.
    Store load() const;
    void save(const Store& store) const; // throws volm::Error
    static Key* find(Store& store, std::string_view path);
    static const Key* find(const Store& store, std::string_view path);

    RegRoot root_;
    std::filesystem::path file_;
    std::string current_;   // full path of the open key, "" when none
    Key snapshot_;          // the open key's values as last read or written
};

// Parsing and writing of the file format, exposed for tests.
namespace registryformat {
std::string escape(std::string_view bytes);
std::string unescape(std::string_view text);
} // namespace registryformat

} // namespace volm
