#pragma once
// FrameClock: the one timer that drives every player. Each registered player advances at
// its own frame rate; the timer sleeps until the next player is due, and stops when no
// player is registered (stopped, one-frame and hidden movies leave the clock). A player whose
// frame is being drawn on the render thread is passed by: its ticks are dropped, not queued.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <vector>

namespace swf {

class Player;

class FrameClock : public QObject {
    Q_OBJECT
public:
    static FrameClock& instance();

    void add(Player* player, double intervalMs);
    void remove(Player* player);
    int registeredCount() const;

    // Marks a player as being drawn elsewhere; the clock does not advance it meanwhile.
    void setDrawing(Player* player, bool drawing);
    bool isDrawing(const Player* player) const;
    // Ticks dropped since start because their player was being drawn.
    long droppedTicks() const { return droppedTicks_; }

private:
    FrameClock();
    void tick();
    void reschedule();

    struct Entry {
        Player* player;
        double intervalMs;
        double dueMs;
    };
    std::vector<Entry> entries_;
    std::vector<const Player*> drawing_;
    long droppedTicks_ = 0;
    QTimer timer_;
    QElapsedTimer elapsed_;
    bool ticking_ = false;
};

}  // namespace swf
