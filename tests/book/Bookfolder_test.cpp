// The book folder's rules on their own: one build at a time, links refused,
// stale temporaries and old outputs removed, and which of the user's files
// go into the jar.
#include "book/Bookfolder.h"
#include "common/Errors.h"

#include "Testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

using namespace volm;
using namespace volm::test;

namespace {

std::string Project(const TempDir& dir)
{
    return (dir / "Tales.volm").string();
}

// The message of the failure opening the book folder raises ("" for none).
std::string Refusal(const std::string& project)
{
    try {
        TBookFolder(project).Open();
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

bool Mentions(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

// The folder is locked from Open to the object's end: a second build of the
// same book is refused meanwhile, and goes ahead once the first is done.
TEST(Bookfolder, OneBuildAtATimeUntilTheFirstEnds)
{
    TempDir dir;
    {
        TBookFolder first(Project(dir));
        first.Open();
        EXPECT_TRUE(fs::is_directory(dir / "Tales"));
        const std::string refusal = Refusal(Project(dir));
        EXPECT_TRUE(Mentions(refusal, "Another build is writing the book folder")) << refusal;
    }
    EXPECT_EQ(Refusal(Project(dir)), "");
    EXPECT_TRUE(fileNames(dir / "Tales").empty());
}

// Through a link the build would replace or remove what is not the book's:
// a linked folder, and an output of any kind (a volume's too) that is a link
// or no regular file, are refused, and nothing in the folder changes, its
// stale temporaries included. Links that are no output's are the user's.
TEST(Bookfolder, LinkedFolderAndOutputsAreRefusedAndNothingChanges)
{
    TempDir dir;
    fs::create_directories(dir / "elsewhere");
    writeFile(dir / "elsewhere" / "keep.txt", "keep me");

    writeFile(dir / "Tales", "a file in the folder's place");
    EXPECT_TRUE(Mentions(Refusal(Project(dir)), "a file of that name is in the way"));
    fs::remove(dir / "Tales");
    fs::create_directory_symlink(dir / "elsewhere", dir / "Tales");
    EXPECT_TRUE(Mentions(Refusal(Project(dir)), "is a symbolic link"));
    EXPECT_EQ(fileNames(dir / "elsewhere"), std::vector<std::string>{"keep.txt"});
    fs::remove(dir / "Tales");

    const fs::path book = dir / "Tales";
    fs::create_directories(book);
    writeFile(book / ".Tales.jar.volm-AbC123", "a killed build's");
    for (const std::string output : {"Tales.jad", "Tales-2.jar", "manifest.mf"}) {
        if (output == "manifest.mf")
            fs::create_directory(book / output);
        else
            fs::create_symlink(dir / "elsewhere" / "keep.txt", book / output);
        const std::vector<std::string> before = fileNames(book);
        const std::string refusal = Refusal(Project(dir));
        EXPECT_TRUE(Mentions(refusal, (book / output).string())) << refusal;
        EXPECT_TRUE(Mentions(refusal, output == "manifest.mf" ? "not a regular file" : "symbolic link")) << refusal;
        EXPECT_EQ(fileNames(book), before);
        fs::remove(book / output);
    }
    EXPECT_EQ(readFile(dir / "elsewhere" / "keep.txt"), "keep me");

    for (const std::string users : {"notes.txt", "Tales-02.jar", "Tales-2.zip", "Other.jar"})
        fs::create_symlink(dir / "elsewhere" / "keep.txt", book / users);
    EXPECT_EQ(Refusal(Project(dir)), "");
}

// Once the folder is locked, the temporary files of the build's own outputs
// are a killed build's and go; those of other names, folders and anything in
// subfolders stay.
TEST(Bookfolder, OnlyTheOutputsStaleTemporariesAreRemoved)
{
    TempDir dir;
    const fs::path book = dir / "Tales";
    fs::create_directories(book / "texts");
    for (const char* stale : {".Tales.jar.volm-AbC123", ".Tales.jad.volm-000000", ".Tales-12.jad.volm-Zz9Zz9",
                              ".manifest.mf.volm-qwerty"})
        writeFile(book / stale, "stale");
    for (const char* kept : {".Tales-012.jar.volm-AbC123", ".notes.txt.volm-AbC123", ".Tales.jar.volm-AbC12",
                             "Tales.jar.volm-AbC123"})
        writeFile(book / kept, "kept");
    fs::create_directory(book / ".Tales-1.jar.volm-AbC123");
    writeFile(book / "texts" / ".Tales.jar.volm-AbC123", "kept");

    TBookFolder folder(Project(dir));
    folder.Open();
    EXPECT_EQ(fileNames(book), (std::vector<std::string>{".Tales-012.jar.volm-AbC123", ".Tales-1.jar.volm-AbC123",
                                                         ".Tales.jar.volm-AbC12", ".notes.txt.volm-AbC123",
                                                         "Tales.jar.volm-AbC123", "texts"}));
    EXPECT_EQ(fileNames(book / "texts"), std::vector<std::string>{".Tales.jar.volm-AbC123"});
}

// A build as volumes removes the single jar and jad and the volumes past its
// last; a single jar removes every volume. manifest.mf and names that are no
// output's stay.
TEST(Bookfolder, OldOutputsTheNewBuildDidNotReplaceAreRemoved)
{
    TempDir dir;
    const fs::path book = dir / "Tales";
    fs::create_directories(book);
    for (const char* name : {"Tales.jar", "Tales.jad", "manifest.mf", "Tales-1.jar", "Tales-1.jad", "Tales-2.jar",
                             "Tales-3.jad", "Tales-10.jar", "Tales-03.jar", "Tales-x.jar", "Tales-2.txt", "Other.jar"})
        writeFile(book / name, name);

    TBookFolder folder(Project(dir));
    folder.Open();
    folder.RemoveOldOutputs(2);
    EXPECT_EQ(fileNames(book), (std::vector<std::string>{"Other.jar", "Tales-03.jar", "Tales-1.jad", "Tales-1.jar",
                                                         "Tales-2.jar", "Tales-2.txt", "Tales-x.jar", "manifest.mf"}));
    folder.RemoveOldOutputs(0);
    EXPECT_EQ(fileNames(book), (std::vector<std::string>{"Other.jar", "Tales-03.jar", "Tales-2.txt", "Tales-x.jar",
                                                         "manifest.mf"}));
}

// The user's files: everything but the outputs (at the top), temporaries,
// what is no regular file (links to files too: they may lead out of the
// folder), hidden and linked folders, and what clashes with
// the jar's own members: the same name in any letter case, a folder of one
// of them or a file in one, and the texts of the book's topics.
TEST(Bookfolder, TheUsersFilesAndWhatIsLeftOut)
{
    TempDir dir;
    const fs::path book = dir / "Tales";
    fs::create_directories(book / "sub");
    fs::create_directories(book / ".git");
    fs::create_directories(book / "texts");
    fs::create_directories(book / "images");
    fs::create_directories(dir / "elsewhere");
    writeFile(dir / "elsewhere" / "linked.txt", "linked");
    for (const char* name : {"notes.txt", "Tales.jar", "Tales-1.jad", "manifest.mf", "sub/Tales.jar", ".hidden.txt",
                             ".git/config", "TOPICS.TXT", "META-INF", "images/orvane.png", "images/Mine.png",
                             "texts/itm1", "texts/ITM3", "texts/itm4", "texts/itm02", "texts/itm0",
                             "texts/itm2_1", "texts/itm3_12", "texts/itm3_0", "texts/itm4_1", "texts/itm2_",
                             ".notes.txt.volm-AbC123", "sub/.x.volm-AbC123", "\xF4\xE0\xE9\xEB.txt", "ro.txt"})
        writeFile(book / name, name);
    fs::permissions(book / "ro.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directory_symlink(dir / "elsewhere", book / "linkdir");
    fs::create_symlink(dir / "elsewhere" / "linked.txt", book / "link.txt");
    ASSERT_EQ(::mkfifo((book / "fifo").c_str(), 0600), 0);

    const std::vector<std::string> ours{"META-INF/MANIFEST.MF", "topics.txt", "images/orvane.png", "texts/itm1"};
    std::vector<std::string> skipped;
    auto listed = [&](size_t topics, const TJarSettings& settings, bool pieces = false) {
        TBookFolder folder(Project(dir));
        std::vector<std::string> got;
        skipped.clear();
        for (const TUserFile& f : folder.UserFiles(ours, topics, settings, pieces, &skipped)) {
            EXPECT_EQ(f.path.substr(0, (book.string() + "/").size()), book.string() + "/") << f.path;
            got.push_back(f.name + " " + std::to_string(f.attributes));
        }
        std::sort(got.begin(), got.end());
        return got;
    };
    const TJarSettings settings;
    EXPECT_EQ(listed(3, settings), (std::vector<std::string>{".hidden.txt 34", "images/Mine.png 32",
                                                             "notes.txt 32", "ro.txt 33",
                                                             "sub/Tales.jar 32", "texts/itm0 32", "texts/itm02 32",
                                                             "texts/itm2_ 32", "texts/itm2_1 32", "texts/itm3_0 32",
                                                             "texts/itm3_12 32", "texts/itm4 32", "texts/itm4_1 32",
                                                             "\xE4\xA0\xA9\xAB.txt 32"}));
    // What was left out for what it is is named, with its kind.
    std::sort(skipped.begin(), skipped.end());
    const std::string at = book.string() + "/";
    EXPECT_EQ(skipped, (std::vector<std::string>{at + "fifo (a FIFO)", at + "link.txt (a symbolic link)",
                                                 at + "linkdir (a symbolic link)"}));
    // In the words layout a long text's pieces are the book's too.
    const std::vector<std::string> words = listed(3, settings, true);
    for (const char* piece : {"texts/itm2_1 32", "texts/itm3_12 32"})
        EXPECT_EQ(std::find(words.begin(), words.end(), piece), words.end()) << piece;
    for (const char* other : {"texts/itm2_ 32", "texts/itm3_0 32", "texts/itm4_1 32"})
        EXPECT_NE(std::find(words.begin(), words.end(), other), words.end()) << other;
    // An empty book's jar still holds texts/itm1 and nothing more of them.
    TJarSettings ansiNames;
    ansiNames.TranslateOemChar = false;
    const std::vector<std::string> empty = listed(0, ansiNames);
    EXPECT_NE(std::find(empty.begin(), empty.end(), "texts/ITM3 32"), empty.end());
    EXPECT_NE(std::find(empty.begin(), empty.end(), "\xF4\xE0\xE9\xEB.txt 32"), empty.end());
    EXPECT_EQ(std::count_if(empty.begin(), empty.end(), [](const std::string& s) { return s.starts_with("texts/"); }),
              9);
}

// The jar and jad are named in plain letters; what an earlier build named by
// the book name as it stands is an output too: never packed, and removed
// once the new outputs are in place (the user's files of that folder stay).
TEST(Bookfolder, OutputsOfTheBookNameAsItStandsGoToo)
{
    TempDir dir;
    const std::string project = (dir / "Война и мир.volm").string();
    const fs::path book = dir / "Война и мир";
    fs::create_directories(book);
    for (const char* name : {"Война и мир.jar", "Война и мир.jad", "Война и мир-2.jar", "Vojna_i_mir-3.jad",
                             "Vojna_i_mir.jar", "Vojna_i_mir-1.jar", "Война и мир.txt", "Война.jar"})
        writeFile(book / name, name);
    TBookFolder folder(project);
    EXPECT_EQ(folder.FileStem(), "Vojna_i_mir");
    folder.Open();
    std::vector<std::string> packed;
    for (const TUserFile& f : folder.UserFiles({}, 1, TJarSettings()))
        packed.push_back(f.relative);
    std::sort(packed.begin(), packed.end());
    EXPECT_EQ(packed, (std::vector<std::string>{"Война и мир.txt", "Война.jar"}));
    folder.RemoveOldOutputs(1);
    EXPECT_EQ(fileNames(book),
              (std::vector<std::string>{"Vojna_i_mir-1.jar", "Война и мир.txt", "Война.jar"}));
    folder.RemoveOldOutputs(0);
    EXPECT_EQ(fileNames(book), (std::vector<std::string>{"Война и мир.txt", "Война.jar"}));
}

// A book name with a line end or another control character can't be built:
// refused before anything is made, naming the project file.
TEST(Bookfolder, ABookNameWithALineEndIsRefused)
{
    TempDir dir;
    for (const char* n : {"Tales\nMIDlet-Permissions: x", "Tales\r", "Ta\x01les"}) {
        const std::string name = n;
        const std::string project = (dir / (name + ".volm")).string();
        const std::string why = Refusal(project);
        EXPECT_TRUE(Mentions(why, project)) << why;
        EXPECT_TRUE(Mentions(why, name.find_first_of("\r\n") != std::string::npos
                                      ? "the book name holds a line end"
                                      : "the book name holds a control character"))
            << why;
        EXPECT_FALSE(fs::exists(dir / name));
    }
}

// A user's file is read relative to the folder: a file that became a link,
// or a folder on its way that became one, after the listing is refused.
TEST(Bookfolder, AUsersFileIsNeverReadThroughALink)
{
    TempDir dir;
    const fs::path book = dir / "Tales";
    fs::create_directories(book / "sub");
    fs::create_directories(dir / "outside");
    writeFile(dir / "outside" / "secret.txt", "secret");
    writeFile(book / "notes.txt", "notes");
    writeFile(book / "sub" / "secret.txt", "mine");
    TBookFolder folder(Project(dir));
    folder.Open();
    std::vector<TUserFile> files = folder.UserFiles({}, 1, TJarSettings());
    ASSERT_EQ(files.size(), 2u);
    for (const TUserFile& f : files)
        EXPECT_NE(folder.ReadUserFile(f, 1 << 20), "secret");
    fs::remove(book / "notes.txt");
    fs::create_symlink(dir / "outside" / "secret.txt", book / "notes.txt");
    fs::remove_all(book / "sub");
    fs::create_directory_symlink(dir / "outside", book / "sub");
    for (const TUserFile& f : files) {
        try {
            folder.ReadUserFile(f, 1 << 20);
            ADD_FAILURE() << f.relative << " was read";
        } catch (const EFileError& e) {
            EXPECT_TRUE(Mentions(e.what(), f.path)) << e.what();
            EXPECT_TRUE(Mentions(e.what(), "symbolic link")) << e.what();
        }
    }
}

// A build killed after it recorded its set left part of the new outputs
// renamed into place and the rest staged: the next build (or a tidy-up) puts
// the rest in place and removes the old volumes the set does not hold. A
// build killed before that left only staged files: they go, and the old set
// stays as it was.
TEST(Bookfolder, ASetCutShortIsFinishedOrDroppedWhole)
{
    TempDir dir;
    const fs::path book = dir / "Tales";
    auto oldSet = [&] {
        fs::remove_all(book);
        fs::create_directories(book);
        for (int k = 1; k <= 3; ++k) {
            writeFile(book / ("Tales-" + std::to_string(k) + ".jar"), "old jar " + std::to_string(k));
            writeFile(book / ("Tales-" + std::to_string(k) + ".jad"), "old jad " + std::to_string(k));
        }
        writeFile(book / "manifest.mf", "old manifest");
        writeFile(book / "notes.txt", "the user's");
    };
    const std::vector<std::string> newSet{"Tales-1.jad", "Tales-1.jar", "Tales-2.jad", "Tales-2.jar", "manifest.mf"};

    // Killed after the record, when Tales-1's jar was in place already.
    for (bool byBuild : {true, false}) {
        oldSet();
        writeFile(book / "Tales-1.jar", "new jar 1");
        writeFile(book / ".Tales-1.jad.volm-staged", "new jad 1");
        writeFile(book / ".Tales-2.jar.volm-staged", "new jar 2");
        writeFile(book / ".Tales-2.jad.volm-staged", "new jad 2");
        writeFile(book / ".manifest.mf.volm-staged", "new manifest");
        writeFile(book / ".Tales.volm-set", "Tales-1.jar\nTales-1.jad\nTales-2.jar\nTales-2.jad\nmanifest.mf\n");
        if (byBuild)
            TBookFolder(Project(dir)).Open();
        else
            TBookFolder(Project(dir)).Tidy();
        std::vector<std::string> want = newSet;
        want.push_back("notes.txt");
        std::sort(want.begin(), want.end());
        EXPECT_EQ(fileNames(book), want) << byBuild;
        EXPECT_EQ(readFile(book / "Tales-1.jar"), "new jar 1");
        EXPECT_EQ(readFile(book / "Tales-1.jad"), "new jad 1");
        EXPECT_EQ(readFile(book / "Tales-2.jar"), "new jar 2");
        EXPECT_EQ(readFile(book / "manifest.mf"), "new manifest");
        EXPECT_EQ(readFile(book / "notes.txt"), "the user's");
    }

    // Killed before the record (or with half a record): the old set whole.
    for (const char* record : {"", "Tales-1.jar\nTales-1.ja"}) {
        oldSet();
        writeFile(book / ".Tales-1.jar.volm-staged", "new jar 1");
        writeFile(book / "..Tales-1.jad.volm-staged.volm-Ab12Cd", "half a jad");
        if (*record)
            writeFile(book / ".Tales.volm-set", record);
        TBookFolder(Project(dir)).Tidy();
        EXPECT_EQ(fileNames(book), (std::vector<std::string>{"Tales-1.jad", "Tales-1.jar", "Tales-2.jad", "Tales-2.jar",
                                                             "Tales-3.jad", "Tales-3.jar", "manifest.mf", "notes.txt"}));
        EXPECT_EQ(readFile(book / "Tales-1.jar"), "old jar 1");
    }

    // A record that names what is no output of the book renames and removes
    // nothing: it goes, and so do the staged files.
    oldSet();
    writeFile(book / ".notes.txt.volm-staged", "not ours");
    writeFile(book / ".Tales-1.jar.volm-staged", "new jar 1");
    writeFile(book / ".Tales.volm-set", "Tales-1.jar\nnotes.txt\n");
    TBookFolder(Project(dir)).Tidy();
    EXPECT_EQ(readFile(book / "notes.txt"), "the user's");
    EXPECT_EQ(readFile(book / "Tales-1.jar"), "old jar 1");
    EXPECT_TRUE(fs::exists(book / "Tales-3.jar"));
    EXPECT_FALSE(fs::exists(book / ".Tales.volm-set"));
    EXPECT_FALSE(fs::exists(book / ".Tales-1.jar.volm-staged"));
    EXPECT_TRUE(fs::exists(book / ".notes.txt.volm-staged")); // the user's, by its name

    // While a build holds the folder a tidy-up touches nothing.
    writeFile(book / ".Tales-2.jar.volm-staged", "new jar 2");
    writeFile(book / ".Tales.volm-set", "Tales-2.jar\n");
    {
        TBookFolder building(Project(dir));
        building.Open(); // finishes the set itself
        EXPECT_EQ(readFile(book / "Tales-2.jar"), "new jar 2");
        writeFile(book / ".Tales-3.jar.volm-staged", "its own");
        TBookFolder(Project(dir)).Tidy();
        EXPECT_TRUE(fs::exists(book / ".Tales-3.jar.volm-staged"));
    }
    // Nor does it make a folder that is not there.
    TempDir empty;
    TBookFolder(Project(empty)).Tidy();
    EXPECT_FALSE(fs::exists(empty / "Tales"));
}
