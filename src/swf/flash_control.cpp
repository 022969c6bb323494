#include "swf/flash_control.h"

#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <utility>

#include "core/install_path.h"
#include "swf/frame_clock.h"
#include "swf/swf.h"

namespace swf {

namespace {
// A frame that takes longer to draw makes the control drop frames for twice as long, so that
// a heavy movie takes at most a third of the render thread's time.
constexpr std::chrono::milliseconds kSlowFrame{30};
// Enough for every frame of a short looping button movie at the control's size.
constexpr qint64 kPictureBudgetBytes = 2 << 20;

// One thread draws for every control, in the order the frames were asked for; each control has
// at most one frame there, so a heavy movie delays the others by one frame at most. The pool
// is never destroyed: its idle thread ends by itself, and controls wait for their own frames.
QThreadPool& renderThread() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}
}  // namespace

// A frame on its way through the render thread. The player is only touched there between
// the start and `done`; it is released on the user-interface thread.
struct ShockwaveFlash::DrawJob {
    std::shared_ptr<Player> player;
    QPointer<ShockwaveFlash> control;
    QSize pixels;
    qreal ratio = 1;
    QByteArray key;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;     // guarded by mutex
    bool handled = false;  // user-interface thread only
    QImage image;
    std::chrono::steady_clock::duration took{};

    // Back on the user-interface thread: the player is free again. Runs once, from the
    // queued notice or from a wait, whichever comes first.
    static void handle(const std::shared_ptr<DrawJob>& job) {
        if (job->handled) return;
        job->handled = true;
        FrameClock::instance().setDrawing(job->player.get(), false);
        if (job->control && job->control->drawing_ == job) job->control->frameDrawn(job);
        job->player.reset();
    }
    void wait() {
        std::unique_lock lock(mutex);
        finished.wait(lock, [this] { return done; });
    }
};

// A movie on its way through the render thread: read and parsed there, made into a player
// back on the user-interface thread.
struct ShockwaveFlash::LoadJob {
    QPointer<ShockwaveFlash> control;
    std::filesystem::path file;
    std::shared_ptr<const Movie> movie;
    std::string error;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;     // guarded by mutex
    bool handled = false;  // user-interface thread only

    static void handle(const std::shared_ptr<LoadJob>& job) {
        if (job->handled) return;
        job->handled = true;
        if (job->control && job->control->loading_ == job) job->control->movieLoaded(job);
        job->movie.reset();
    }
    void wait() {
        std::unique_lock lock(mutex);
        finished.wait(lock, [this] { return done; });
    }
};

ShockwaveFlash::ShockwaveFlash(QWidget* parent) : QWidget(parent), pictures_(kPictureBudgetBytes) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

ShockwaveFlash::~ShockwaveFlash() {
    // The work in flight may use fonts and picture decoders: it ends before the window and
    // the application that own them. Detached first, so that it no longer reaches this control.
    if (auto job = std::exchange(loading_, nullptr)) {
        job->wait();
        LoadJob::handle(job);
    }
    if (auto job = std::exchange(drawing_, nullptr)) {
        job->wait();
        DrawJob::handle(job);
    }
}

void ShockwaveFlash::setMovie(const QString& installPath) {
    movie_ = installPath;
    // A frame still being drawn finishes with the old player, which it keeps until then.
    if (drawing_) disconnect(drawing_->player.get(), nullptr, this, nullptr);
    drawing_.reset();
    heldChanges_.clear();
    lastHeldIsMove_ = false;
    player_.reset();
    frame_ = QImage();
    framesDrawn_ = 0;
    pictures_.clear();
    frameStale_ = true;
    // Read and parsed on the render thread: a large movie keeps neither the window from
    // showing nor a click from being answered. A load still under way is left to finish alone.
    auto job = std::make_shared<LoadJob>();
    job->control = this;
    job->file = core::resolveInstallPath(installPath.toStdString());
    loading_ = job;
    renderThread().start([job] {
        try {
            job->movie = loadMovieFile(job->file);
        } catch (const std::exception& e) {
            job->error = e.what();  // a broken movie, or one past what memory allows
        }
        {
            std::lock_guard lock(job->mutex);
            job->done = true;
        }
        job->finished.notify_all();
        QMetaObject::invokeMethod(qApp, [job] { LoadJob::handle(job); }, Qt::QueuedConnection);
    });
    update();
}

