#pragma once
// The reader window as the page commands and the side commands see it: its state and the
// few operations they perform on its controls. Form1 implements it; tests may fake it.
#include <cstdint>
#include <string>

namespace jet { class Recordset; }

namespace navigation {

class ReaderWindow {
public:
    virtual ~ReaderWindow() = default;

    // State of the reader window.
    virtual std::int16_t& pageIndex() = 0;
    virtual std::string& currentPage() = 0;
    virtual jet::Recordset& rsxs() = 0;

    // Hide / show the contents menu (ShockwaveFlash21 to ShockwaveFlash35, in that order).
    virtual void Text1_Click() = 0;
    virtual void Text2_Click() = 0;

    // Visible of ShockwaveFlash11 (up arrow) and ShockwaveFlash12 (down arrow).
    virtual void setUpArrowVisible(bool visible) = 0;
    virtual void setDownArrowVisible(bool visible) = 0;

    // Text of Text2, the page-number box.
    virtual void setText2(const std::string& text) = 0;
    // SetFocus on Text1: parks the focus so that the next click raises GotFocus again.
    virtual void parkFocusOnText1() = 0;
    // WebBrowser1.Navigate(currentPage).
    virtual void navigateWebBrowser1(const std::string& url) = 0;
    // Writes the m1 bytes of the current record of rsxs to the page file; never fails.
    virtual void ExtractChapter(const std::string& pagePath) = 0;
};

}  // namespace navigation
