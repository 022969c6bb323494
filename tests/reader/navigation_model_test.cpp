// Random walks through the book with the arrows, the contents button, the contents menu and
// the web link, on the real reader window, each action checked against a model of the page
// table.
#include <gtest/gtest.h>

#include <QApplication>
#include <random>

#include "commands/commands.h"
#include "content/notice_page.h"
#include "navigation/navigation.h"
#include "reader_fixture.h"

namespace {

using test::Bytes;

struct Model {
    int pageIndex = 0;
    std::string currentPage;
    std::string text2 = "Text2";
    bool steppedBackOntoFirstStored = false;
    bool focusOnText1 = false;
};

const char* const kFiles[] = {"\\res\\1p.html", "\\res\\2p.html", "\\res\\3p.html", "\\res\\Chapter\\01.html",
                              "\\res\\Chapter\\02.html", "\\res\\Chapter\\03.html", "\\res\\Chapter\\04.html",
                              "\\res\\Chapter\\05.html"};

// The page a page index shows, from the page table.
std::string pageOf(const test::ReaderUnderTest& reader, int index, bool steppedBack)
{
    if (index < 8)
        return reader.page(kFiles[index]);
    return reader.page(index == 8 && steppedBack ? "\\res\\Chapter\\temp.html" : "\\res\\Chapter\\faj.trm");
}

void checkAgainstModel(test::ReaderUnderTest& reader, const Model& model, const std::string& action)
{
    SCOPED_TRACE(action);
    auto* form = reader.form;
    ASSERT_EQ(form->pageIndex(), model.pageIndex);
    ASSERT_EQ(form->currentPage(), model.currentPage);
    ASSERT_EQ(form->Text2->text().toStdString(), model.text2);
    // The arrows hide at the ends; the menu shows exactly with the contents page.
    ASSERT_EQ(reader.shown(reader.flash(11)), model.pageIndex != 0);
    ASSERT_EQ(reader.shown(reader.flash(12)), model.pageIndex != 15);
    ASSERT_EQ(reader.menuShown(), model.pageIndex == 2);
    if (model.focusOnText1) {
        ASSERT_EQ(QApplication::focusWidget(), form->Text1);
    }
    ASSERT_TRUE(reader.errors.empty()) << reader.errors.front().line();

    if (model.pageIndex >= 8 && model.currentPage.rfind("http", 0) != 0) {
        const int record = model.pageIndex - 7;
        const auto stored = reader.book.record(record);
        const auto notice = content::unreadableChapterPage();
        const Bytes expected = stored ? *stored : Bytes(notice.begin(), notice.end());
        ASSERT_EQ(test::readFile(core::resolveInstallPath(model.currentPage)), expected) << "record " << record;
        if (stored) {
            ASSERT_FALSE(form->rsxs().Eof());
            ASSERT_EQ(form->rsxs().position(), record - 1);
        }
    }
}

void walk(const test::StoreOptions& store, int actions, unsigned seed)
{
    test::ReaderUnderTest reader(store);
    auto* form = reader.form;
    Model model;
    model.currentPage = reader.page("\\res\\1p.html");
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));

    for (int step = 0; step < actions; ++step) {
        // What a person could click now: only visible buttons can take the focus.
        std::vector<int> clickable = {10, 0 /* the label */};
        if (model.pageIndex != 0)
            clickable.push_back(11);
        if (model.pageIndex != 15) {
            clickable.push_back(12);
            clickable.push_back(12);  // forward more often than back: the walk reaches the end
        }
        if (model.pageIndex == 2)
            for (int n = 21; n <= 35; ++n)
                clickable.push_back(n);
        const int choice = clickable[std::uniform_int_distribution<std::size_t>(0, clickable.size() - 1)(random)];

        std::string action;
        if (choice == 0) {
            action = "web link";
            reader.click(form->Label1);
            model.currentPage = std::string(commands::kPublisherPage);
        } else if (choice == 10) {
            action = "contents button";
            reader.click(reader.flash(10));
            model.pageIndex = 2;
            model.currentPage = pageOf(reader, 2, false);
            model.focusOnText1 = true;
        } else if (choice == 11 || choice == 12) {
            const bool back = choice == 11;
            action = back ? "up arrow" : "down arrow";
            reader.click(reader.flash(choice));
            model.pageIndex += back ? -1 : 1;
            model.steppedBackOntoFirstStored = back && model.pageIndex == 8;
            model.currentPage = pageOf(reader, model.pageIndex, model.steppedBackOntoFirstStored);
            model.text2 = std::to_string(model.pageIndex);
            model.focusOnText1 = true;
        } else {
            action = "menu button ShockwaveFlash" + std::to_string(choice);
            reader.click(reader.flash(choice));
            // 21..33 are chapters 1 to 13 (pages 3 to 15); 34 is the cover, 35 the second page.
            model.pageIndex = choice <= 33 ? choice - 18 : choice - 34;
            model.currentPage = pageOf(reader, model.pageIndex, false);
            model.focusOnText1 = true;
        }
        checkAgainstModel(reader, model, "action " + std::to_string(step) + ": " + action);
        if (::testing::Test::HasFatalFailure())
            return;
        if (step % 50 == 0)
            QCoreApplication::processEvents();
    }
}

TEST(NavigationModel, RandomWalkOverAFullStore) { walk({}, 3000, 20240601u); }

// Fewer than eight records: the pages past the store show the notice page, and the reader
// keeps running where positioning runs past the end.
TEST(NavigationModel, RandomWalkOverAShortStore) { walk({.records = 3}, 1500, 7u); }
TEST(NavigationModel, RandomWalkOverAnEmptyStore) { walk({.records = 0}, 600, 11u); }
TEST(NavigationModel, RandomWalkOverNullRecords) { walk({.records = 8, .nullRecords = true}, 600, 3u); }

// The book's stated paths, walked in order: down through all sixteen pages and back up.
TEST(NavigationModel, DownThroughTheBookAndBackUp)
{
    test::ReaderUnderTest reader;
    auto* form = reader.form;
    for (int page = 1; page <= 15; ++page) {
        reader.click(reader.flash(12));
        ASSERT_EQ(form->pageIndex(), page);
    }
    EXPECT_FALSE(reader.shown(reader.flash(12)));
    EXPECT_EQ(test::readFile(reader.book.root() / "res/Chapter/faj.trm"), *reader.book.record(8));
    for (int page = 14; page >= 0; --page) {
        reader.click(reader.flash(11));
        ASSERT_EQ(form->pageIndex(), page);
    }
    EXPECT_FALSE(reader.shown(reader.flash(11)));
    EXPECT_EQ(form->Text2->text(), "0");
    // Back onto page 8 went through temp.html; the forward pages through faj.trm.
    EXPECT_EQ(test::readFile(reader.book.root() / "res/Chapter/temp.html"), *reader.book.record(1));
    EXPECT_EQ(test::readFile(reader.book.root() / "res/Chapter/faj.trm"), *reader.book.record(2));
    EXPECT_TRUE(reader.errors.empty());
}

}  // namespace
