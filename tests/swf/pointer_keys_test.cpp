// Input as scripts see it through the player: web requests and when they may open, the mouse
// in a clip's pixels in a scaled view, keys to the focused object, buttons inside buttons and
// buttons the timeline makes anew under the mouse.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "handmade_swf.h"
#include "script_actions.h"
#include "swf/swf.h"

namespace {

using namespace swf::test;
using Actions = swf::test::ScriptActions;

struct MovieRun {
    std::shared_ptr<const swf::Movie> movie;
    QStringList traces;
    std::unique_ptr<swf::Player> player;

    MovieRun(const QByteArray& tags, int frameCount, QSize view = QSize(100, 100)) {
        const QByteArray bytes = swf::test::movie(tags, 100, 100, 8, frameCount);
        movie = swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
        player = std::make_unique<swf::Player>(movie, nullptr, swf::Player::Start::Later);
        player->setViewSize(view);
        player->setTraceHandler([this](const QString& line) { traces << line; });
    }
};

QByteArray square(int id, int sizeTwips) {
    return shapeTag(id, 0, 0, sizeTwips, sizeTwips, QByteArray("\x00\xff\x00\x00", 4));
}

// One button record: all four states show `character` at `depth`.
QByteArray buttonRecord(int character, int depth, int tx = 0, int ty = 0) {
    return QByteArray(1, '\x0F') + u16(character) + u16(depth) + translate(tx, ty) + QByteArray(1, '\0');
}

// DefineButton2 with its records and (condition, actions) pairs.
QByteArray button(int id, const QByteArray& records, const std::vector<std::pair<int, QByteArray>>& actions = {}) {
    QByteArray conditions;
    for (size_t i = 0; i < actions.size(); ++i) {
        const QByteArray body = u16(actions[i].first) + actions[i].second;
        conditions += (i + 1 < actions.size() ? u16(int(body.size()) + 2) : u16(0)) + body;
    }
    const int offset = actions.empty() ? 0 : 2 + int(records.size()) + 1;
    return tag(34, u16(id) + QByteArray(1, '\0') + u16(offset) + records + QByteArray(1, '\0') + conditions);
}

QByteArray placeNamed(int depth, int id, const char* name, const QByteArray& matrix = translate(0, 0)) {
    return tag(26, QByteArray(1, char(0x02 | 0x04 | 0x20)) + u16(depth) + u16(id) + matrix + QByteArray(name) + '\0');
}

// GetURL2 without variables, as action bytes (no end mark).
QByteArray getUrl(const char* url, const char* window) {
    Actions a;
    a.str(url).str(window).op(0x9A);
    return a.body() + u16(1) + QByteArray(1, '\0');
}

constexpr int kRelease = 0x08, kPress = 0x04, kRollOver = 0x01, kDragOut = 0x10;

TEST(PointerKeys, ScriptsRequestPagesButOnlyAClickOpensOne) {
    const QByteArray tags = square(1, 1000) +
                            button(2, buttonRecord(1, 1), {{kRelease, getUrl("https://b.example/", "_self") + '\0'}}) +
                            placeNamed(1, 2, "b") + tag(12, getUrl("http://a.example/", "blank") + '\0') + showFrame();
    MovieRun r(tags, 1);
    QStringList seen;
    r.player->setWebRequestObserver([&](const swf::Player::WebRequest& w) { seen << w.url + " " + w.window; });
    QSignalSpy opened(r.player.get(), &swf::Player::urlRequested);
    r.player->advance();
    EXPECT_EQ(seen, (QStringList{"http://a.example/ _blank"}));
    EXPECT_EQ(opened.count(), 0);
    r.player->mousePress(QPointF(20, 20));
    r.player->mouseRelease(QPointF(20, 20));
    EXPECT_EQ(seen, (QStringList{"http://a.example/ _blank", "https://b.example/ _self"}));
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.at(0).at(0).toUrl(), QUrl("https://b.example/"));
}

TEST(PointerKeys, TheMouseInAClipFollowsTheScaledViewWithItsOffsetOnWholePixels) {
    // Clip "c" at x = 10.25, y = 5 in a view twice the stage's size: on screen at 20.5 px,
    // which the player takes as 20. A clip scaled to nothing ("z") answers the window
    // position as if it were in twips.
    Actions first;
    first.getVar("z").str("_xscale").num(0).op(0x4F);
    Actions second;
    second.traceMember("_root", "_xmouse").traceMember("c", "_xmouse").traceMember("c", "_ymouse");
    second.traceMember("z", "_xmouse").op(0x07);
    const QByteArray sprite = tag(39, u16(2) + u16(1) + showFrame() + tag(0, {}));
    const QByteArray tags = square(1, 100) + sprite + placeNamed(1, 2, "c", translate(205, 100)) +
                            placeNamed(2, 2, "z") + tag(12, first.end()) + showFrame() + tag(12, second.end()) +
                            showFrame();
    MovieRun r(tags, 2, QSize(200, 200));
    r.player->advance();
    r.player->mouseMove(QPointF(51, 31));
    r.player->advance();
    EXPECT_EQ(r.traces, (QStringList{"25.5", "15.5", "10.5", "2.55"}));
}

}  // namespace
