// The compound document wrapper: opening or creating, enumerating, the
// stream adapter, exclusive sharing.

#include "Testutil.h"
#include "storage/Componounddoc.h"

#include <gtest/gtest.h>

using namespace volm;
using volm::test::TempDir;
using volm::test::runInChild;

namespace {

uint32_t statusOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const EStorageError& e) {
        return e.status();
    }
    return 0;
}

} // namespace

TEST(Componounddoc, MissingFileWithCreateModeBecomesAnEmptyCompoundFile)
{
    TempDir dir;
    std::string path = (dir / "new.volm").string();
    {
        TComponoundDocument doc(path, 0x1012);
        std::list<TDocElem> list{TDocElem{}};
        doc.EnumElements(list);
        EXPECT_TRUE(list.empty());
        doc.Commit();
    }
    EXPECT_TRUE(std::filesystem::exists(path));
    TComponoundDocument doc(path, 0x12);
}

TEST(Componounddoc, PlainFileIsRefusedAndLeftAsItWas)
{
    TempDir dir;
    std::string path = (dir / "plain.volm").string();
    test::writeFile(path, "just some text\n");
    EXPECT_EQ(statusOf([&] { TComponoundDocument doc(path, 0x12); }), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(test::readFile(path), "just some text\n");
    // With STGM_CREATE it is replaced.
    { TComponoundDocument doc(path, 0x1012); }
    TComponoundDocument doc(path, 0x12);
}

TEST(Componounddoc, CorruptCompoundFileIsRefusedNotReplaced)
{
    TempDir dir;
    std::string path = (dir / "bad.volm").string();
    { TComponoundDocument doc(path, 0x1012); }
    std::string bytes = test::readFile(path);
    bytes.resize(700); // keeps the signature, loses the directory
    test::writeFile(path, bytes);
    try {
        TComponoundDocument doc(path, 0x1012);
        ADD_FAILURE();
    } catch (const EStorageError& e) {
        EXPECT_EQ(e.status(), STG_E_DOCFILECORRUPT);
        EXPECT_NE(std::string(e.what()).find(path + ": "), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("[0x80030109]"), std::string::npos);
    }
    EXPECT_EQ(test::readFile(path), bytes);
}

TEST(Componounddoc, StreamsCreateOpenDestroyAndEnumerateInNameOrder)
{
    TempDir dir;
    std::string path = (dir / "p.volm").string();
    TComponoundDocument doc(path, 0x1012);
    for (int n : {105, 101, 1000, 99, 102, 0}) {
        TDocStream s;
        doc.CreateStream(s, std::to_string(n), 0x12);
        ASSERT_NE(s.Stream(), nullptr);
        std::string text = "topic " + std::to_string(n);
        s.Stream()->WriteBuffer(text.data(), text.size());
    }
    {
        TDocStream s;
        doc.CreateStream(s, "\xCF\xF0\xE8\xEC\xE5\xF0", 0x12); // Windows-1251
    }
    std::list<TDocElem> list;
    doc.EnumElements(list);
    std::vector<std::string> names;
    for (auto& e : list) {
        names.push_back(e.name);
        EXPECT_EQ(e.type, STGTY_STREAM);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"0", "99", "101", "102", "105", "1000", "\xCF\xF0\xE8\xEC\xE5\xF0"}));
    EXPECT_EQ(list.front().size, 7u); // "topic 0"

    // Existing name: refused without STGM_CREATE, emptied with it.
    TDocStream t;
    EXPECT_EQ(statusOf([&] { doc.CreateStream(t, "101", 0x12); }), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(t.Stream(), nullptr);
    doc.CreateStream(t, "101", 0x1012);
    EXPECT_EQ(t.Stream()->Size(), 0u);
    t.Close();

    // Missing or open streams leave the target as it was.
    TDocStream u;
    doc.OpenStream(u, "102", 0x12);
    TStream* before = u.Stream();
    EXPECT_EQ(statusOf([&] { doc.OpenStream(u, "7", 0x12); }), STG_E_FILENOTFOUND);
    EXPECT_EQ(u.Stream(), before);
    TDocStream v;
    EXPECT_NE(statusOf([&] { doc.OpenStream(v, "102", 0x12); }), 0u);
    EXPECT_EQ(v.Stream(), nullptr);
    std::string got(9, '\0');
    u.Stream()->ReadBuffer(got.data(), got.size());
    EXPECT_EQ(got, "topic 102");
    u.Close();
    u.Close(); // nothing more

    doc.DestroyElement("102");
    EXPECT_EQ(statusOf([&] { doc.DestroyElement("102"); }), STG_E_FILENOTFOUND);
    doc.EnumElements(list);
    EXPECT_EQ(list.size(), 6u);
}

