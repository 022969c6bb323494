#pragma once
// Form1, the reader window: the page view, the Flash buttons, the focus box Text1, the
// page-number box Text2 and the link label, laid out from one table (layout.h) over the
// background picture. Its load and unload, the contents-menu routines Text1_Click and
// Text2_Click, and the wiring of every button's GotFocus to its action live here; the
// actions themselves are in navigation/ and commands/.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QLabel>
#include <QLineEdit>
#include <QMargins>
#include <QPoint>
#include <QPixmap>
#include <QWidget>

#include "navigation/reader_window.h"

namespace jet {
class Connection;
class Recordset;
}  // namespace jet
namespace swf { class ShockwaveFlash; }
namespace web { class WebBrowser; }

namespace reader {

// Label1: drawn on the window's surface beneath every other control; a click is its only event.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void Click();
protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class Form1 : public QWidget, public navigation::ReaderWindow {
    Q_OBJECT
public:
    // The frame assumed while the window manager has not told the real one (or there is none):
    // a standard sizable frame of four pixels with a title bar.
    static constexpr QMargins kStandardFrame{4, 30, 4, 4};

    // `adocnaccess` is the data module's connection; the load binds rsxs to it.
    explicit Form1(const std::shared_ptr<jet::Connection>& adocnaccess, QWidget* parent = nullptr);
    ~Form1() override;

    // Show, modeless: loads the window the first time, then shows it centred on the screen.
    void Show();
    bool loaded() const { return loaded_; }

    // The controls, by their designed names.
    web::WebBrowser* WebBrowser1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    LinkLabel* Label1 = nullptr;
    // ShockwaveFlash<number>; null for a number that names no control.
    swf::ShockwaveFlash* ShockwaveFlash(int number) const;
    QWidget* control(std::string_view name) const;

    // Events.
    void Form_Load();
    void Form_Unload();
    void Label1_Click();
    // Runs the action of a Flash control that gained the focus (none for the decorative ones).
    void ShockwaveFlash_GotFocus(int number);

    // navigation::ReaderWindow
    std::int16_t& pageIndex() override { return pageIndex_; }
    std::string& currentPage() override { return currentPage_; }
    jet::Recordset& rsxs() override;
    void Text1_Click() override;
    void Text2_Click() override;
    void setUpArrowVisible(bool visible) override;
    void setDownArrowVisible(bool visible) override;
    void setText2(const std::string& text) override;
    void parkFocusOnText1() override;
    void navigateWebBrowser1(const std::string& url) override;
    void ExtractChapter(const std::string& pagePath) override;

    // The recordset as held (empty before the load and after the unload), for tests.
    const std::shared_ptr<jet::Recordset>& rsxsHeld() const { return rsxs_; }
    // The frame the outer size was last computed with.
    QMargins assumedFrame() const { return frame_; }
    // The frame the window manager reported, once it is known: the client area is sized again
    // for the designed outer size and centred anew, unless the user has moved, resized or
    // maximised the window in the meantime.
    void applyFrameExtents(QMargins frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void setOuterSize(QMargins frame);
    void centreOnScreen();
    bool userHasPlacedWindow() const;
    void watchFrameExtents();

    const std::shared_ptr<jet::Connection>& adocnaccess_;
    std::shared_ptr<jet::Recordset> rsxs_;
    std::int16_t pageIndex_ = 0;
    std::string currentPage_;

    std::array<swf::ShockwaveFlash*, 36> flash_{};
    QPixmap picture_;
    QMargins frame_ = kStandardFrame;
    std::optional<QPoint> placedAt_;  // where the window was last put, frame included
    bool loaded_ = false;
    bool handling_ = false;  // an action is running: focus moves it causes run nothing
};

}  // namespace reader
