#pragma once
// ShockwaveFlash: the widget that stands in for the Flash control on the reader window.
// It plays one SWF movie with the settings every button of the book carries: plays when
// the movie is set, loops, quality High, scale ShowAll, opaque, full context menu.
#include <QString>
#include <QWidget>
#include <memory>

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

protected:
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString movie_;

signals:
    // Raised each time the control gains the keyboard focus (click or Tab).
    void GotFocus();
};

}  // namespace swf
