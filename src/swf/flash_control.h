#pragma once
// ShockwaveFlash: the widget that stands in for the Flash control on the reader window.
// It plays one SWF movie with the settings every button of the book carries: plays when
// the movie is set, loops, quality High, scale ShowAll, opaque, full context menu.
#include <QHash>
#include <QImage>
#include <QString>
#include <QWidget>
#include <chrono>
#include <memory>

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
    // unreadable or corrupt movie leaves the control empty; no dialog is shown.
    void setMovie(const QString& installPath);
    QString movie() const;

    // The player, for tests and tools; null while no movie is loaded.
    Player* player() const;

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
    void frameChanged();

    QString movie_;
    std::unique_ptr<Player> player_;
    QImage frame_;  // the last frame drawn, reused until the player reports a change
    bool frameStale_ = true;
    // Frames are dropped until then, after one that was slow to draw.
    std::chrono::steady_clock::time_point drawNotBefore_{};
    bool redrawPending_ = false;
    // Pictures already drawn, by the player's picture key, up to a byte budget.
    QHash<QByteArray, QImage> pictures_;
    qint64 pictureBytes_ = 0;

signals:
    // Raised each time the control gains the keyboard focus (click or Tab).
    void GotFocus();
};

}  // namespace swf
