// The reader window right after start-up, its layout, its unload, and the keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <thread>

#include "navigation/navigation.h"
#include "reader/layout.h"
#include "reader_fixture.h"

namespace {

using test::ReaderUnderTest;

bool focusIsIn(QWidget* widget)
{
    QWidget* focus = QApplication::focusWidget();
    return focus && (focus == widget || widget->isAncestorOf(focus));
}

TEST(ReaderStartUp, StateRightAfterStartUp)
{
    ReaderUnderTest reader;
    auto* form = reader.form;
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), "Talvorin");

    // Outer size 15070 x 11715 twips: the client area plus the frame.
    const QSize client = form->size();
    const QMargins frame = form->assumedFrame();
    EXPECT_EQ(client.width() + frame.left() + frame.right(), 1005);
    EXPECT_EQ(client.height() + frame.top() + frame.bottom(), 781);

    // The browser moved to Left 0, its top and size as designed.
    EXPECT_EQ(form->WebBrowser1->geometry(), QRect(0, 72, 1000, 625));
    EXPECT_TRUE(form->WebBrowser1->silent());

    EXPECT_EQ(form->pageIndex(), 0);
    EXPECT_EQ(form->currentPage(), reader.page("\\res\\1p.html"));
    EXPECT_TRUE(form->WebBrowser1->currentUrl().toString().contains("1p.html")) << form->WebBrowser1->currentUrl().toString().toStdString();

    EXPECT_FALSE(reader.shown(reader.flash(11)));
    EXPECT_FALSE(reader.menuShown());
    for (int number : {2, 3, 4, 5, 10, 12})
        EXPECT_TRUE(reader.shown(reader.flash(number))) << "ShockwaveFlash" << number;

    EXPECT_EQ(form->Text1->text(), "Text1");
    EXPECT_EQ(form->Text2->text(), "Text2");
    EXPECT_TRUE(focusIsIn(form->WebBrowser1)) << "the first focus belongs to the browser";

    // The recordset is open on the first record.
    ASSERT_TRUE(form->rsxsHeld());
    EXPECT_EQ(form->rsxsHeld()->State(), jet::adStateOpen);
    EXPECT_EQ(form->rsxsHeld()->position(), 0);

    // Every movie assigned, the last two out of numerical order.
    for (const auto& [control, movie] : reader::kMovies) {
        const int number = std::stoi(std::string(control.substr(14)));
        EXPECT_EQ(reader.flash(number)->movie().toStdString(), reader.page(movie)) << control;
    }
    EXPECT_TRUE(reader.flash(34)->movie().endsWith("\\pic\\01.swf"));
    EXPECT_TRUE(reader.flash(35)->movie().endsWith("\\pic\\02.swf"));
    EXPECT_TRUE(reader.errors.empty());
}

TEST(ReaderLayout, StackingPlacesAndResizing)
{
    ReaderUnderTest reader;
    auto* form = reader.form;

    // Stacking: row 1 of the table is topmost, so the sibling order runs the table backwards.
    std::vector<QWidget*> siblings;
    for (QObject* child : form->children())
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow())
            siblings.push_back(widget);
    std::vector<QWidget*> expected;
    for (auto row = reader::kLayout.rbegin(); row != reader::kLayout.rend(); ++row)
        expected.push_back(form->control(row->name));
    EXPECT_EQ(siblings, expected);

    // The menu buttons lie over the browser, the text boxes beneath it.
    auto stackIndex = [&](QWidget* w) { return std::find(siblings.begin(), siblings.end(), w) - siblings.begin(); };
    for (int n = 21; n <= 35; ++n)
        EXPECT_GT(stackIndex(reader.flash(n)), stackIndex(form->WebBrowser1));
    EXPECT_LT(stackIndex(form->Text1), stackIndex(form->WebBrowser1));
    EXPECT_LT(stackIndex(form->Text2), stackIndex(form->WebBrowser1));
    EXPECT_TRUE(form->WebBrowser1->geometry().contains(form->Text1->geometry()));
    EXPECT_TRUE(form->WebBrowser1->geometry().contains(form->Text2->geometry()));

    // Top 160 twips is 10 2/3 pixels: edges round to the nearest pixel.
    EXPECT_EQ(reader.flash(12)->geometry(), QRect(911, 11, 64, 52));
    EXPECT_EQ(form->Label1->geometry(), QRect(872, 696, 113, 17));

    // The label: grey text over the picture, no box, no focus.
    EXPECT_EQ(form->Label1->text(), "Corvanta Team");
    EXPECT_EQ(form->Label1->palette().color(QPalette::WindowText), QColor(128, 128, 128));
    EXPECT_FALSE(form->Label1->autoFillBackground());
    EXPECT_EQ(form->Label1->font().pointSize(), 12);
    EXPECT_EQ(form->Label1->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(128, 128, 128));

    // Resizing or maximizing moves nothing.
    std::vector<QRect> before;
    for (const auto& row : reader::kLayout)
        before.push_back(form->control(row.name)->geometry());
    form->resize(1600, 1200);
    form->showMaximized();
    QTest::qWait(50);
    for (std::size_t i = 0; i < reader::kLayout.size(); ++i)
        EXPECT_EQ(form->control(reader::kLayout[i].name)->geometry(), before[i]) << reader::kLayout[i].name;
}

