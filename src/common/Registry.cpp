#include "common/Registry.h"

#include "common/Codepage.h"
#include "common/Fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace volm {

namespace fs = std::filesystem;

const char* rootName(RegRoot root)
{
    return root == RegRoot::ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

fs::path registryFile()
{
    fs::path base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x && fs::path(x).is_absolute())
        base = x;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".config";
    else
        base = fs::temp_directory_path();
    return base / "volm" / "registry.ini";
}

namespace {

// A registry file beyond this is not ours to read.
constexpr uint64_t kMaxRegistrySize = 16u << 20;

// "a\\b\" -> "a\b": no empty parts, no leading or trailing backslashes.
std::string normaliseKey(std::string_view key)
{
    std::string out;
    size_t i = 0;
    while (i < key.size()) {
        size_t j = key.find('\\', i);
        if (j == std::string_view::npos)
            j = key.size();
        if (j > i) {
            if (!out.empty())
                out += '\\';
            out.append(key.substr(i, j - i));
        }
        i = j + 1;
    }
    return out;
}

} // namespace

namespace registryformat {

std::string escape(std::string_view bytes)
{
    // Text that is not UTF-8 keeps its bytes above 0x7F as escapes.
    TEscapeRules rules;
    rules.quotes = true;
    rules.highBytes = !isValidUtf8(bytes);
    return EscapeControls(bytes, rules);
}

std::string unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        char e = text[++i];
        switch (e) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'x':
            if (i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
                out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
                i += 2;
            } else {
                out += 'x';
            }
            break;
        default: out += e; break;
        }
    }
    return out;
}

} // namespace registryformat

namespace {

// The end of a quoted string that starts at text[pos] == '"': the index of
// the closing quote, or npos.
size_t closingQuote(std::string_view text, size_t pos)
{
    for (size_t i = pos + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i;
    }
    return std::string_view::npos;
}

// One value line: "name"="value" or @="value". False for anything else.
bool parseValueLine(std::string_view line, std::string& name, std::string& value)
{
    size_t pos = 0;
    if (line.starts_with('@')) {
        name.clear();
        pos = 1;
    } else if (line.starts_with('"')) {
        size_t end = closingQuote(line, 0);
        if (end == std::string_view::npos)
            return false;
        name = registryformat::unescape(line.substr(1, end - 1));
        pos = end + 1;
    } else {
        return false;
    }
    if (pos + 1 >= line.size() || line[pos] != '=' || line[pos + 1] != '"')
        return false;
    size_t end = closingQuote(line, pos + 1);
    if (end == std::string_view::npos)
        return false;
    value = registryformat::unescape(line.substr(pos + 2, end - pos - 2));
    return true;
}

} // namespace

TRegistry::TRegistry(RegRoot root, fs::path file)
    : root_(root), file_(file.empty() ? registryFile() : std::move(file))
{
}

std::string TRegistry::fullPath(const std::string& key) const
{
    std::string rel = normaliseKey(key);
    std::string path = rootName(root_);
    if (!rel.empty())
        path += '\\' + rel;
    return path;
}

TRegistry::Key* TRegistry::find(Store& store, std::string_view path)
{
    for (auto& k : store)
        if (sameText(k.path, path))
            return &k;
    return nullptr;
}

const TRegistry::Key* TRegistry::find(const Store& store, std::string_view path)
{
    for (const auto& k : store)
        if (sameText(k.path, path))
            return &k;
    return nullptr;
}

TRegistry::Store TRegistry::load() const
{
    Store store;
    std::string bytes;
    try {
        bytes = ReadWholeFile(file_.string(), kMaxRegistrySize);
    } catch (const EFileError& e) {
        if (e.code() == ENOENT)
            return store; // no file yet: an empty registry
        throw;
    }
    std::istringstream in(bytes);
    std::string line;
    Key* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']') {
                current = nullptr;
                continue;
            }
            std::string path = normaliseKey(line.substr(1, line.size() - 2));
            current = find(store, path);
            if (!current) {
                store.push_back({path, {}});
                current = &store.back();
            }
            continue;
        }
        std::string name, value;
        if (current && parseValueLine(line, name, value)) {
            bool replaced = false;
            for (auto& v : current->values)
                if (sameText(v.first, name)) {
                    v.second = value;
                    replaced = true;
                }
            if (!replaced)
                current->values.emplace_back(std::move(name), std::move(value));
        }
    }
    return store;
}

