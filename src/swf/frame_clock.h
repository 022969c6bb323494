#pragma once
// FrameClock: the one timer that drives every player. Each registered player advances at
// its own frame rate; the timer sleeps until the next player is due, and stops when no
// player is registered (stopped, one-frame and hidden movies leave the clock).
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
    QTimer timer_;
    QElapsedTimer elapsed_;
    bool ticking_ = false;
};

}  // namespace swf
