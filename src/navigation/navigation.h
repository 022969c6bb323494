#pragma once
// The page sequence: sixteen pages, stepped through with the arrows and reached directly from
// the contents button and the contents menu. Every operation is a button action: it runs on
// the button's GotFocus and ends by parking the focus on Text1.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "navigation/reader_window.h"

namespace navigation {

inline constexpr std::int16_t kPageCount = 16;
inline constexpr std::int16_t kFirstStoredPage = 8;  // record pageIndex - 7 of rsxs

// Pages 0 to 7 are files of the installation; 8 to 15 are records of the chapter store.
inline constexpr std::array<std::string_view, 8> kFilePages = {
    "\\res\\1p.html",          "\\res\\2p.html",          "\\res\\3p.html",
    "\\res\\Chapter\\01.html", "\\res\\Chapter\\02.html", "\\res\\Chapter\\03.html",
    "\\res\\Chapter\\04.html", "\\res\\Chapter\\05.html",
};
inline constexpr std::string_view kChapterPageFile = "\\res\\Chapter\\faj.trm";
inline constexpr std::string_view kStepBackPageFile = "\\res\\Chapter\\temp.html";
// Shown for a page index outside 0 to 15 (never reached through the buttons). No such file is
// installed, so the browser answers with its own "page not found" page; nothing is written.
inline constexpr std::string_view kFallbackPage = "\\res\\page-does-not-exist.html";

// The page file of an installation page (0 to 7), or nothing for a stored chapter.
std::optional<std::string_view> filePage(std::int16_t pageIndex);

// pageIndex + delta with the 16-bit overflow check: error 6 "Overflow", nothing stored.
std::int16_t checkedStep(std::int16_t pageIndex, int delta);

// ShockwaveFlash11 (up arrow): step back one page.
void StepBack(ReaderWindow& form);
// ShockwaveFlash12 (down arrow): step forward one page.
void StepForward(ReaderWindow& form);
// ShockwaveFlash10: the contents page with its menu.
void ContentsButton(ReaderWindow& form);

// The contents-menu buttons ShockwaveFlash21 to ShockwaveFlash35 and where each jumps.
struct MenuButton {
    int control;            // the number in the control's name
    std::int16_t pageIndex;
};
inline constexpr std::array<MenuButton, 15> kMenuButtons = {{
    {21, 3}, {22, 4}, {23, 5}, {24, 6}, {25, 7}, {26, 8}, {27, 9}, {28, 10},
    {29, 11}, {30, 12}, {31, 13}, {32, 14}, {33, 15}, {34, 0}, {35, 1},
}};
// The action of menu button ShockwaveFlash<control> (21 to 35).
void MenuButtonPressed(ReaderWindow& form, int control);

}  // namespace navigation
