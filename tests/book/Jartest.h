#pragma once
// Reading back the jars a build made, with the outside tools: their entries
// and members through unzip, and the whole check of unzip -t, Python's
// zipfile and the JDK's jar; the manifest of the tests' book, and a
// phone-sized Russian book to build.

#include "Testutil.h"
#include "archive/Ziptestutil.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace volm::test {

// The entries of a jar, as unzip lists them, in archive order.
inline std::vector<std::string> JarEntries(const fs::path& jar)
{
    RunResult r = run({"unzip", "-Z1", jar.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    return nonEmptyLines(r.out);
}

inline std::string JarMember(const fs::path& jar, const std::string& name)
{
    RunResult r = run({"unzip", "-p", jar.string(), name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    return r.out;
}

// unzip -t, Python's zipfile (every member read, no name twice, exactly one
// manifest) and jar tf all accept the jar. Returns what jar tf listed (nothing
// without the JDK).
inline std::vector<std::string> ExpectToolsAccept(const fs::path& jar)
{
    expectZipToolsAccept(jar, "names = z.namelist()\n"
                              "assert len(names) == len(set(names))\n"
                              "assert sum(1 for n in names if n.upper() == 'META-INF/MANIFEST.MF') == 1\n");
    if (!haveProgram("jar"))
        return {};
    RunResult j = run({"jar", "tf", jar.string()});
    EXPECT_EQ(j.status, 0) << jar << "\n" << j.err;
    return nonEmptyLines(j.out);
}

// The manifest of the book "Tales" by "ACME" (information URL "X").
inline const std::string kTalesManifest = "Manifest-Version: 1.0\r\n"
                                          "MIDlet-1: Tales, /images/orvane.png, LumeriaMain\r\n"
                                          "MIDlet-Info-URL: X\r\n"
                                          "MIDlet-Name: Tales\r\n"
                                          "MIDlet-Vendor: ACME\r\n"
                                          "MIDlet-Version: 1.0.1\r\n"
                                          "MicroEdition-Configuration: CLDC-1.0\r\n"
                                          "MicroEdition-Profile: MIDP-1.0\r\n";

// Windows-1251 text of Russian-like words in sentences, paragraphs ending in
// CR LF; the same for a seed.
inline std::string RussianText(size_t bytes, unsigned seed, size_t paragraph = 600)
{
    // о е а и н т с р в л к м д п у я ы ь г з, the commoner first
    static const char letters[] = "\xee\xee\xee\xe5\xe5\xe0\xe0\xe8\xe8\xed\xed\xf2\xf2\xf1\xf0\xe2\xeb"
                                  "\xea\xec\xe4\xef\xf3\xff\xfb\xfc\xe3\xe7";
    std::mt19937 rng(seed);
    std::string s;
    size_t inParagraph = 0;
    while (s.size() < bytes) {
        std::string w;
        for (size_t n = 1 + rng() % 9; n > 0; --n)
            w += letters[rng() % (sizeof letters - 1)];
        s += w + (rng() % 8 == 0 ? ". " : " ");
        inParagraph += w.size() + 1;
        if (paragraph && inParagraph >= paragraph) {
            s += "\r\n";
            inParagraph = 0;
        }
    }
    s.resize(bytes);
    return s;
}

} // namespace volm::test
