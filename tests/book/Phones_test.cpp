// The phone families: the compiled-in table, its parser's refusals, finding a
// family by what a user types, and the figures a jar is measured by.
#include "book/Phones.h"
#include "common/Errors.h"

#include <gtest/gtest.h>

#include <set>

using namespace volm;

namespace {

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace

// Every row parses, names its source, and keeps its figures sane: the jar
// within the heap where both are known, canvases no larger than phones had.
TEST(Phones, EveryRowOfTheTableHasItsFiguresAndSource)
{
    const auto& table = PhoneProfiles();
    ASSERT_GE(table.size(), 12u);
    std::set<std::string> ids;
    for (const TPhoneProfile& p : table) {
        SCOPED_TRACE(p.id);
        EXPECT_TRUE(ids.insert(p.id).second);
        EXPECT_FALSE(p.name.empty());
        EXPECT_GE(p.source.size(), 10u);
        EXPECT_EQ(p.source.find("issue"), std::string::npos);
        EXPECT_GE(p.jar, 50u * 1024);
        if (p.heap) {
            EXPECT_GT(HeapLimit(p), 100u * 1024);
        }
        ASSERT_FALSE(p.canvases.empty());
        for (const TCanvasSize& c : p.canvases) {
            EXPECT_GE(c.width, 96);
            EXPECT_LE(c.width, 240);
        }
    }
    // The figures the families are known by (the smaller one of a range).
    const TPhoneProfile& any = FindPhone("any");
    EXPECT_EQ(any.name, "Any phone (MIDP 1.0 minimum)");
    EXPECT_EQ(any.jar, 64u * 1024);
    EXPECT_EQ(any.heap, 200u * 1024);
    const TPhoneProfile& s40 = FindPhone("nokia-s40-1");
    EXPECT_EQ(s40.jar, 64u * 1024);
    EXPECT_EQ(s40.heap, 210u * 1024);
    EXPECT_EQ(s40.store, 17u * 1024);
    const TPhoneProfile& t610 = FindPhone("se-t610");
    EXPECT_EQ(t610.jar, 64000u);
    EXPECT_EQ(t610.store, 29u * 1024);
    EXPECT_EQ(FindPhone("siemens-55").heap, 147u * 1024);
    EXPECT_EQ(FindPhone("moto-v3").heap, 760u * 1024);
}

// A unique start of the id or of a word of the name is enough, letter case
// aside; none or several name the candidates.
TEST(Phones, AFamilyIsFoundByAStartOfItsIdOrName)
{
    EXPECT_EQ(FindPhone("Series 40 1st").id, "nokia-s40-1");
    EXPECT_EQ(FindPhone("nokia series 40 3").id, "nokia-s40-3");
    EXPECT_EQ(FindPhone("t610").id, "se-t610");
    EXPECT_EQ(FindPhone("E700").id, "samsung-e700");
    EXPECT_EQ(FindPhone("ANY PHONE (MIDP 1.0 MINIMUM)").id, "any");
    EXPECT_EQ(FindPhone("sagem").id, "sagem-my");

    const std::string several = ErrorOf([] { FindPhone("nokia"); });
    EXPECT_NE(several.find("several"), std::string::npos) << several;
    EXPECT_NE(several.find("nokia-s40-2 (Nokia Series 40 2nd Edition)"), std::string::npos) << several;
    EXPECT_EQ(several.find("se-t610"), std::string::npos) << several;
    const std::string none = ErrorOf([] { FindPhone("iPhone"); });
    EXPECT_NE(none.find("No phone family is \"iPhone\""), std::string::npos) << none;
    EXPECT_NE(none.find("sagem-my"), std::string::npos) << none;
    EXPECT_NE(ErrorOf([] { FindPhone(""); }).find("No phone family"), std::string::npos);
    EXPECT_EQ(PhoneById("nokia"), nullptr);
    EXPECT_NE(PhoneById("se-t610"), nullptr);
}

// A damaged table is refused naming the line and the field.
TEST(Phones, ABrokenRowIsRefusedWithItsLine)
{
    const std::string header = "# families\nid\tname\tjar\theap\tstore\tcanvases\tsource\n";
    const auto rows = ParsePhoneTable(header + "a\tA phone\t65536\t\t\t128x160,96x65\tmeasured\r\n\n", "t.tsv");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].heap, 0u);
    ASSERT_EQ(rows[0].canvases.size(), 2u);
    EXPECT_EQ(rows[0].canvases[1].height, 65);
    EXPECT_EQ(rows[0].source, "measured");

    auto refused = [&](const std::string& row) {
        return ErrorOf([&] { ParsePhoneTable(header + row, "t.tsv"); });
    };
    EXPECT_NE(refused("a\tA\t65536\t\t\t128x160\t").find("t.tsv, line 3: the source"), std::string::npos);
    EXPECT_NE(refused("a\tA\t64K\t\t\t128x160\tm").find("jar limit \"64K\""), std::string::npos);
    EXPECT_NE(refused("a\tA\t0\t\t\t128x160\tm").find("jar limit"), std::string::npos);
    EXPECT_NE(refused("a\tA\t65536\t-1\t\t128x160\tm").find("heap"), std::string::npos);
    EXPECT_NE(refused("a\tA\t65536\t\t\t128*160\tm").find("canvas \"128*160\""), std::string::npos);
    EXPECT_NE(refused("a\tA\t65536\t\t\t\tm").find("canvas"), std::string::npos);
    EXPECT_NE(refused("a\tA\t65536\t\t\t128x160").find("6 fields"), std::string::npos);
    EXPECT_NE(refused("a\tA\t1\t\t\t1x1\tm\nA\tB\t1\t\t\t1x1\tm").find("line 4: the id A is there twice"),
              std::string::npos);
}

TEST(Phones, ThePngSizeAndTheStoreFigures)
{
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x01\x00\0\0\0\xc0\x08\x02", 26);
    const TCanvasSize s = PngSize(png);
    EXPECT_EQ(s.width, 256);
    EXPECT_EQ(s.height, 192);
    EXPECT_EQ(PngSize(png.substr(0, 20)).width, 0);
    png[1] = 'X';
    EXPECT_EQ(PngSize(png).width, 0);
    // 20 bytes a topic up to 20 topics, 5 bookmarks of 30, 50 for the store itself.
    EXPECT_EQ(StoreNeeded(0), 200u);
    EXPECT_EQ(StoreNeeded(3), 260u);
    EXPECT_EQ(StoreNeeded(20), 600u);
    EXPECT_EQ(StoreNeeded(5000), 600u);
}

TEST(Phones, SheetSizesSuitTheScreens)
{
    EXPECT_EQ(SheetSizesForPhone(FindPhone("nokia-s40-1")), (std::vector<int>{11, 14}));
    EXPECT_EQ(SheetSizesForPhone(FindPhone("nokia-3410")), (std::vector<int>{9, 11}));
    // 128x160 and 240x320: the small size for the narrow screen, the large for the wide one.
    EXPECT_EQ(SheetSizesForPhone(FindPhone("nokia-s40-3")), (std::vector<int>{11, 18}));
    EXPECT_EQ(SheetSizesForPhone(TPhoneProfile{}), (std::vector<int>{11, 14}));
    TPhoneProfile wide;
    wide.canvases = {{320, 240}};
    EXPECT_EQ(SheetSizesForPhone(wide), (std::vector<int>{16, 20}));
}
