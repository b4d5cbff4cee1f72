#include "common/Registry.h"

#include "Testutil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace volm;
using volm::test::TempDir;

namespace {

std::string allBytes()
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

} // namespace

TEST(Registry, FileFollowsXdgConfigHome)
{
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/scratch/cfg", 1);
    EXPECT_EQ(registryFile(), std::filesystem::path("/scratch/cfg/volm/registry.ini"));
    // A relative folder is not a valid setting: the home folder's .config is used.
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(registryFile().parent_path().parent_path().filename(), ".config");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

TEST(Registry, KeysValuesAndRootsRoundTripThroughTheFile)
{
    TempDir dir;
    const auto file = dir / "volm" / "registry.ini"; // the folder is created on first write
    {
        TRegistry reg(RegRoot::ClassesRoot, file);
        EXPECT_FALSE(reg.OpenKey("volm\\Shell\\Open\\command", false));
        ASSERT_TRUE(reg.OpenKey("volm\\Shell\\Open\\command", true));
        EXPECT_EQ(reg.CurrentPath(), "HKEY_CLASSES_ROOT\\volm\\Shell\\Open\\command");
        reg.WriteString("", "/usr/bin/volm \"%1\"");
        reg.WriteString("Bytes", allBytes());
        reg.WriteString("Russian", "\xcf\xf0\xe8\xe2\xe5\xf2"); // Windows-1251, not UTF-8
        reg.WriteString("Utf8", "\xd0\x9f\xd1\x80\xd0\xb8");
    }
    TRegistry cls(RegRoot::ClassesRoot, file);
    EXPECT_TRUE(cls.KeyExists("volm"));            // parents were created too
    EXPECT_TRUE(cls.KeyExists("VOLM\\shell"));     // names ignore letter case
    ASSERT_TRUE(cls.OpenKeyReadOnly("\\volm\\Shell\\Open\\command\\"));
    EXPECT_EQ(cls.ReadString(""), "/usr/bin/volm \"%1\"");
    EXPECT_EQ(cls.ReadString("bytes"), allBytes());
    EXPECT_EQ(cls.ReadString("Russian"), "\xcf\xf0\xe8\xe2\xe5\xf2");
    EXPECT_EQ(cls.ReadString("Utf8"), "\xd0\x9f\xd1\x80\xd0\xb8");
    EXPECT_FALSE(cls.ReadValue("Missing").has_value());
    EXPECT_EQ(cls.ReadString("Missing"), "");

    // The other root is a separate tree.
    TRegistry user(RegRoot::CurrentUser, file);
    EXPECT_FALSE(user.KeyExists("volm"));

    // Readable text in the file: UTF-8 stays as it is, other bytes are escaped.
    std::string text = volm::test::readFile(file);
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\volm\\Shell\\Open\\command]"), std::string::npos);
    EXPECT_NE(text.find("@=\"/usr/bin/volm \\\"%1\\\"\""), std::string::npos);
    EXPECT_NE(text.find("\"Russian\"=\"\\xcf\\xf0"), std::string::npos);
    EXPECT_NE(text.find("\xd0\x9f\xd1\x80\xd0\xb8"), std::string::npos);
}

