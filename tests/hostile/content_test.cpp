// Stored chapters written out under bad luck: a second reader writing the same page files,
// a full disk, an installation that cannot be written, a folder spelt two ways.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "book_fixture.h"
#include "content/extract_chapter.h"
#include "content/open_access.h"
#include "core/page_files.h"
#include "jet/ado.h"

namespace fs = std::filesystem;
using test::Bytes;
using test::TempBook;

namespace {

std::shared_ptr<jet::Recordset> openChapters(std::shared_ptr<jet::Connection>& connection)
{
    content::OpenAccess(connection, [] { FAIL() << "connection reported as failed"; });
    auto rsxs = std::make_shared<jet::Recordset>();
    rsxs->ActiveConnection = connection;
    rsxs->Source = "select m1 from b1";
    rsxs->Open();
    return rsxs;
}

void standOn(jet::Recordset& rsxs, int record)
{
    rsxs.MoveFirst();
    if (record > 1)
        rsxs.Move(record - 1);
}

Bytes asBytes(const std::optional<std::string>& text)
{
    return text ? Bytes(text->begin(), text->end()) : Bytes();
}

std::vector<std::string> entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A mount for the length of a test; `ok()` is false where mounts cannot be made.
class ScopedMount {
public:
    ScopedMount(const fs::path& target, const char* type, const char* source, unsigned long flags, const char* data)
        : target_(target)
    {
        ok_ = ::mount(source, target.c_str(), type, flags, data) == 0;
    }
    bool remountReadOnly()
    {
        return ::mount(nullptr, target_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    ~ScopedMount()
    {
        if (ok_)
            ::umount2(target_.c_str(), MNT_DETACH);
    }
    bool ok() const { return ok_; }

private:
    fs::path target_;
    bool ok_ = false;
};

class HostileChapters : public ::testing::Test {
protected:
    void SetUp() override
    {
        core::forgetPages();
        core::overrideApplicationFolder(book.folder());
        cache = fs::temp_directory_path() / ("hostile-cache-" + std::to_string(::getpid()));
        ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("XDG_CACHE_HOME");
        core::overrideApplicationFolder(std::nullopt);
        fs::remove_all(cache);
        core::forgetPages();
    }
    TempBook book{{.records = 8, .recordSize = 60000}};
    std::shared_ptr<jet::Connection> connection;
    std::shared_ptr<jet::Recordset> rsxs = openChapters(connection);
    std::string faj = book.folder() + "\\res\\Chapter\\faj.trm";
    fs::path fajFile = book.root() / "res" / "Chapter" / "faj.trm";
    fs::path cache;
};

// Two readers on one installation step through the stored chapters at once. Each shows
// its own chapter (the page view serves what this reader wrote), and the file on disk is
// always one whole page, never a mixture, an empty file or nothing.
TEST_F(HostileChapters, TwoReadersSteppingAtOnceEachKeepTheirOwnWholePage)
{
    const pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        // The second reader, in its own process: its own connection, chapters 6 to 9.
        std::shared_ptr<jet::Connection> itsConnection;
        auto itsRecordset = openChapters(itsConnection);
        for (int turn = 0; turn < 400; ++turn) {
            standOn(*itsRecordset, 1 + turn % 4);
            content::ExtractChapter(*itsRecordset, faj);
        }
        std::_Exit(0);
    }
    std::vector<Bytes> records;
    for (int k = 1; k <= 8; ++k)
        records.push_back(*book.record(k));
    int wrongOnDisk = 0, wrongShown = 0;
    for (int turn = 0; turn < 400; ++turn) {
        const int record = 5 + turn % 4;  // this reader: chapters 10 to 13
        standOn(*rsxs, record);
        content::ExtractChapter(*rsxs, faj);
        if (asBytes(core::rememberedPage(fajFile)) != records[record - 1])
            ++wrongShown;
        const Bytes onDisk = test::readFile(fajFile);
        if (std::find(records.begin(), records.end(), onDisk) == records.end())
            ++wrongOnDisk;
    }
    int status = 0;
    ASSERT_EQ(::waitpid(other, &status, 0), other);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(wrongShown, 0);
    EXPECT_EQ(wrongOnDisk, 0);
    // No temporary file is left beside the page files.
    for (const auto& name : entries(book.root() / "res" / "Chapter"))
        EXPECT_FALSE(name.ends_with(".tmp")) << name;
}

TEST_F(HostileChapters, AFullDiskLeavesNoPageFileAndShowsWhy)
{
    const fs::path chapterFolder = book.root() / "res" / "Chapter";
    ScopedMount disk(chapterFolder, "tmpfs", "tmpfs", 0, "size=64k");
    if (!disk.ok())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    // Fill the disk but for less than one chapter.
    {
        std::ofstream filler(chapterFolder / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 15 && filler; ++i)
            filler.write(block.data(), std::streamsize(block.size()));
    }
    test::writeFile(fajFile, "<p>the page before</p>");
    standOn(*rsxs, 3);
    content::ExtractChapter(*rsxs, faj);
    // Nothing half-written stays, neither the page file nor a temporary one.
    EXPECT_FALSE(fs::exists(fajFile));
    EXPECT_EQ(entries(chapterFolder), std::vector<std::string>{"filler"});
    const std::string shown = core::rememberedPage(fajFile).value_or("");
    EXPECT_NE(shown.find("磁盘已满"), std::string::npos) << shown;

    // Room again: the chapter is written whole, as always.
    fs::remove(chapterFolder / "filler");
    content::ExtractChapter(*rsxs, faj);
    EXPECT_EQ(test::readFile(fajFile), *book.record(3));
    EXPECT_EQ(asBytes(core::rememberedPage(fajFile)), *book.record(3));
}

TEST_F(HostileChapters, AFolderThatCannotBeWrittenShowsWhy)
{
    fs::remove_all(book.root() / "res" / "Chapter");
    standOn(*rsxs, 2);
    content::ExtractChapter(*rsxs, faj);
    EXPECT_FALSE(fs::exists(book.root() / "res" / "Chapter"));
    const std::string shown = core::rememberedPage(fajFile).value_or("");
    EXPECT_NE(shown.find("无法写入"), std::string::npos) << shown;
}

// A read-only installation (root respects a read-only mount): the page files go to the
// user's overlay, with the same names and bytes, fresh on every arrival; once the
// installation can be written again they go back in place.
TEST_F(HostileChapters, AReadOnlyInstallationWritesToTheOverlay)
{
    const auto installed = entries(book.root() / "res" / "Chapter");
    {
        ScopedMount readOnly(book.root(), nullptr, book.folder().c_str(), MS_BIND, nullptr);
        if (!readOnly.ok() || !readOnly.remountReadOnly())
            GTEST_SKIP() << "no read-only bind mount can be made here";
        const fs::path overlay = core::overlayFolder(book.folder()) / "res" / "Chapter";
        EXPECT_EQ(overlay.parent_path().parent_path().parent_path(), cache / "talvorin");
        for (const int record : {1, 2, 1}) {
            standOn(*rsxs, record);
            content::ExtractChapter(*rsxs, faj);
            EXPECT_EQ(test::readFile(overlay / "faj.trm"), *book.record(record));
            EXPECT_EQ(asBytes(core::rememberedPage(fajFile)), *book.record(record));
        }
        standOn(*rsxs, 2);
        content::ExtractChapter(*rsxs, book.folder() + "\\res\\Chapter\\temp.html");
        EXPECT_EQ(test::readFile(overlay / "temp.html"), *book.record(2));
        EXPECT_EQ(entries(overlay), (std::vector<std::string>{"faj.trm", "temp.html"}));
        EXPECT_EQ(entries(book.root() / "res" / "Chapter"), installed);
    }
    standOn(*rsxs, 4);
    content::ExtractChapter(*rsxs, faj);
    EXPECT_EQ(test::readFile(fajFile), *book.record(4));
    EXPECT_FALSE(fs::exists(core::overlayFolder(book.folder()) / "res" / "Chapter" / "faj.trm"));
}

// "Chapter" and "chapter" side by side on a case-sensitive disk: every spelling writes to,
// and reads from, one and the same folder.
TEST_F(HostileChapters, BothSpellingsOfTheChapterFolderAreOneFolder)
{
    fs::create_directory(book.root() / "res" / "chapter");
    standOn(*rsxs, 5);
    content::ExtractChapter(*rsxs, faj);
    standOn(*rsxs, 6);
    content::ExtractChapter(*rsxs, book.folder() + "\\res\\chapter\\temp.html");
    const fs::path chosen = core::resolveInstallPath(book.folder() + "\\res\\CHAPTER");
    for (const char* spelling : {"\\res\\Chapter\\", "\\res\\chapter\\", "\\RES\\cHaPtEr\\"}) {
        EXPECT_EQ(core::resolveInstallPath(book.folder() + spelling + "faj.trm"), chosen / "faj.trm");
        EXPECT_EQ(core::resolveInstallPath(book.folder() + spelling + "temp.html"), chosen / "temp.html");
    }
    EXPECT_EQ(test::readFile(chosen / "faj.trm"), *book.record(5));
    EXPECT_EQ(test::readFile(chosen / "temp.html"), *book.record(6));
    // The store's own folder resolves the same way: the smallest name, "Chapter".
    EXPECT_EQ(chosen.filename(), "Chapter");
}

}  // namespace
