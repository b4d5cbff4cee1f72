#include "book/Buildparams.h"

#include "Testutil.h"

#include <gtest/gtest.h>

using namespace volm;
using volm::test::TempDir;

namespace {

std::vector<std::pair<std::string, std::string>> valuesInFileOrder(const std::filesystem::path& f)
{
    std::string text = volm::test::readFile(f);
    size_t at = text.find("[HKEY_CURRENT_USER\\Volm_Orvane\\Build]");
    EXPECT_NE(at, std::string::npos);
    std::vector<std::pair<std::string, std::string>> out;
    size_t pos = text.find('\n', at) + 1;
    while (pos < text.size() && text[pos] == '"') {
        size_t eol = text.find('\n', pos);
        std::string line = text.substr(pos, eol - pos);
        size_t mid = line.find("\"=\"");
        out.emplace_back(line.substr(1, mid - 1), line.substr(mid + 3, line.size() - mid - 4));
        pos = eol + 1;
    }
    return out;
}

} // namespace

TEST(Buildparams, TrimAndNumbers)
{
    EXPECT_EQ(trimBuildText(" \t\x01 ACME \r\n\x20"), "ACME");
    EXPECT_EQ(trimBuildText("a b"), "a b");
    EXPECT_EQ(trimBuildText("   "), "");
    EXPECT_EQ(trimBuildText("\xa0x\xa0"), "\xa0x\xa0"); // no-break space is above 0x20

    EXPECT_EQ(placementNumber("10,-20,30,40", 1), -20);
    EXPECT_EQ(placementNumber("10,,30", 1), 30);        // empty pieces are skipped
    EXPECT_EQ(placementNumber("10,x,30,40", 1), std::nullopt);
    EXPECT_EQ(placementNumber("10,20", 3), std::nullopt);
    EXPECT_EQ(placementNumber("1 ,2", 0), std::nullopt);
}

TEST(Buildparams, FirstUseGivesInitialTextsAndCenteredDialog)
{
    TempDir dir;
    const auto file = dir / "registry.ini";
    TBuildTexts t = storedBuildTexts(file);
    EXPECT_EQ(t.vendor, "Volm creator - orvane");
    EXPECT_EQ(t.url, kDefaultUrl);
    EXPECT_EQ(t.description, "Sample ebook for mobiles");
    EXPECT_FALSE(std::filesystem::exists(file)); // reading never writes

    TBuildParamsStore store(file);
    TWindowPlacement cur{0, 1, -1, -1, -1, -1, 100, 200, 451, 340};
    TRestoredPlacement r = store.restorePlacement(cur, 96);
    EXPECT_FALSE(r.apply);
    EXPECT_EQ(r.state, TShowState::Normal);
    std::array<std::string, 3> texts{" a ", "b", "c"};
    store.restoreTexts(texts);
    EXPECT_EQ(texts[0], "a"); // nothing stored: the control's text, trimmed
    // Restoring creates the key itself.
    TRegistry reg(RegRoot::CurrentUser, file);
    EXPECT_TRUE(reg.KeyExists("Volm_Orvane"));
}

