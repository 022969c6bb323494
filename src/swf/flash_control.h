#pragma once
// ShockwaveFlash: the widget that stands in for the Flash control on the reader window.
// It plays one SWF movie with the settings every button of the book carries: plays when
// the movie is set, loops, quality High, scale ShowAll, opaque, full context menu.
//
// Frames are drawn on a render thread shared by all controls, so that a heavy movie never keeps
// the window from answering; the control shows the latest frame that is finished. While a frame
// of its player is being drawn, nothing on the user-interface thread touches that player: the
// frame clock passes it by (the frame is dropped) and the control keeps the mouse, resizes and
// menu commands for it until the frame is done, then hands them over in order. Anything else
// that changes a player from outside the control's events must do the same (see isDrawing()).
#include <QImage>
#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "swf/picture_cache.h"

class QMenu;

namespace swf {

class Player;

class ShockwaveFlash : public QWidget {
    Q_OBJECT
public:
    explicit ShockwaveFlash(QWidget* parent = nullptr);
    ~ShockwaveFlash() override;

    // The Movie property: an installation path as the reader forms it
    // ("<folder>\pic\down.swf"), resolved like every installation path. A missing,
    // unreadable or corrupt movie leaves the control empty; no dialog is shown. The movie is
    // read and parsed on the render thread; the player exists once that is done.
    void setMovie(const QString& installPath);
    QString movie() const;

    // The player, for tests and tools; null when no movie could be loaded. Waits for a movie
    // being loaded and for a frame being drawn, so that the caller may use the player at once.
    Player* player();

    // True from the moment a frame of this control's player goes to the render thread until
    // the finished frame is back on the user-interface thread.
    bool isDrawing() const { return drawing_ != nullptr; }
    // True from setMovie() until its movie is parsed and its player made (or refused).
    bool isLoading() const { return loading_ != nullptr; }
    // Waits for a frame being drawn, then draws the current frame here if it is out of date,
    // so that the next paint shows the movie as it is now (tests and tools that grab).
    void finishDrawing();
    // Frames drawn and shown since the movie was set.
    int framesDrawn() const { return framesDrawn_; }

    // The player's context menu for a right click at `pos` (control coordinates); the
    // caller runs it. Public so that tests can trigger its entries.
    std::unique_ptr<QMenu> createContextMenu(QPoint pos);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct DrawJob;
    struct LoadJob;
    void frameChanged();
    void movieLoaded(const std::shared_ptr<LoadJob>& job);
    void waitForLoading();
    // Runs `change` on the player now, or after the frame being drawn when there is one.
    void withPlayer(std::function<void(Player&)> change, bool isMove = false);
    void startDrawing(QSize pixels);
    void frameDrawn(const std::shared_ptr<DrawJob>& job);
    void waitForDrawing();

    QString movie_;
    // Shared with the frame being drawn, which may outlive this control; the player is always
    // destroyed on the user-interface thread.
    std::shared_ptr<Player> player_;
    std::shared_ptr<DrawJob> drawing_;  // the frame on the render thread, if any
    std::shared_ptr<LoadJob> loading_;  // the movie being read and parsed, if any
    std::vector<std::function<void(Player&)>> heldChanges_;
    bool lastHeldIsMove_ = false;
    QImage frame_;  // the last frame drawn, reused until the player reports a change
    bool frameStale_ = true;
    int framesDrawn_ = 0;
    // Frames are dropped until then, after one that was slow to draw.
    std::chrono::steady_clock::time_point drawNotBefore_{};
    bool redrawPending_ = false;
    // Pictures already drawn that came back, by the player's picture key.
    PictureCache pictures_;

signals:
    // Raised each time the control gains the keyboard focus (click or Tab).
    void GotFocus();
};

}  // namespace swf