void TRegistry::save(const Store& store) const
{
    std::ostringstream text;
    text << "; Volm registry: file-type registration and remembered settings\n";
    for (const auto& k : store) {
        text << '\n' << '[' << k.path << "]\n";
        for (const auto& [name, value] : k.values) {
            if (name.empty())
                text << '@';
            else
                text << '"' << registryformat::escape(name) << '"';
            text << "=\"" << registryformat::escape(value) << "\"\n";
        }
    }
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    if (ec)
        throw Error(file_.parent_path().string() + ": " + ec.message());
    TSafeWriteOptions options;
    options.newMode = 0600; // the settings are the user's own
    WriteFileSafely(file_.string(), text.str(), options);
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate)
{
    CloseKey();
    const std::string path = fullPath(key);
    try {
        Store store = load();
        if (const Key* k = find(store, path)) {
            current_ = k->path;
            snapshot_ = *k;
            return true;
        }
        if (!canCreate)
            return false;
        // Create the key and every missing parent.
        const std::string rel = normaliseKey(key);
        std::string prefix = rootName(root_);
        size_t pos = 0;
        do {
            size_t j = rel.find('\\', pos);
            if (j == std::string::npos)
                j = rel.size();
            if (j > pos)
                prefix += '\\' + rel.substr(pos, j - pos);
            if (!find(store, prefix))
                store.push_back({prefix, {}});
            pos = j + 1;
        } while (pos < rel.size());
        save(store);
        const Key* k = find(store, path);
        current_ = k->path;
        snapshot_ = *k;
        return true;
    } catch (const Error&) {
        if (!canCreate)
            return false;
        throw ERegistryException("Failed to create key " + key);
    }
}

bool TRegistry::OpenKeyReadOnly(const std::string& key)
{
    CloseKey();
    try {
        Store store = load();
        if (const Key* k = find(store, fullPath(key))) {
            current_ = k->path;
            snapshot_ = *k;
            return true;
        }
    } catch (const Error&) {
    }
    return false;
}

void TRegistry::CloseKey()
{
    current_.clear();
    snapshot_ = {};
}

bool TRegistry::KeyExists(const std::string& key)
{
    try {
        return find(load(), fullPath(key)) != nullptr;
    } catch (const Error&) {
        return false;
    }
}

bool TRegistry::ValueExists(const std::string& name) const
{
    return ReadValue(name).has_value();
}

std::optional<std::string> TRegistry::ReadValue(const std::string& name) const
{
    if (current_.empty())
        return std::nullopt;
    for (const auto& [n, v] : snapshot_.values)
        if (sameText(n, name))
            return v;
    return std::nullopt;
}

std::string TRegistry::ReadString(const std::string& name) const
{
    return ReadValue(name).value_or(std::string());
}

void TRegistry::WriteString(const std::string& name, const std::string& value)
{
    const std::string failure = "Failed to set data for '" + name + "'";
    if (current_.empty())
        throw ERegistryException(failure);
    try {
        Store store = load();
        Key* k = find(store, current_);
        if (!k) { // removed by someone else meanwhile: bring it back
            store.push_back({current_, {}});
            k = &store.back();
        }
        bool replaced = false;
        for (auto& v : k->values)
            if (sameText(v.first, name)) {
                v.second = value;
                replaced = true;
                break;
            }
        if (!replaced)
            k->values.emplace_back(name, value);
        save(store);
        snapshot_ = *k;
    } catch (const Error&) {
        throw ERegistryException(failure);
    }
}

bool TRegistry::DeleteValue(const std::string& name)
{
    if (current_.empty())
        return false;
    Store store = load();
    Key* k = find(store, current_);
    if (!k)
        return false;
    auto it = std::find_if(k->values.begin(), k->values.end(),
                           [&](const auto& v) { return sameText(v.first, name); });
    if (it == k->values.end())
        return false;
    k->values.erase(it);
    save(store);
    snapshot_ = *k;
    return true;
}

bool TRegistry::DeleteKey(const std::string& key)
{
    const std::string path = fullPath(key);
    if (normaliseKey(key).empty())
        return false; // never the root itself
    Store store = load();
    const size_t before = store.size();
    std::erase_if(store, [&](const Key& k) {
        return sameText(k.path, path) ||
               (k.path.size() > path.size() && k.path[path.size()] == '\\' &&
                sameText(std::string_view(k.path).substr(0, path.size()), path));
    });
    if (store.size() == before)
        return false;
    save(store);
    if (!current_.empty() && !find(store, current_))
        CloseKey();
    return true;
}

} // namespace volm
