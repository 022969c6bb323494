#include "core/install_path.h"

#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class InstallPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("install_path_test_" + std::to_string(::getpid()));
        fs::create_directories(root / "res" / "Chapter");
        std::ofstream(root / "res" / "Chapter" / "01.html") << "x";
        std::ofstream(root / "res" / "1p.html") << "x";
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(InstallPathTest, MapsBackslashesAndMatchesEachComponentWithoutCase)
{
    EXPECT_EQ(core::resolveInstallPath(root.string() + "\\res\\1p.html"), root / "res" / "1p.html");
    EXPECT_EQ(core::resolveInstallPath(root.string() + "\\RES\\chapter\\01.HTML"), root / "res" / "Chapter" / "01.html");
    EXPECT_EQ(core::resolveInstallPath(root.string() + "\\res\\Chapter\\faj.trm"), root / "res" / "Chapter" / "faj.trm");
}

TEST_F(InstallPathTest, KeepsMissingComponentsAsWrittenAndToleratesDoubledSeparators)
{
    EXPECT_EQ(core::resolveInstallPath(root.string() + "\\res\\Missing\\Chapter\\x.html"),
              root / "res" / "Missing" / "Chapter" / "x.html");
    EXPECT_EQ(core::resolveInstallPath(root.string() + "\\\\res\\1p.html"), root / "res" / "1p.html");
}

TEST_F(InstallPathTest, ConfinementSeesThroughDotDotAndLinks)
{
    EXPECT_TRUE(core::isInsideFolder(root / "res" / "1p.html", root));
    EXPECT_TRUE(core::isInsideFolder(root / "res" / "nothing-yet.html", root));
    EXPECT_FALSE(core::isInsideFolder(root / "res" / ".." / ".." / "etc", root));
    fs::create_directory_symlink("/etc", root / "res" / "out");
    EXPECT_FALSE(core::isInsideFolder(root / "res" / "out" / "passwd", root));
    EXPECT_FALSE(core::isInsideFolder(root.string() + "-sibling/x", root));
}

TEST_F(InstallPathTest, NamesThatDifferOnlyInCaseResolveToOneEntryForEverySpelling)
{
    fs::create_directories(root / "res" / "chapter");
    fs::create_directories(root / "res" / "CHAPTER");
    for (const char* spelling : {"\\res\\Chapter\\x", "\\res\\chapter\\x", "\\res\\CHAPTER\\x", "\\res\\cHAPTER\\x"})
        EXPECT_EQ(core::resolveInstallPath(root.string() + spelling), root / "res" / "CHAPTER" / "x") << spelling;
}

TEST(PageRequestPaths, StayInsideUnlessTheyClimbOrCarryANul)
{
    for (const char* path : {"/res/1p.html", "res/Chapter/faj.trm", "/res/..x/a..b/...", "/", ""})
        EXPECT_TRUE(core::staysInsideFolder(path)) << path;
    using namespace std::string_view_literals;
    for (const std::string_view path : {"/res/../../etc/passwd"sv, ".."sv, "/res/..\\..\\x"sv, "/res\\..\\x"sv,
                                        "/res/1p.html\0/x"sv, "/res/.."sv})
        EXPECT_FALSE(core::staysInsideFolder(path)) << path;
}

TEST(ApplicationFolder, IsTheExecutablesFolderUnlessOverridden)
{
    EXPECT_FALSE(core::applicationFolder().empty());
    EXPECT_NE(core::applicationFolder().back(), '/');
    core::overrideApplicationFolder("/tmp/book");
    EXPECT_EQ(core::applicationFolder(), "/tmp/book");
    core::overrideApplicationFolder(std::nullopt);
}

}  // namespace
