// The main of the GUI tests: a QApplication on the offscreen platform, and
// scratch configuration and data folders so that the tests never touch the
// user's registry file, MIME database or desktop entries.
#include "Testutil.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    volm::test::failUndeclaredSkipsInCi();
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string tmpl = (std::filesystem::temp_directory_path() / "volm-gui-XXXXXX").string();
    const char* scratch = ::mkdtemp(tmpl.data());
    if (!scratch)
        return 2;
    setenv("XDG_CONFIG_HOME", (std::string(scratch) + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (std::string(scratch) + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", scratch, 1);
    int status;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Volm"));
        status = RUN_ALL_TESTS();
    }
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
    return status;
}
