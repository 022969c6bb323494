// The reader window against its design, written out here by hand and not taken from the
// program's own tables: every control's place, size and tab index in pixels, every button's
// movie, what assistive technology is told about each Flash control, and where the window goes.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QScreen>
#include <QTest>

#include <functional>
#include <map>
#include <string>

#include "reader/layout.h"
#include "reader_fixture.h"

namespace {

using test::ReaderUnderTest;

// Twips / 15, each edge rounded to the nearest pixel (Top 160 twips is 10 2/3 pixels: 11).
struct DesignedControl {
    const char* name;
    int left, top, width, height;
    int tab;
};
const DesignedControl kDesign[] = {
    {"ShockwaveFlash12", 911, 11, 64, 52, 7},    // down arrow
    {"ShockwaveFlash33", 353, 632, 190, 30, 25},  // menu: chapter 13
    {"ShockwaveFlash34", 168, 144, 190, 30, 8},   // menu: cover
    {"ShockwaveFlash10", 25, 11, 81, 52, 1},      // contents
    {"ShockwaveFlash4", 170, 11, 48, 52, 2},      // decoration
    {"ShockwaveFlash11", 859, 11, 52, 52, 3},     // up arrow
    {"ShockwaveFlash2", 755, 11, 52, 52, 5},      // help
    {"ShockwaveFlash3", 807, 11, 52, 52, 6},      // exit
    {"ShockwaveFlash35", 168, 248, 190, 30, 11},  // menu: second front page
    {"ShockwaveFlash32", 352, 599, 190, 30, 12},  // menu: chapter 12 (Left 5280, not 5295)
    {"ShockwaveFlash31", 353, 567, 190, 30, 13},
    {"ShockwaveFlash30", 353, 534, 190, 30, 14},
    {"ShockwaveFlash29", 353, 493, 190, 30, 15},
    {"ShockwaveFlash28", 160, 632, 190, 30, 16},
    {"ShockwaveFlash27", 160, 597, 190, 30, 17},
    {"ShockwaveFlash26", 160, 562, 190, 30, 18},
    {"ShockwaveFlash25", 160, 528, 190, 30, 19},
    {"ShockwaveFlash24", 160, 493, 190, 30, 20},
    {"ShockwaveFlash23", 160, 458, 190, 30, 21},
    {"ShockwaveFlash21", 160, 389, 190, 30, 22},
    {"ShockwaveFlash22", 160, 424, 190, 30, 23},
    {"WebBrowser1", 0, 72, 1000, 625, 0},  // designed at Left 933, moved to 0 while loading
    {"Text1", 400, 112, 36, 18, 4},
    {"ShockwaveFlash5", 223, 11, 313, 52, 24},  // decoration
    {"Text2", 416, 272, 57, 25, 9},
    {"Label1", 872, 696, 113, 17, 10},
};

const std::map<std::string, std::string> kMoviePaths = {
    {"ShockwaveFlash2", "\\pic\\help.swf"}, {"ShockwaveFlash3", "\\pic\\exit.swf"},
    {"ShockwaveFlash4", "\\pic\\corvanta.swf"}, {"ShockwaveFlash5", "\\pic\\5.swf"},
    {"ShockwaveFlash10", "\\pic\\index.swf"}, {"ShockwaveFlash11", "\\pic\\up.swf"},
    {"ShockwaveFlash12", "\\pic\\down.swf"}, {"ShockwaveFlash21", "\\pic\\21.swf"},
    {"ShockwaveFlash22", "\\pic\\22.swf"}, {"ShockwaveFlash23", "\\pic\\23.swf"},
    {"ShockwaveFlash24", "\\pic\\24.swf"}, {"ShockwaveFlash25", "\\pic\\25.swf"},
    {"ShockwaveFlash26", "\\pic\\26.swf"}, {"ShockwaveFlash27", "\\pic\\27.swf"},
    {"ShockwaveFlash28", "\\pic\\28.swf"}, {"ShockwaveFlash29", "\\pic\\29.swf"},
    {"ShockwaveFlash30", "\\pic\\30.swf"}, {"ShockwaveFlash31", "\\pic\\31.swf"},
    {"ShockwaveFlash32", "\\pic\\32.swf"}, {"ShockwaveFlash33", "\\pic\\33.swf"},
    {"ShockwaveFlash34", "\\pic\\01.swf"}, {"ShockwaveFlash35", "\\pic\\02.swf"},
};

const std::map<std::string, std::string> kAccessibleNames = {
    {"ShockwaveFlash12", "Next page"}, {"ShockwaveFlash11", "Previous page"}, {"ShockwaveFlash10", "Contents"},
    {"ShockwaveFlash2", "Help"}, {"ShockwaveFlash3", "Exit"}, {"ShockwaveFlash34", "Cover"},
    {"ShockwaveFlash35", "Front matter"}, {"ShockwaveFlash21", "Chapter 1"}, {"ShockwaveFlash22", "Chapter 2"},
    {"ShockwaveFlash23", "Chapter 3"}, {"ShockwaveFlash24", "Chapter 4"}, {"ShockwaveFlash25", "Chapter 5"},
    {"ShockwaveFlash26", "Chapter 6"}, {"ShockwaveFlash27", "Chapter 7"}, {"ShockwaveFlash28", "Chapter 8"},
    {"ShockwaveFlash29", "Chapter 9"}, {"ShockwaveFlash30", "Chapter 10"}, {"ShockwaveFlash31", "Chapter 11"},
    {"ShockwaveFlash32", "Chapter 12"}, {"ShockwaveFlash33", "Chapter 13"}, {"ShockwaveFlash4", "Decoration"},
    {"ShockwaveFlash5", "Decoration"},
};

TEST(WindowDesign, EveryControlInPlaceInTabOrderWithItsMovie)
{
    ReaderUnderTest reader;
    auto* form = reader.form;
    ASSERT_EQ(std::size(kDesign), 26u);
    std::map<int, QWidget*> byTab;
    for (const auto& row : kDesign) {
        SCOPED_TRACE(row.name);
        QWidget* widget = form->findChild<QWidget*>(row.name, Qt::FindDirectChildrenOnly);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(row.left, row.top, row.width, row.height));
        EXPECT_TRUE(byTab.emplace(row.tab, widget).second) << "tab index used twice";
    }
    EXPECT_EQ(byTab.size(), 26u);
    EXPECT_EQ(byTab.rbegin()->first, 25);

