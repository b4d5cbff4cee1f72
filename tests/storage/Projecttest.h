#pragma once
// Shared by the tests of projects that can only be read: a damaged project.
#include "Testutil.h"
#include "storage/Project.h"

#include <string>

namespace volm::test {

// "damaged.volm" in `dir` with every stream of its own: topics "One" ("first
// text"), "Two" (5000 't', beyond the small-stream limit), "Three" and
// "Four", the title "Book", font settings (Verdana, custom font on), the
// grid layout, gap paragraphs, sizes "11,14", hyphens off and 7 builds. Then
// topic 103's entry is damaged so that the file can only be read, and topic
// 104's chain is broken so that it can't be read at all.
inline std::string damagedProject(const TempDir& dir)
{
    const std::string path = (dir / "damaged.volm").string();
    {
        TProject p;
        p.Open(path);
        p.AppendTopics({{"One", "first text"}, {"Two", std::string(5000, 't')}, {"Three", "3"}, {"Four", "4"}});
        p.SaveTitle("Book");
        TFontSettings fs;
        fs.font.name = "Verdana";
        fs.useCustomFont = true;
        p.SaveFontSettings(fs);
        p.SaveLayout(TReaderLayout::Grid);
        p.SaveParagraphs(TParagraphStyle::Gap);
        p.SaveSheetSizes("11,14");
        p.SaveHyphens(false);
        p.SaveBuildCount(7);
    }
    damageCompoundFile(path, "103", "104");
    return path;
}

} // namespace volm::test
