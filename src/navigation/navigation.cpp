#include "navigation/navigation.h"

#include <limits>
#include <stdexcept>
#include <string>

#include "core/error.h"
#include "core/install_path.h"
#include "jet/ado.h"

namespace navigation {
namespace {

enum class Direction { Back, Forward };

// adErrNoCurrentRecord: the recordset stands past its last record.
constexpr long kNoCurrentRecord = 3021;

std::string pagePath(std::string_view relative)
{
    return core::applicationFolder() + std::string(relative);
}

// Runs one positioning step of rsxs. A store with fewer records than the page needs leaves
// the recordset past its last record; moving on from there fails with "no current record".
// That failure is not fatal: the recordset stays where it is and ExtractChapter then writes
// its notice page for a record that cannot be read.
template <typename Step>
void position(Step&& step)
{
    try {
        step();
    } catch (const core::RuntimeError& error) {
        if (error.number() != kNoCurrentRecord)
            throw;
    }
}

// MoveFirst, then Move by record - 1 (left out for the first record).
void positionOnRecord(jet::Recordset& rsxs, int record)
{
    position([&] { rsxs.MoveFirst(); });
    if (record > 1)
        position([&] { rsxs.Move(record - 1); });
}

// ExtractChapter to the page file, then currentPage := that same path.
void extractToAndShow(ReaderWindow& form, std::string_view relative)
{
    const std::string path = pagePath(relative);
    form.ExtractChapter(path);
    form.currentPage() = path;
}

// One row of the step table, for the new page index.
void carryOutStepRow(ReaderWindow& form, std::int16_t index, Direction direction)
{
    const bool back = direction == Direction::Back;
    switch (index) {
    case 0:
        form.currentPage() = pagePath(kFilePages[0]);
        if (back)
            form.setUpArrowVisible(false);
        break;
    case 1:
        form.Text1_Click();
        form.currentPage() = pagePath(kFilePages[1]);
        if (!back)
            form.setUpArrowVisible(true);
        break;
    case 2:
        form.Text2_Click();
        form.currentPage() = pagePath(kFilePages[2]);
        break;
    case 3:
        form.Text1_Click();
        form.currentPage() = pagePath(kFilePages[3]);
        break;
    case 4:
    case 5:
    case 6:
    case 7:
        form.currentPage() = pagePath(kFilePages[static_cast<std::size_t>(index)]);
        break;
    case 8:
        position([&] { form.rsxs().MoveFirst(); });
        extractToAndShow(form, back ? kStepBackPageFile : kChapterPageFile);
        break;
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
        if (back)
            positionOnRecord(form.rsxs(), index - 7);
        else
            position([&] { form.rsxs().MoveNext(); });
        extractToAndShow(form, kChapterPageFile);
        if (back && index >= 14)
            form.setDownArrowVisible(true);
        if (!back && index == 15)
            form.setDownArrowVisible(false);
        break;
    default:
        form.currentPage() = pagePath(kFallbackPage);
        break;
    }
}

}  // namespace

std::optional<std::string_view> filePage(std::int16_t pageIndex)
{
    if (pageIndex < 0 || pageIndex >= static_cast<std::int16_t>(kFilePages.size()))
        return std::nullopt;
    return kFilePages[static_cast<std::size_t>(pageIndex)];
}

std::int16_t checkedStep(std::int16_t pageIndex, int delta)
{
    const int result = pageIndex + delta;
    if (result < std::numeric_limits<std::int16_t>::min() || result > std::numeric_limits<std::int16_t>::max())
        throw core::RuntimeError(core::kOverflow, "Overflow");
    return static_cast<std::int16_t>(result);
}

void StepBack(ReaderWindow& form)
{
    form.pageIndex() = checkedStep(form.pageIndex(), -1);
    carryOutStepRow(form, form.pageIndex(), Direction::Back);
    form.navigateWebBrowser1(form.currentPage());
    form.parkFocusOnText1();
    form.setText2(std::to_string(form.pageIndex()));
}

void StepForward(ReaderWindow& form)
{
    form.pageIndex() = checkedStep(form.pageIndex(), +1);
    carryOutStepRow(form, form.pageIndex(), Direction::Forward);
    form.navigateWebBrowser1(form.currentPage());
    form.setText2(std::to_string(form.pageIndex()));
    form.parkFocusOnText1();
}

void ContentsButton(ReaderWindow& form)
{
    form.Text2_Click();
    form.setUpArrowVisible(true);
    form.setDownArrowVisible(true);
    form.pageIndex() = 2;
    form.currentPage() = pagePath(kFilePages[2]);
    form.navigateWebBrowser1(form.currentPage());
    form.parkFocusOnText1();
}

void MenuButtonPressed(ReaderWindow& form, int control)
{
    const MenuButton* row = nullptr;
    for (const auto& button : kMenuButtons)
        if (button.control == control)
            row = &button;
    if (!row)
        throw std::invalid_argument("no contents-menu button ShockwaveFlash" + std::to_string(control));

    form.Text1_Click();
    form.setUpArrowVisible(row->pageIndex != 0);
    form.setDownArrowVisible(row->pageIndex != kPageCount - 1);
    form.pageIndex() = row->pageIndex;
    if (const auto file = filePage(row->pageIndex)) {
        form.currentPage() = pagePath(*file);
    } else {
        positionOnRecord(form.rsxs(), row->pageIndex - 7);
        extractToAndShow(form, kChapterPageFile);
    }
    form.navigateWebBrowser1(form.currentPage());
    form.parkFocusOnText1();
}

}  // namespace navigation
