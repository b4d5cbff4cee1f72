// The documentation's screenshot tool makes every picture from the sample
// book, offscreen, and leaves the sample as it was.
#include "Testutil.h"

#include <gtest/gtest.h>

using namespace volm::test;

TEST(Screenshots, EveryPictureOfTheSampleBook)
{
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all); // a runtime folder
    const std::string sample = readFile(sourceDir() / "examples" / "Sample.volm");
    writeFile(dir / "Sample.volm", sample);
    auto r = run({"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + (dir / "config").string(),
                  "XDG_DATA_HOME=" + (dir / "data").string(), "XDG_RUNTIME_DIR=" + dir.path().string(),
                  VOLM_SCREENSHOTS, (dir / "pictures").string(), (dir / "Sample.volm").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fileNames(dir / "pictures"),
              (std::vector<std::string>{"about-box.png", "build-dialog.png", "context-menu.png", "font-dialog.png",
                                        "main-window.png", "modified.png", "question.png"}));
    for (const std::string& name : fileNames(dir / "pictures"))
        EXPECT_EQ(readFile(dir / "pictures" / name).substr(0, 8), "\x89PNG\r\n\x1a\n") << name;
    // The typed line was neither committed nor kept.
    EXPECT_EQ(readFile(dir / "Sample.volm").size(), sample.size());

    auto usage = run({"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", VOLM_SCREENSHOTS});
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("Usage: volm-screenshots FOLDER [PROJECT.volm]\n"), std::string::npos) << usage.err;
}