    // Tab moves through the controls by tab index, the label (index 10) never taking the focus.
    std::vector<QWidget*> expected;
    for (const auto& [tab, widget] : byTab)
        if (widget != form->Label1)
            expected.push_back(widget);
    std::vector<QWidget*> chain;
    QWidget* at = form->WebBrowser1;
    do {
        if (at->parentWidget() == form && std::find(expected.begin(), expected.end(), at) != expected.end() &&
            std::find(chain.begin(), chain.end(), at) == chain.end())
            chain.push_back(at);
        at = at->nextInFocusChain();
    } while (at != form->WebBrowser1 && chain.size() < expected.size());
    EXPECT_EQ(chain, expected);

    ASSERT_EQ(kMoviePaths.size(), 22u);
    for (const auto& [control, path] : kMoviePaths) {
        auto* flash = qobject_cast<swf::ShockwaveFlash*>(form->findChild<QWidget*>(QString::fromStdString(control)));
        ASSERT_NE(flash, nullptr) << control;
        EXPECT_EQ(flash->movie().toStdString(), reader.book.folder() + path) << control;
    }
}

QAccessibleInterface* findDescendant(QAccessibleInterface* node, const std::function<bool(QAccessibleInterface*)>& match,
                                     int depth = 0)
{
    if (!node || depth > 40)
        return nullptr;
    if (match(node))
        return node;
    for (int i = 0; i < node->childCount(); ++i)
        if (auto* found = findDescendant(node->child(i), match, depth + 1))
            return found;
    return nullptr;
}