void ShockwaveFlash::movieLoaded(const std::shared_ptr<LoadJob>& job) {
    loading_.reset();
    frameStale_ = true;
    update();
    // A broken movie leaves the control empty; it is reported once, here, without a dialog.
    auto report = [&job](const char* what) { std::fprintf(stderr, "swf: %s: %s\n", job->file.string().c_str(), what); };
    if (!job->error.empty()) return report(job->error.c_str());
    try {
        if (job->movie) {
            player_ = std::make_shared<Player>(job->movie);
            // Its scripts may load a sound or picture from the movie's own folder, nothing else.
            player_->setMovieFolder(MovieFolder(job->file.parent_path()));
            player_->setViewSize(size());
            player_->setActive(isVisible());
            connect(player_.get(), &Player::needsRepaint, this, &ShockwaveFlash::frameChanged);
            // The player asks only while handling the user's click, and only for http(s).
            connect(player_.get(), &Player::urlRequested, this, [](const QUrl& url) { QDesktopServices::openUrl(url); });
        }
    } catch (const core::RuntimeError& e) {
        player_.reset();
        report(e.what());
    }
}

void ShockwaveFlash::waitForLoading() {
    if (!loading_) return;
    const std::shared_ptr<LoadJob> job = loading_;
    job->wait();
    LoadJob::handle(job);
}

QString ShockwaveFlash::movie() const { return movie_; }

Player* ShockwaveFlash::player() {
    waitForLoading();
    waitForDrawing();
    return player_.get();
}

void ShockwaveFlash::waitForDrawing() {
    if (!drawing_) return;
    const std::shared_ptr<DrawJob> job = drawing_;
    job->wait();
    DrawJob::handle(job);
}

void ShockwaveFlash::finishDrawing() {
    waitForLoading();
    waitForDrawing();
    if (!player_) return;
    const QSize pixels = size() * devicePixelRatioF();
    if (!frameStale_ && frame_.size() == pixels) return;
    frameStale_ = false;
    frame_ = player_->renderImage(pixels);
    frame_.setDevicePixelRatio(devicePixelRatioF());
    ++framesDrawn_;
    update();
}

void ShockwaveFlash::withPlayer(std::function<void(Player&)> change, bool isMove) {
    if (!player_) return;
    if (!drawing_) return change(*player_);
    // Of the moves that come during one frame only the last counts: each means a hit test.
    if (isMove && lastHeldIsMove_ && !heldChanges_.empty()) heldChanges_.back() = std::move(change);
    else heldChanges_.push_back(std::move(change));
    lastHeldIsMove_ = isMove;
}

void ShockwaveFlash::frameChanged() {
    frameStale_ = true;
    if (isVisible()) update();
}

void ShockwaveFlash::startDrawing(QSize pixels) {
    auto job = std::make_shared<DrawJob>();
    job->player = player_;
    job->control = this;
    job->pixels = pixels;
    job->ratio = devicePixelRatioF();
    job->key = player_->pictureKey();
    drawing_ = job;
    frameStale_ = false;
    FrameClock::instance().setDrawing(player_.get(), true);
    renderThread().start([job] {
        const auto start = std::chrono::steady_clock::now();
        // Drawn at the screen's own resolution: on a high-density screen the movie is as
        // sharp as at twice the size, never a small picture blown up.
        QImage image = job->player->renderImage(job->pixels);
        image.setDevicePixelRatio(job->ratio);
        {
            std::lock_guard lock(job->mutex);
            job->image = std::move(image);
            job->took = std::chrono::steady_clock::now() - start;
            job->done = true;
        }
        job->finished.notify_all();
        // The notice holds the job, so that the player it holds is let go on qApp's thread.
        QMetaObject::invokeMethod(qApp, [job] { DrawJob::handle(job); }, Qt::QueuedConnection);
    });
}