TEST(Registry, OverwriteKeepsOrderDeleteRemovesSubtree)
{
    TempDir dir;
    const auto file = dir / "r.ini";
    TRegistry reg(RegRoot::CurrentUser, file);
    ASSERT_TRUE(reg.OpenKey("A\\B", true));
    reg.WriteString("one", "1");
    reg.WriteString("two", "2");
    reg.WriteString("ONE", "uno"); // replaces in place
    reg.WriteString("empty", "");
    EXPECT_TRUE(reg.ValueExists("empty"));
    EXPECT_EQ(reg.ReadString("one"), "uno");
    std::string text = volm::test::readFile(file);
    EXPECT_LT(text.find("\"one\"=\"uno\""), text.find("\"two\"=\"2\""));
    EXPECT_EQ(text.find("ONE"), std::string::npos);

    EXPECT_TRUE(reg.DeleteValue("two"));
    EXPECT_FALSE(reg.DeleteValue("two"));
    EXPECT_FALSE(reg.ValueExists("two"));

    // Another object sees the writes at once (no caching across objects).
    TRegistry other(RegRoot::CurrentUser, file);
    ASSERT_TRUE(other.OpenKeyReadOnly("a\\b"));
    EXPECT_EQ(other.ReadString("one"), "uno");
    EXPECT_FALSE(other.ValueExists("two"));

    EXPECT_TRUE(other.DeleteKey("A"));
    EXPECT_FALSE(other.KeyExists("A\\B"));
    EXPECT_FALSE(other.DeleteKey("A"));
    EXPECT_FALSE(other.DeleteKey("")); // never the root
}

TEST(Registry, FailureToCreateNamesTheKey)
{
    // Nothing can be created below /proc, not even by root; reading finds nothing.
    TRegistry reg(RegRoot::ClassesRoot, "/proc/volm-no-such/registry.ini");
    EXPECT_FALSE(reg.OpenKey(".volm", false));
    try {
        reg.OpenKey(".volm", true);
        ADD_FAILURE() << "creating a key in /proc succeeded";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to create key .volm");
    }
    try {
        reg.WriteString("", "volm"); // no open key
        ADD_FAILURE() << "writing without an open key succeeded";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for ''");
    }
}

TEST(Registry, FailuresInReadOnlyFolderKeepTheOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: folder permissions are not enforced";
    TempDir dir;
    const auto locked = dir / "locked";
    std::filesystem::create_directories(locked);
    const auto file = locked / "registry.ini";
    {
        TRegistry reg(RegRoot::CurrentUser, file);
        ASSERT_TRUE(reg.OpenKey("Volm_Orvane", true));
        reg.WriteString("x", "1");
    }
    ::chmod(locked.c_str(), 0500); // no new files: the atomic rewrite fails
    TRegistry reg(RegRoot::CurrentUser, file);
    try {
        reg.OpenKey("Volm_Orvane\\Build", true);
        ADD_FAILURE() << "creating a key in a read-only folder succeeded";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to create key Volm_Orvane\\Build");
    }
    ASSERT_TRUE(reg.OpenKey("Volm_Orvane", true)); // exists: opening needs no write
    try {
        reg.WriteString("", "v");
        ADD_FAILURE() << "writing into a read-only folder succeeded";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for ''");
    }
    EXPECT_THROW(reg.WriteString("Flags", "0"), ERegistryException);
    // The old file is intact and no temporary file is left behind.
    EXPECT_EQ(reg.ReadString("x"), "1");
    ::chmod(locked.c_str(), 0700);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(locked),
                            std::filesystem::directory_iterator()), 1);

    TRegistry none(RegRoot::CurrentUser, file);
    EXPECT_THROW(none.WriteString("x", "1"), ERegistryException); // no open key
}

TEST(Registry, DamagedLinesAreIgnored)
{
    TempDir dir;
    const auto file = dir / "r.ini";
    volm::test::writeFile(file, "garbage\r\n\"orphan\"=\"1\"\r\n[HKEY_CURRENT_USER\\K]\r\n"
                                "\"good\"=\"a\\\\b\\x41\\x4\"\r\nbroken=\"2\"\r\n\"half\"=\"3\r\n"
                                "[unterminated\r\n\"lost\"=\"4\"\r\n");
    TRegistry reg(RegRoot::CurrentUser, file);
    ASSERT_TRUE(reg.OpenKeyReadOnly("K"));
    EXPECT_EQ(reg.ReadString("good"), "a\\bAx4");
    for (const char* dropped : {"broken", "half", "lost", "orphan"})
        EXPECT_FALSE(reg.ValueExists(dropped)) << dropped;
}
