#include "swf/flash_control.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "core/install_path.h"
#include "swf/swf.h"

namespace swf {

namespace {
// A frame that takes longer to draw makes the control drop frames for twice as long, so that
// a heavy movie takes at most a third of the window's time.
constexpr std::chrono::milliseconds kSlowFrame{30};
// Enough for every frame of a short looping button movie at the control's size.
constexpr qint64 kPictureBudgetBytes = 2 << 20;
}  // namespace

ShockwaveFlash::ShockwaveFlash(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

ShockwaveFlash::~ShockwaveFlash() = default;

void ShockwaveFlash::setMovie(const QString& installPath) {
    movie_ = installPath;
    player_.reset();
    pictures_.clear();
    pictureBytes_ = 0;
    frameStale_ = true;
    std::filesystem::path file = core::resolveInstallPath(installPath.toStdString());
    try {
        if (auto movie = loadMovieFile(file)) {
            player_ = std::make_unique<Player>(std::move(movie));
            player_->setViewSize(size());
            player_->setActive(isVisible());
            connect(player_.get(), &Player::needsRepaint, this, &ShockwaveFlash::frameChanged);
            // The player asks only while handling the user's click, and only for http(s).
            connect(player_.get(), &Player::urlRequested, this, [](const QUrl& url) { QDesktopServices::openUrl(url); });
        }
    } catch (const core::RuntimeError& e) {
        // A broken movie leaves the control empty; it is reported once, here, without a dialog.
        std::fprintf(stderr, "swf: %s: %s\n", file.string().c_str(), e.what());
    }
    update();
}

QString ShockwaveFlash::movie() const { return movie_; }

Player* ShockwaveFlash::player() const { return player_.get(); }

void ShockwaveFlash::frameChanged() {
    // After a frame that was slow to draw, the frames in between are dropped: the latest
    // one is drawn once the pause is over, so the window keeps answering.
    const auto now = std::chrono::steady_clock::now();
    if (now < drawNotBefore_) {
        if (!redrawPending_) {
            redrawPending_ = true;
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(drawNotBefore_ - now);
            QTimer::singleShot(int(wait.count()), this, [this] {
                redrawPending_ = false;
                frameChanged();
            });
        }
        return;
    }
    frameStale_ = true;
    if (isVisible()) update();
}

void ShockwaveFlash::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    emit GotFocus();
}

void ShockwaveFlash::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!player_) {
        painter.fillRect(rect(), Qt::white);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (frameStale_ || frame_.size() != pixels) {
        frameStale_ = false;
        const QByteArray key = player_->pictureKey();
        auto cached = pictures_.constFind(key);
        if (cached != pictures_.constEnd() && cached->size() == pixels) {
            frame_ = *cached;
        } else {
            // Drawn at the screen's own resolution: on a high-density screen the movie is as
            // sharp as at twice the size, never a small picture blown up.
            const auto start = std::chrono::steady_clock::now();
            frame_ = player_->renderImage(pixels);
            const auto took = std::chrono::steady_clock::now() - start;
            if (took > kSlowFrame) drawNotBefore_ = std::chrono::steady_clock::now() + 2 * took;
            frame_.setDevicePixelRatio(ratio);
            const qint64 bytes = frame_.sizeInBytes();
            if (pictureBytes_ + bytes <= kPictureBudgetBytes) {
                pictures_.insert(key, frame_);
                pictureBytes_ += bytes;
            }
        }
    }
    painter.drawImage(0, 0, frame_);
}

void ShockwaveFlash::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (player_) player_->setViewSize(size());
    frameStale_ = true;
    pictures_.clear();
    pictureBytes_ = 0;
}

void ShockwaveFlash::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (player_) player_->setActive(true);
    frameStale_ = true;
}

void ShockwaveFlash::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (player_) player_->setActive(false);
}

void ShockwaveFlash::mouseMoveEvent(QMouseEvent* event) {
    if (!player_) return;
    player_->mouseMove(event->position());
    setCursor(player_->overButton() ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void ShockwaveFlash::mousePressEvent(QMouseEvent* event) {
    // Qt has given the control the focus (GotFocus) before this press arrives, so the
    // reader's focus handling always comes before the movie's scripts see the click.
    if (player_ && event->button() == Qt::LeftButton) player_->mousePress(event->position());
}

void ShockwaveFlash::mouseReleaseEvent(QMouseEvent* event) {
    if (player_ && event->button() == Qt::LeftButton) player_->mouseRelease(event->position());
}

void ShockwaveFlash::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (player_) player_->mouseLeave();
}

std::unique_ptr<QMenu> ShockwaveFlash::createContextMenu(QPoint pos) {
    auto menu = std::make_unique<QMenu>(this);
    Player* player = player_.get();
    const bool loaded = player != nullptr;
    auto add = [&](const QString& text, auto&& fn) {
        QAction* action = menu->addAction(text);
        action->setEnabled(loaded);
        connect(action, &QAction::triggered, this, [this, fn] {
            if (player_) fn(*player_);
        });
        return action;
    };
    add(tr("Zoom In"), [pos](Player& p) { p.zoomIn(pos); });
    add(tr("Zoom Out"), [](Player& p) { p.zoomOut(); })->setEnabled(loaded && player->zoom() > 1.0001);
    add(tr("Show All"), [](Player& p) { p.showAll(); })->setEnabled(loaded && player->zoom() > 1.0001);
    menu->addSeparator();
    QMenu* quality = menu->addMenu(tr("Quality"));
    quality->setEnabled(loaded);
    auto* group = new QActionGroup(quality);
    for (auto [text, level] : {std::pair{tr("Low"), Quality::Low}, std::pair{tr("Medium"), Quality::Medium},
                               std::pair{tr("High"), Quality::High}}) {
        QAction* action = quality->addAction(text);
        action->setCheckable(true);
        action->setChecked(loaded && player->quality() == level);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, level = level] {
            if (player_) player_->setQuality(level);
        });
    }
    menu->addSeparator();
    QAction* play = add(tr("Play"), [](Player& p) { p.isPlaying() ? p.stop() : p.play(); });
    play->setCheckable(true);
    play->setChecked(loaded && player->isPlaying());
    QAction* loop = add(tr("Loop"), [](Player& p) { p.setLoop(!p.loops()); });
    loop->setCheckable(true);
    loop->setChecked(loaded && player->loops());
    menu->addSeparator();
    add(tr("Rewind"), [](Player& p) { p.rewind(); });
    add(tr("Forward"), [](Player& p) { p.forward(); });
    add(tr("Back"), [](Player& p) { p.back(); });
    menu->addSeparator();
    QAction* about = menu->addAction(tr("About"));
    connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(this, tr("About the movie player"),
                           tr("Talvorin movie player: plays the SWF movies of the book's buttons."));
    });
    return menu;
}

void ShockwaveFlash::contextMenuEvent(QContextMenuEvent* event) {
    auto menu = createContextMenu(event->pos());
    menu->exec(event->globalPos());
}

}  // namespace swf