TEST(ReaderLifecycle, UnloadClosesTheRecordsetOnce)
{
    ReaderUnderTest reader;
    const std::shared_ptr<jet::Recordset> rsxs = reader.form->rsxsHeld();
    ASSERT_TRUE(rsxs);
    EXPECT_TRUE(reader.form->close());
    EXPECT_EQ(rsxs->State(), jet::adStateClosed);
    EXPECT_FALSE(reader.form->rsxsHeld()) << "released";
    // Asked to close again, the window does not unload again (a second Close would fail).
    reader.form->close();
    EXPECT_TRUE(reader.errors.empty()) << reader.errors.front().line();
    // The connection outlives the reader window.
    EXPECT_EQ(reader.form2.adocnaccess->State(), jet::adStateOpen);
}

TEST(ReaderLifecycle, StartUpFailuresShowNoWindow)
{
    struct Case {
        const char* what;
        test::StoreOptions store;
        bool withStore;
        bool failsInLoad;  // after the cover page was requested
    };
    const Case cases[] = {
        {"missing store", {}, false, false},
        {"wrong password", {.password = "38pondwick72"}, true, false},
        {"no table b1", {.table = "b2"}, true, true},
        {"no field m1", {.column = "m2"}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempBook book(c.store, c.withStore);
        app::Form2 form2;
        EXPECT_THROW(form2.Form_Load(), core::RuntimeError);
        for (QWidget* window : QApplication::topLevelWidgets())
            EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
        if (c.failsInLoad) {
            EXPECT_EQ(form2.Form1().currentPage(), book.folder() + "\\res\\1p.html");
            EXPECT_FALSE(form2.Form1().loaded());
        }
    }
}

TEST(ReaderKeyboard, TabFromText1RunsHelpShiftTabReachesTheUpArrowOrTheDecorativeMovie)
{
    ReaderUnderTest reader;
    auto* form = reader.form;

    // Page 0: the up arrow is hidden, Shift+Tab from Text1 lands on the decorative movie.
    form->parkFocusOnText1();
    ASSERT_EQ(QApplication::focusWidget(), form->Text1);
    QTest::keyClick(form->Text1, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), reader.flash(4));
    EXPECT_EQ(form->pageIndex(), 0);

    // Tab from Text1 reaches the help button: the help program starts, the focus comes back.
    form->parkFocusOnText1();
    QTest::keyClick(form->Text1, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->Text1);
    QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(reader.book.helpTrace()), 5000);
    QTest::keyClick(form->Text1, Qt::Key_Tab);
    QTRY_COMPARE_WITH_TIMEOUT(test::readFile(reader.book.helpTrace()).size(), std::size_t(16), 5000);  // two starts

    // Typing into the parked focus changes only Text1.
    QTest::keyClicks(form->Text1, "abc");
    EXPECT_EQ(form->Text1->text(), "Text1abc");
    EXPECT_EQ(form->pageIndex(), 0);

    // Page 1: the up arrow shows, and Shift+Tab steps back through it.
    reader.click(reader.flash(12));
    ASSERT_EQ(form->pageIndex(), 1);
    ASSERT_EQ(QApplication::focusWidget(), form->Text1);
    QTest::keyClick(form->Text1, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(form->pageIndex(), 0);
    EXPECT_EQ(QApplication::focusWidget(), form->Text1);
    EXPECT_TRUE(reader.errors.empty());
}

TEST(ReaderMouse, DecorativeMovieTakesOnlyTheFocus)
{
    ReaderUnderTest reader;
    auto* form = reader.form;
    reader.click(reader.flash(12));
    ASSERT_EQ(form->pageIndex(), 1);
    const std::string page = form->currentPage();
    for (int number : {4, 5}) {
        reader.click(reader.flash(number));
        EXPECT_EQ(QApplication::focusWidget(), reader.flash(number));
        EXPECT_EQ(form->pageIndex(), 1);
        EXPECT_EQ(form->currentPage(), page);
        EXPECT_EQ(form->Text2->text(), "1");
    }
    // A command button still works afterwards.
    reader.click(reader.flash(10));
    EXPECT_EQ(form->pageIndex(), 2);
    EXPECT_TRUE(reader.menuShown());
    // The same button again repeats its action, since the focus was parked.
    form->pageIndex() = 5;
    reader.click(reader.flash(10));
    EXPECT_EQ(form->pageIndex(), 2);
}

TEST(ReaderErrors, OverflowAndTheFallbackPage)
{
    ReaderUnderTest reader;
    auto* form = reader.form;

    // The 16-bit check: nothing is stored and the error reaches the guard.
    form->pageIndex() = 32767;
    form->ShockwaveFlash_GotFocus(12);
    ASSERT_EQ(reader.errors.size(), 1u);
    EXPECT_EQ(reader.errors[0].number, 6);
    EXPECT_EQ(reader.errors[0].description, "Overflow");
    EXPECT_EQ(reader.errors[0].line(), "Run-time error 6: Overflow");
    EXPECT_EQ(form->pageIndex(), 32767);
    form->pageIndex() = -32768;
    form->ShockwaveFlash_GotFocus(11);
    EXPECT_EQ(reader.errors.size(), 2u);
    EXPECT_EQ(form->pageIndex(), -32768);

    // Past either end of the book: our own "no such page", and no file is written.
    const auto before = std::distance(std::filesystem::directory_iterator(reader.book.root() / "res/Chapter"), {});
    form->pageIndex() = 15;
    navigation::StepForward(*form);
    EXPECT_EQ(form->pageIndex(), 16);
    EXPECT_EQ(form->currentPage(), reader.page(navigation::kFallbackPage));
    form->pageIndex() = 0;
    navigation::StepBack(*form);
    EXPECT_EQ(form->currentPage(), reader.page(navigation::kFallbackPage));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(reader.book.root() / "res/Chapter"), {}), before);
    EXPECT_FALSE(std::filesystem::exists(core::resolveInstallPath(reader.page(navigation::kFallbackPage))));
}

}  // namespace
