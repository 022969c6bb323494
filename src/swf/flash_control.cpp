#include "swf/flash_control.h"

#include <QFocusEvent>
#include <QPainter>

namespace swf {

class Player {};

ShockwaveFlash::ShockwaveFlash(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ShockwaveFlash::~ShockwaveFlash() = default;

void ShockwaveFlash::setMovie(const QString& installPath) { movie_ = installPath; update(); }

QString ShockwaveFlash::movie() const { return movie_; }

Player* ShockwaveFlash::player() const { return nullptr; }

void ShockwaveFlash::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    emit GotFocus();
}

void ShockwaveFlash::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
}

}  // namespace swf
