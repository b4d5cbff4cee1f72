// The pipeline with the real font renderer: the custom font's image lands in
// the jar as a valid PNG of the right size.
#include "book/Fontimage.h"
#include "book/Pipeline.h"

#include "Testutil.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace volm;
using namespace volm::test;

TEST(PipelineFont, CustomFontImageIsPackedIntoTheJar)
{
    if (!haveProgram("pngcheck") || !haveProgram("unzip"))
        GTEST_SKIP() << "pngcheck or unzip is not installed";
    for (int height : {-11, 20, -20}) {
        TempDir dir;
        TBuildRequest r;
        r.projectPath = (dir / "Tales.volm").string();
        r.font.useCustomFont = true;
        r.font.font.height = height;
        TTopicList topics{{"One", "1"}};
        GenerateBook(r, topics, FontImagePng);
        // Afterwards the book folder holds the three outputs and nothing else.
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(dir / "Tales"))
            left.push_back(e.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"Tales.jad", "Tales.jar", "manifest.mf"}));
        RunResult png = run({"unzip", "-p", (dir / "Tales" / "Tales.jar").string(), "images/Font.png"});
        ASSERT_EQ(png.status, 0) << png.err;
        writeFile(dir / "Font.png", png.out);
        RunResult c = run({"pngcheck", (dir / "Font.png").string()});
        EXPECT_EQ(c.status, 0) << c.out;
        std::string size = height == -11 ? "176x176" : "320x320";
        EXPECT_NE(c.out.find("(" + size + ", 24-bit RGB"), std::string::npos) << height << ": " << c.out;
    }
}