void ShockwaveFlash::frameDrawn(const std::shared_ptr<DrawJob>& job) {
    drawing_.reset();
    frame_ = std::move(job->image);
    ++framesDrawn_;
    // After a frame that was slow to draw, the frames in between are dropped: the latest one
    // is drawn once the pause is over, so a heavy movie takes at most a third of the render
    // thread's time.
    if (job->took > kSlowFrame) drawNotBefore_ = std::chrono::steady_clock::now() + 2 * job->took;
    pictures_.shown();
    pictures_.offer(job->key, frame_);
    // What came in while the frame was drawn reaches the player now, in order.
    auto held = std::move(heldChanges_);
    heldChanges_.clear();
    lastHeldIsMove_ = false;
    for (auto& change : held)
        if (player_ == job->player) change(*player_);
    update();
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
    if ((frameStale_ || frame_.size() != pixels) && !drawing_) {
        const QImage cached = pictures_.find(player_->pictureKey());
        if (!cached.isNull() && cached.size() == pixels) {
            frame_ = cached;
            frameStale_ = false;
        } else {
            const auto now = std::chrono::steady_clock::now();
            if (now >= drawNotBefore_) {
                startDrawing(pixels);
            } else if (!redrawPending_) {
                redrawPending_ = true;
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(drawNotBefore_ - now);
                QTimer::singleShot(int(wait.count()), this, [this] {
                    redrawPending_ = false;
                    update();
                });
            }
        }
    }
    // Until the first frame is back, the stage's colour.
    if (frame_.isNull()) painter.fillRect(rect(), player_->movie().background);
    else painter.drawImage(0, 0, frame_);
}

void ShockwaveFlash::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    withPlayer([size = size()](Player& p) { p.setViewSize(size); });
    frameStale_ = true;
    pictures_.clear();
}

void ShockwaveFlash::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    withPlayer([](Player& p) { p.setActive(true); });
    frameStale_ = true;
}

void ShockwaveFlash::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    withPlayer([](Player& p) { p.setActive(false); });
}

void ShockwaveFlash::mouseMoveEvent(QMouseEvent* event) {
    withPlayer(
        [this, pos = event->position()](Player& p) {
            p.mouseMove(pos);
            setCursor(p.overButton() ? Qt::PointingHandCursor : Qt::ArrowCursor);
        },
        true);
}

void ShockwaveFlash::mousePressEvent(QMouseEvent* event) {
    // Qt has given the control the focus (GotFocus) before this press arrives, so the
    // reader's focus handling always comes before the movie's scripts see the click.
    if (event->button() == Qt::LeftButton) withPlayer([pos = event->position()](Player& p) { p.mousePress(pos); });
}

void ShockwaveFlash::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) withPlayer([pos = event->position()](Player& p) { p.mouseRelease(pos); });
}

void ShockwaveFlash::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    withPlayer([](Player& p) { p.mouseLeave(); });
}

std::unique_ptr<QMenu> ShockwaveFlash::createContextMenu(QPoint pos) {
    auto menu = std::make_unique<QMenu>(this);
    Player* player = player_.get();
    const bool loaded = player != nullptr;
    auto add = [&](const QString& text, auto&& fn) {
        QAction* action = menu->addAction(text);
        action->setEnabled(loaded);
        connect(action, &QAction::triggered, this, [this, fn] { withPlayer(fn); });
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
        connect(action, &QAction::triggered, this,
                [this, level = level] { withPlayer([level](Player& p) { p.setQuality(level); }); });
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
