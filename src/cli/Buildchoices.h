#pragma once
// What a command line chooses of a build, for volm-cli build and make alike:
// the jad's texts, the jar budget or phone family, and the choices a project
// stores (the layout, the paragraph style, the words layout's font sizes and
// soft hyphens). Parsing checks every value; a wrong one is a UsageError
// naming its option.

#include "cli/Cli.h"

#include "book/Phones.h"
#include "book/Pipeline.h"
#include "storage/Readerlayout.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace volm {
class TProject;
}

namespace volm::cli {

struct TBuildChoices {
    // Windows-1251, one line each: typed or the stored build parameters'.
    std::string vendor, url, description;
    uint64_t maxJar = 0;                  // 0: none
    const TPhoneProfile* phone = nullptr; // --phone, or the stored family
    // Stored in the project when given.
    std::optional<TReaderLayout> layout;
    std::optional<TParagraphStyle> paragraphs;
    std::optional<std::vector<int>> sizes;
    std::optional<bool> hyphens;

    bool StoresInProject() const { return layout || paragraphs || sizes || hyphens; }
    // Every choice as one line, for make's stamp.
    std::string Text() const;
};

// The options behind it, in the order --help lists them.
const std::vector<Option>& BuildChoiceOptions();

TBuildChoices ParseBuildChoices(const Args& a);

// Stores the project's own choices the command line made.
void StoreBuildChoices(TProject& project, const TBuildChoices& choices);

// The request's texts, budget and the project's stored choices; a phone
// family sets the heap the font images are held against and, for a project
// that chose no sizes, the sizes suited to its screens.
void FillBuildRequest(TBuildRequest& request, const TProject& project, const TBuildChoices& choices);

// The lines measuring each jar against the phone family (none without one).
std::vector<std::string> PhoneLines(const TBuildResult& result, const TBuildChoices& choices);

} // namespace volm::cli
