#include "swf/frame_clock.h"

#include <algorithm>
#include <cmath>

#include "swf/player.h"

namespace swf {

FrameClock& FrameClock::instance() {
    static FrameClock* clock = new FrameClock;  // lives as long as the process
    return *clock;
}

FrameClock::FrameClock() {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &FrameClock::tick);
    elapsed_.start();
}

int FrameClock::registeredCount() const {
    return int(std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.player; }));
}

void FrameClock::setDrawing(Player* player, bool drawing) {
    std::erase(drawing_, player);
    if (drawing) drawing_.push_back(player);
}

bool FrameClock::isDrawing(const Player* player) const {
    return std::find(drawing_.begin(), drawing_.end(), player) != drawing_.end();
}

void FrameClock::add(Player* player, double intervalMs) {
    for (Entry& e : entries_)
        if (e.player == player) return;
    entries_.push_back({player, intervalMs, double(elapsed_.elapsed()) + intervalMs});
    if (!ticking_) reschedule();
}

void FrameClock::remove(Player* player) {
    for (Entry& e : entries_)
        if (e.player == player) e.player = nullptr;  // erased after a tick, never during one
    if (!ticking_) {
        std::erase_if(entries_, [](const Entry& e) { return !e.player; });
        reschedule();
    }
}

void FrameClock::tick() {
    ticking_ = true;
    const double now = double(elapsed_.elapsed());
    // Players due together advance together, so their repaints merge into one.
    const size_t count = entries_.size();
    for (size_t i = 0; i < count; ++i) {
        if (!entries_[i].player || entries_[i].dueMs > now + 2) continue;
        Entry& e = entries_[i];
        e.dueMs += e.intervalMs;
        if (e.dueMs < now) e.dueMs = now + e.intervalMs;  // fell behind: skip, never catch up
        Player* player = e.player;
        if (isDrawing(player)) {
            ++droppedTicks_;  // its scripts and timelines wait for the next tick after the frame
            continue;
        }
        player->advance();  // may add or remove players; entries_ may grow but not shrink here
    }
    ticking_ = false;
    std::erase_if(entries_, [](const Entry& e) { return !e.player; });
    reschedule();
}

void FrameClock::reschedule() {
    if (entries_.empty()) {
        timer_.stop();
        return;
    }
    double next = entries_.front().dueMs;
    for (const Entry& e : entries_) next = std::min(next, e.dueMs);
    double wait = std::max(0.0, next - double(elapsed_.elapsed()));
    timer_.start(int(std::ceil(wait)));
}

}  // namespace swf