TEST(Componounddoc, AdapterReadsWritesSeeksAndResizes)
{
    TempDir dir;
    TComponoundDocument doc((dir / "p.volm").string(), 0x1012);
    TDocStream s;
    doc.CreateStream(s, "101", 0x12);
    TStream& st = *s.Stream();
    std::string block(5000, 'a');
    st.WriteBuffer(block.data(), block.size());
    EXPECT_EQ(st.Position(), 5000u);
    EXPECT_EQ(st.Seek(-10, soEnd), 4990u);
    st.WriteBuffer("0123456789xyz", 13);
    EXPECT_EQ(st.Size(), 5003u);
    st.SetSize(883);
    EXPECT_EQ(st.Size(), 883u);
    st.SetPosition(0);
    std::string back(2000, '\0');
    EXPECT_EQ(st.Read(back.data(), back.size()), 883u);
    EXPECT_EQ(back.substr(0, 883), std::string(883, 'a'));
    EXPECT_EQ(st.Read(back.data(), 10), 0u);
    EXPECT_EQ(statusOf([&] { st.Seek(-1, soBeginning); }), STG_E_INVALIDFUNCTION);

    TDocStream t;
    doc.CreateStream(t, "102", 0x12);
    EXPECT_EQ(t.Stream()->CopyFrom(st, 0), 883u);
    EXPECT_EQ(t.Stream()->Size(), 883u);
}

TEST(Componounddoc, SecondOpenOfAnOpenFileFails)
{
    TempDir dir;
    std::string path = (dir / "p.volm").string();
    TComponoundDocument doc(path, 0x1012);
    EXPECT_EQ(statusOf([&] { TComponoundDocument again(path, 0x12); }), STG_E_SHAREVIOLATION);
    EXPECT_EQ(statusOf([&] { TComponoundDocument again(path, 0x1012); }), STG_E_SHAREVIOLATION);
    // A relative path to the same file conflicts as well.
    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir.path());
    uint32_t st = statusOf([&] { TComponoundDocument again("p.volm", 0x12); });
    std::filesystem::current_path(cwd);
    EXPECT_EQ(st, STG_E_SHAREVIOLATION);
    // And so does another process.
    EXPECT_EQ(runInChild([&] {
                  uint32_t s = statusOf([&] { TComponoundDocument again(path, 0x12); });
                  return s == STG_E_SHAREVIOLATION ? 0 : 1;
              }),
              0);
}

TEST(Componounddoc, ClosedFileCanBeOpenedAgain)
{
    TempDir dir;
    std::string path = (dir / "p.volm").string();
    {
        TComponoundDocument doc(path, 0x1012);
        TDocStream s;
        doc.CreateStream(s, "101", 0x12);
        s.Stream()->WriteBuffer("abc", 3);
    }
    { TComponoundDocument doc(path, 0x12); }
    // An existing compound file is opened, not replaced, even with STGM_CREATE.
    TComponoundDocument doc(path, 0x1012);
    std::list<TDocElem> list;
    doc.EnumElements(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front().size, 3u);
}

TEST(Componounddoc, EmptyNameIsATemporaryFile)
{
    TComponoundDocument doc("", 0x1012);
    TDocStream s;
    doc.CreateStream(s, "1", 0x12);
    s.Stream()->WriteBuffer("abc", 3);
    EXPECT_EQ(s.Stream()->Size(), 3u);
}

TEST(Componounddoc, InvalidNamesRaiseTheStorageError)
{
    TempDir dir;
    TComponoundDocument doc((dir / "p.volm").string(), 0x1012);
    TDocStream s;
    for (std::string name : {std::string(), std::string(32, 'x'), std::string("a/b"), std::string("a\\b"),
                             std::string("a:b"), std::string("a!b")})
        EXPECT_EQ(statusOf([&] { doc.CreateStream(s, name, 0x12); }), STG_E_INVALIDNAME) << name;
}