TEST(WindowAccessibility, FlashControlsAreNamedButtonsOrDecorationAndThePageKeepsItsOwn)
{
    QAccessible::setActive(true);
    ReaderUnderTest reader;
    auto* form = reader.form;
    ASSERT_EQ(kAccessibleNames.size(), 22u);
    for (const auto& [control, name] : kAccessibleNames) {
        SCOPED_TRACE(control);
        QWidget* widget = form->findChild<QWidget*>(QString::fromStdString(control));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name).toStdString(), name);
        EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty());
        EXPECT_TRUE(widget->toolTip().isEmpty()) << "no control carries a tooltip";
        const bool decorative = name == "Decoration";
        EXPECT_EQ(accessible->role(), decorative ? QAccessible::Graphic : QAccessible::Button);
        auto* action = accessible->actionInterface();
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->actionNames().contains(QAccessibleActionInterface::pressAction()), !decorative);
    }
    // Pressing a button through accessibility runs it as a click does.
    auto* next = QAccessible::queryAccessibleInterface(reader.flash(12));
    next->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(form->pageIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), form->Text1);
    // A hidden menu button is invisible to a screen reader as well.
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(reader.flash(21))->state().invisible);

    // The page view offers the page's own content, not a name of ours.
    auto* page = QAccessible::queryAccessibleInterface(form->WebBrowser1);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(form->WebBrowser1->accessibleName().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(findDescendant(page, [](QAccessibleInterface* node) {
                                 return node->text(QAccessible::Name).contains("page 1") ||
                                        node->text(QAccessible::Value).contains("page 1");
                             }) != nullptr,
                             10000);
    EXPECT_TRUE(reader.errors.empty());
}

TEST(WindowPlacement, CentredOnTheWholeScreen)
{
    // A panel of 40 pixels at the top changes the work area, not the centre.
    EXPECT_EQ(reader::centredOn(QRect(0, 0, 1280, 1024), QSize(1005, 781)), QPoint(137, 121));
    EXPECT_EQ(reader::centredOn(QRect(1920, 0, 1920, 1080), QSize(1005, 781)), QPoint(2377, 149));
    EXPECT_EQ(reader::centredOn(QRect(0, 0, 800, 600), QSize(1005, 781)), QPoint(-102, -90));

    ReaderUnderTest reader;
    auto* form = reader.form;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(form->pos(), reader::centredOn(screen, QSize(1005, 781)));
}

TEST(WindowPlacement, TheLateFrameCorrectionLeavesTheUsersPlacementAlone)
{
    ReaderUnderTest reader;
    auto* form = reader.form;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();

    // Untouched: sized for the frame the window manager reports, and centred again.
    form->applyFrameExtents(QMargins(5, 25, 5, 5));
    EXPECT_EQ(form->size(), QSize(1005 - 10, 781 - 30));
    EXPECT_EQ(form->pos(), reader::centredOn(screen, QSize(1005, 781)));

    // Moved by the user: a later report changes nothing.
    const QPoint placed = form->pos();
    form->move(placed + QPoint(40, 30));
    QTRY_COMPARE(form->pos(), placed + QPoint(40, 30));
    form->applyFrameExtents(QMargins(6, 20, 6, 6));
    EXPECT_EQ(form->pos(), placed + QPoint(40, 30));
    EXPECT_EQ(form->size(), QSize(995, 751));

    // Resized by the user.
    form->move(placed);
    QTRY_COMPARE(form->pos(), placed);
    form->resize(700, 500);
    QTRY_COMPARE(form->size(), QSize(700, 500));
    form->applyFrameExtents(QMargins(6, 20, 6, 6));
    EXPECT_EQ(form->size(), QSize(700, 500));
    EXPECT_EQ(form->pos(), placed);

    // Maximised by the user.
    form->resize(995, 751);
    form->showMaximized();
    QTRY_VERIFY(form->isMaximized());
    const QRect maximised = form->geometry();
    form->applyFrameExtents(QMargins(6, 20, 6, 6));
    EXPECT_EQ(form->geometry(), maximised);
    EXPECT_TRUE(form->isMaximized());
    EXPECT_TRUE(reader.errors.empty());
}

}  // namespace