TEST(Buildparams, SaveWritesTheValuesInOrderTrimmed)
{
    TempDir dir;
    const auto file = dir / "registry.ini";
    TBuildParamsStore store(file);
    TWindowPlacement p{0, 1, -1, -1, -1, -1, 30, 40, 381, 180};
    store.save(p, 96, false, {"ACME ", "", "\tMy \xea\xed\xe8\xe3\xe0 "});
    auto v = valuesInFileOrder(file);
    std::vector<std::pair<std::string, std::string>> want = {
        {"FormVersion", "0"}, {"Flags", "0"}, {"ShowCmd", "1"}, {"PixelsPerInch", "96"},
        {"MinMaxPos", "-1,-1,-1,-1"}, {"NormPos", "30,40,381,180"}, {"Visible", "0"},
        {"Edit1_Text", "ACME"}, {"Edit2_Text", ""}, {"Edit3_Text", "My \\xea\\xed\\xe8\\xe3\\xe0"},
        {"JarBudget", "0"}, {"Phone", ""}};
    EXPECT_EQ(v, want);

    TBuildTexts t = storedBuildTexts(file);
    EXPECT_EQ(t.vendor, "ACME");
    EXPECT_EQ(t.url, ""); // an empty URL stays empty
    EXPECT_EQ(t.description, "My \xea\xed\xe8\xe3\xe0");

    std::array<std::string, 3> texts{"x", "y", "z"};
    store.restoreTexts(texts);
    EXPECT_EQ(texts, (std::array<std::string, 3>{"ACME", "", "My \xea\xed\xe8\xe3\xe0"}));

    // Saving again replaces the values and keeps their order.
    store.save(p, 96, true, {"B", "U", "D"});
    v = valuesInFileOrder(file);
    ASSERT_EQ(v.size(), 12u);
    EXPECT_EQ(v[6], std::make_pair(std::string("Visible"), std::string("1")));
    EXPECT_EQ(v[7].second, "B");

    // A phone family is stored beside its budget, and read back.
    store.save(p, 96, true, {"B", "U", "D"}, 65536, "nokia-s40-1");
    v = valuesInFileOrder(file);
    ASSERT_EQ(v.size(), 12u);
    EXPECT_EQ(v[10], std::make_pair(std::string("JarBudget"), std::string("65536")));
    EXPECT_EQ(v[11], std::make_pair(std::string("Phone"), std::string("nokia-s40-1")));
    EXPECT_EQ(storedBuildTexts(file).phone, "nokia-s40-1");
    EXPECT_EQ(store.restorePhone(), "nokia-s40-1");
}

TEST(Buildparams, StoredPositionOnlyAtTheSameResolution)
{
    TempDir dir;
    const auto file = dir / "registry.ini";
    TBuildParamsStore store(file);
    store.save({0, 1, -1, -1, -1, -1, 500, 300, 851, 440}, 96, false, {"a", "b", "c"});
    const TWindowPlacement cur{0, 1, -1, -1, -1, -1, 0, 0, 351, 140};

    TRestoredPlacement r = store.restorePlacement(cur, 96);
    EXPECT_TRUE(r.apply);
    EXPECT_EQ(r.placement.left, 500);
    EXPECT_EQ(r.placement.top, 300);
    EXPECT_EQ(r.placement.right, 851);  // own size kept
    EXPECT_EQ(r.placement.bottom, 440);

    EXPECT_FALSE(store.restorePlacement(cur, 120).apply);

    // The fixed dialog keeps its size even when the stored rectangle differs,
    // and unparsable numbers fall back to the current rectangle.
    TRegistry reg(RegRoot::CurrentUser, file);
    ASSERT_TRUE(reg.OpenKey("Volm_Orvane\\Build", false));
    reg.WriteString("NormPos", "70,x,1000,1000");
    reg.WriteString("ShowCmd", "junk");
    r = store.restorePlacement(cur, 96);
    EXPECT_TRUE(r.apply);
    EXPECT_EQ(r.placement.left, 70);
    EXPECT_EQ(r.placement.top, 0);
    EXPECT_EQ(r.placement.right, 70 + 351);
    EXPECT_EQ(r.state, TShowState::Normal);

    // Left not below right: the position is not applied.
    reg.WriteString("NormPos", "900,10,800,100");
    EXPECT_FALSE(store.restorePlacement(cur, 96).apply);

    // A missing resolution counts as the current one.
    reg.DeleteValue("PixelsPerInch");
    reg.WriteString("NormPos", "5,6,7,8");
    reg.WriteString("ShowCmd", "3");
    r = store.restorePlacement(cur, 144);
    EXPECT_TRUE(r.apply);
    EXPECT_EQ(r.state, TShowState::Maximized);
}
