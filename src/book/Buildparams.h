#pragma once
// The stored build parameters: the three texts of the build parameters dialog
// (vendor, information URL, description) and the dialog's last placement,
// kept in the registry under HKEY_CURRENT_USER\Volm_Orvane\Build as ten
// string values, written in this order:
//
//   FormVersion, Flags, ShowCmd, PixelsPerInch, MinMaxPos, NormPos, Visible,
//   Edit1_Text (vendor), Edit2_Text (URL), Edit3_Text (description)
//
// The texts are Windows-1251 byte strings, stored trimmed (no bytes up to
// 0x20 at either end). The dialog restores from here at every showing and
// saves at every closing; volm-cli only reads.

#include "common/Registry.h"

#include <array>
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

// Names of the stored texts, for the dialog's Edit1, Edit2 and Edit3.
inline constexpr std::array<const char*, 3> kBuildTextValues = {"Edit1_Text", "Edit2_Text",
                                                                 "Edit3_Text"};

// Without the bytes up to 0x20 (blanks and control characters) at both ends.
std::string trimBuildText(std::string_view s);

struct TBuildTexts {
    std::string vendor = kDefaultVendor;
    std::string url = kDefaultUrl;
    std::string description = kDefaultDescription;
};

// The texts the next build starts from: the stored values, trimmed, each
// falling back to its initial text when it is not stored. Reads only; a
// missing or unreadable registry gives the initial texts.
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

    // Writes the ten values in their order, texts trimmed. Throws
    // ERegistryException.
    void save(const TWindowPlacement& placement, int pixelsPerInch, bool visible,
              const std::array<std::string, 3>& texts);

private:
    std::filesystem::path registry_;
};

// "%d,%d,%d,%d" pieces: the n-th comma-separated number (0-based; empty
// pieces are skipped), or nothing when missing or not a number.
std::optional<int> placementNumber(std::string_view text, int n);

} // namespace volm
