#pragma once
// The stored build parameters: the three texts of the build parameters dialog
// (vendor, information URL, description) and the dialog's last placement,
// kept in the registry under HKEY_CURRENT_USER\Volm_Orvane\Build as ten
// string values, written in this order:
//
//   FormVersion, Flags, ShowCmd, PixelsPerInch, MinMaxPos, NormPos, Visible,
//   Edit1_Text (vendor), Edit2_Text (URL), Edit3_Text (description)
//
// and an eleventh, JarBudget: the jar budget of the dialog's "Phone" choice
// in bytes ("0" for no limit), which volm-cli build uses too; and a twelfth,
// Phone: the id of the phone family chosen (see Phones.h), "" for a size of
// the user's own or none; its jar limit is the budget then.
//
// The texts are Windows-1251 byte strings, stored trimmed (no bytes up to
// 0x20 at either end). The dialog restores from here at every showing and
// saves at every closing; volm-cli only reads.

#include "common/Registry.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace volm {

inline constexpr const char* kBuildKey = "Volm_Orvane";     // below HKEY_CURRENT_USER
inline constexpr const char* kBuildSection = "Build";       // subkey of kBuildKey
inline constexpr const char* kDefaultVendor = "Volm creator - orvane";
inline constexpr const char* kDefaultUrl = "http://volm.example.org/";
inline constexpr const char* kDefaultDescription = "Sample ebook for mobiles";

inline constexpr const char* kJarBudgetValue = "JarBudget";
inline constexpr const char* kPhoneValue = "Phone";

// Names of the stored texts, for the dialog's Edit1, Edit2 and Edit3.
inline constexpr std::array<const char*, 3> kBuildTextValues = {"Edit1_Text", "Edit2_Text",
                                                                 "Edit3_Text"};

// Without the bytes up to 0x20 (blanks and control characters) at both ends.
std::string trimBuildText(std::string_view s);

struct TBuildTexts {
    std::string vendor = kDefaultVendor;
    std::string url = kDefaultUrl;
    std::string description = kDefaultDescription;
    uint64_t maxJar = 0;   // the jar budget in bytes, 0 for none
    std::string phone;     // the phone family's id, "" for none
};

// A jar budget as typed: a number of bytes, with K (KB, KiB: 1024 bytes) or
// M (MB, MiB: 1024 K) after it if wanted, letter case aside ("65536", "64K",
// "1M"); "0" or "none" for no limit. Nothing when it is none of these.
std::optional<uint64_t> ParseJarBudget(std::string_view text);
// A budget as the dialog shows it: "No limit", "64 KB", "1 MB", "65000 bytes".
std::string JarBudgetText(uint64_t bytes);

// The texts the next build starts from: the stored values, trimmed, each
// falling back to its initial text when it is not stored (and the stored
// budget, none when it is missing or unreadable). Reads only; a missing or
// unreadable registry gives the initial texts.
TBuildTexts storedBuildTexts(const std::filesystem::path& registry = {});

// A window's placement as the dialog stores it, in screen pixels.
struct TWindowPlacement {
    int flags = 0;
    int showCmd = 1; // 1 normal, 2 minimised, 3 maximised
    int minX = -1, minY = -1, maxX = -1, maxY = -1;
    int left = 0, top = 0, right = 0, bottom = 0; // the normal window rectangle
};

enum class TShowState { Normal, Minimized, Maximized };

struct TRestoredPlacement {
    bool apply = false;             // a stored position applies to this screen
    TWindowPlacement placement;     // the placement to set (when apply)
    TShowState state = TShowState::Normal;
};

// Reads and writes the "Build" section for the dialog.
class TBuildParamsStore {
public:
    explicit TBuildParamsStore(std::filesystem::path registry = {});

    // Opens (creating) the key, reads the stored placement and show state.
    // `current` is the dialog's placement as it stands, `pixelsPerInch` the
    // screen's logical resolution now; the stored position applies only when
    // it was stored at the same resolution. Throws ERegistryException.
    TRestoredPlacement restorePlacement(const TWindowPlacement& current, int pixelsPerInch);

    // Replaces each text by its stored value (trimmed), keeping the current
    // one (trimmed) where nothing is stored. Never throws: on a failure the
    // texts keep what they had.
    void restoreTexts(std::array<std::string, 3>& texts);

    // The stored jar budget (0 when none is stored or it is unreadable).
    // Never throws.
    uint64_t restoreBudget();
    // The stored phone family's id ("" when none). Never throws.
    std::string restorePhone();

    // Writes the ten values in their order, texts trimmed, then the budget.
    // Throws ERegistryException.
    void save(const TWindowPlacement& placement, int pixelsPerInch, bool visible,
              const std::array<std::string, 3>& texts, uint64_t maxJar = 0, const std::string& phone = {});

private:
    std::filesystem::path registry_;
};

// "%d,%d,%d,%d" pieces: the n-th comma-separated number (0-based; empty
// pieces are skipped), or nothing when missing or not a number.
std::optional<int> placementNumber(std::string_view text, int n);

} // namespace volm
