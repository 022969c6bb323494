// Opening the chapter store and writing stored chapters out to page files.
#include <gtest/gtest.h>

#include "book_fixture.h"
#include "content/extract_chapter.h"
#include "content/notice_page.h"
#include "content/open_access.h"
#include "jet/ado.h"

namespace {

using test::Bytes;
using test::TempBook;

std::shared_ptr<jet::Recordset> openChapters(std::shared_ptr<jet::Connection>& connection)
{
    content::OpenAccess(connection, [] { FAIL() << "connection reported as failed"; });
    auto rsxs = std::make_shared<jet::Recordset>();
    rsxs->ActiveConnection = connection;
    rsxs->Source = "select m1 from b1";
    rsxs->Open();
    return rsxs;
}

Bytes noticeBytes()
{
    const auto notice = content::unreadableChapterPage();
    return Bytes(notice.begin(), notice.end());
}

TEST(OpenAccess, OpensOnceAndKeepsTheConnectionAfterwards)
{
    TempBook book;
    std::shared_ptr<jet::Connection> adocnaccess;
    int failures = 0;
    EXPECT_EQ(content::OpenAccess(adocnaccess, [&] { ++failures; }), "数据库连接成功");
    ASSERT_TRUE(adocnaccess);
    EXPECT_EQ(adocnaccess->State(), jet::adStateOpen);
    EXPECT_EQ(adocnaccess->ConnectionTimeout, 5);
    const std::string text = adocnaccess->ConnectionString;
    EXPECT_EQ(text, "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source=" + book.folder() +
                        "\\res\\chapter\\qvd.dll ;Jet OLEDB:Database Password=38pondwick71");

    // A second call finds it open: nothing rebuilt, nothing reopened.
    adocnaccess->ConnectionTimeout = 99;
    EXPECT_EQ(content::OpenAccess(adocnaccess, [&] { ++failures; }), "");
    EXPECT_EQ(adocnaccess->ConnectionString, text);
    EXPECT_EQ(adocnaccess->ConnectionTimeout, 99);
    EXPECT_EQ(failures, 0);
}

TEST(OpenAccess, ProviderErrorsReachTheCaller)
{
    {
        TempBook missing({}, /*withStore=*/false);
        std::shared_ptr<jet::Connection> adocnaccess;
        EXPECT_THROW(content::OpenAccess(adocnaccess, [] {}), core::RuntimeError);
    }
    {
        TempBook wrongPassword({.password = "not-the-one"});
        std::shared_ptr<jet::Connection> adocnaccess;
        try {
            content::OpenAccess(adocnaccess, [] {});
            FAIL() << "opened with a wrong password";
        } catch (const core::RuntimeError& error) {
            EXPECT_NE(error.description().find("password"), std::string::npos) << error.description();
        }
    }
}

class ExtractChapterTest : public ::testing::Test {
protected:
    TempBook book;
    std::shared_ptr<jet::Connection> connection;
    std::shared_ptr<jet::Recordset> rsxs = openChapters(connection);
    std::string faj = book.folder() + "\\res\\Chapter\\faj.trm";
    std::filesystem::path fajFile = book.root() / "res/Chapter/faj.trm";
};

TEST_F(ExtractChapterTest, ReplacesALongerFileCompletely)
{
    test::writeFile(fajFile, std::string(100000, 'x'));
    rsxs->MoveFirst();
    rsxs->Move(2);
    content::ExtractChapter(*rsxs, faj);
    EXPECT_EQ(test::readFile(fajFile), *book.record(3));

    // The page on show is rewritten by the next chapter: the file holds only the new one.
    rsxs->MoveNext();
    content::ExtractChapter(*rsxs, faj);
    EXPECT_EQ(test::readFile(fajFile), *book.record(4));
    EXPECT_EQ(rsxs->position(), 3) << "ExtractChapter never moves the recordset";
}

TEST_F(ExtractChapterTest, PastTheLastRecordWritesTheNoticePage)
{
    rsxs->MoveFirst();
    rsxs->Move(8);
    ASSERT_TRUE(rsxs->Eof());
    test::writeFile(fajFile, "old page");
    content::ExtractChapter(*rsxs, faj);
    EXPECT_EQ(test::readFile(fajFile), noticeBytes());
    const std::string notice(content::unreadableChapterPage());
    EXPECT_NE(notice.find("charset=\"utf-8\""), std::string::npos);
    EXPECT_NE(notice.find("无法读取本章"), std::string::npos);
}

TEST_F(ExtractChapterTest, MissingFolderWritesNothingAndReportsNothing)
{
    std::filesystem::remove_all(book.root() / "res/Chapter");
    rsxs->MoveFirst();  // the store stays open although its folder is gone
    content::ExtractChapter(*rsxs, faj);
    EXPECT_FALSE(std::filesystem::exists(book.root() / "res/Chapter"));
    EXPECT_FALSE(std::filesystem::exists(book.root() / "res/faj.trm"));
}

TEST_F(ExtractChapterTest, FolderNameMatchesWithoutRegardToCase)
{
    // The page paths say "Chapter"; an installation may spell it "chapter".
    std::filesystem::rename(book.root() / "res/Chapter", book.root() / "res/chapter");
    rsxs->MoveFirst();
    content::ExtractChapter(*rsxs, book.folder() + "\\res\\Chapter\\temp.html");
    EXPECT_EQ(test::readFile(book.root() / "res/chapter/temp.html"), *book.record(1));
    EXPECT_FALSE(std::filesystem::exists(book.root() / "res/Chapter"));
}

TEST(ExtractChapterValues, EmptyAndNullValues)
{
    {
        // A value of zero bytes is read without a failure: an empty file, no notice.
        TempBook empty({.records = 1, .emptyRecords = true});
        std::shared_ptr<jet::Connection> connection;
        auto rsxs = openChapters(connection);
        test::writeFile(empty.root() / "res/Chapter/faj.trm", "old page");
        content::ExtractChapter(*rsxs, empty.folder() + "\\res\\Chapter\\faj.trm");
        EXPECT_TRUE(std::filesystem::exists(empty.root() / "res/Chapter/faj.trm"));
        EXPECT_EQ(test::readFile(empty.root() / "res/Chapter/faj.trm"), Bytes());
    }
    TempBook nulls({.records = 3, .nullRecords = true});
    std::shared_ptr<jet::Connection> connection;
    auto rsxs = openChapters(connection);
    ASSERT_FALSE(rsxs->Eof());
    content::ExtractChapter(*rsxs, nulls.folder() + "\\res\\Chapter\\faj.trm");
    EXPECT_EQ(test::readFile(nulls.root() / "res/Chapter/faj.trm"), noticeBytes());
}

}  // namespace
