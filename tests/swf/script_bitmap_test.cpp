// Script bitmaps and pictures in hand-made movies: BitmapData pixels and attachBitmap on
// the stage, MovieClip.transform, pictures loaded into clips from the movie's folder only,
// and the bounds and hit area of a clip with a scroll rectangle.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <filesystem>

#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

using swf::writer::Actions;
using swf::writer::MovieWriter;

struct Outcome {
    QStringList traces;
    QImage picture;  // after the last frame, at the stage's size
};

Outcome play(const QByteArray& file, int frames, const std::filesystem::path& folder = {}) {
    Outcome out;
    swf::Player player(swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(file.data()), size_t(file.size()))),
                       nullptr, swf::Player::Start::Later);
    player.setTraceHandler([&](const QString& line) { out.traces << line; });
    if (!folder.empty()) player.setMovieFolder(swf::MovieFolder(folder));
    player.setQuality(swf::Quality::Low);
    for (int f = 0; f < frames; ++f) player.advance();
    player.setViewSize(QSize(100, 100));
    out.picture = player.renderImage(QSize(100, 100));
    return out;
}

// Runs `script` in frame 1 of a 100 x 100 movie, then `frames - 1` empty frames.
QByteArray movieWith(const Actions& script, int frames = 1) {
    MovieWriter w(QSizeF(100, 100), 10);
    w.doAction(script);
    for (int f = 0; f < frames; ++f) w.showFrame();
    return w.finish();
}

// variable.path as a trace.
void traceMember(Actions& a, const char* variable, std::initializer_list<const char*> path) {
    a.str(variable).getVariable();
    for (const char* member : path) a.str(member).getMember();
    a.trace();
}

void call(Actions& a, const char* variable, const char* method, std::initializer_list<double> args) {
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) a.num(*it);
    a.num(double(args.size())).str(variable).getVariable().str(method).callMethod();
}

// c = createEmptyMovieClip("c", 1)
void newClip(Actions& a) {
    a.str("c").num(1).str("c").num(2).str("createEmptyMovieClip").callFunction().setVariable();
}

TEST(ScriptBitmap, BitmapDataPixelsShowWhereAttached) {
    Actions a;
    newClip(a);
    // bmd = new flash.display.BitmapData(20, 10, false, 0x336699)
    a.str("bmd").num(0x336699).boolean(false).num(10).num(20).num(4);
    a.str("flash").getVariable().str("display").getMember().str("BitmapData").newMethod().setVariable();
    a.num(5).str("bmd").getVariable().num(2).str("c").getVariable().str("attachBitmap").callMethod().pop();
    call(a, "bmd", "setPixel32", {1, 1, double(int32_t(0x80FF0000))});  // opaque: the alpha is dropped
    call(a, "bmd", "getPixel32", {1, 1});
    a.trace();
    call(a, "bmd", "getPixel", {0, 0});
    a.trace();
    call(a, "bmd", "getPixel", {20, 0});  // outside
    a.trace();
    traceMember(a, "bmd", {"width"});
    a.str("c").getVariable().str("_x").num(30).setMember();
    a.str("c").getVariable().str("_y").num(40).setMember();
    const Outcome r = play(movieWith(a), 1);
    EXPECT_EQ(r.traces, QStringList({QString::number(int32_t(0xFFFF0000)), QString::number(0x336699), "0", "20"}));
    EXPECT_EQ(r.picture.pixel(35, 45) & 0xFFFFFF, 0x336699u);
    EXPECT_EQ(r.picture.pixel(31, 41) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(r.picture.pixel(29, 45) & 0xFFFFFF, 0xFFFFFFu);  // left of the clip: the stage
    EXPECT_EQ(r.picture.pixel(50, 45) & 0xFFFFFF, 0xFFFFFFu);  // past the bitmap's 20 pixels

    // Disposed: the size reads -1, the pixels read nothing; a size past the limit makes nothing.
    Actions gone;
    gone.str("bmd").num(0).boolean(true).num(10).num(10).num(4);
    gone.str("flash").getVariable().str("display").getMember().str("BitmapData").newMethod().setVariable();
    call(gone, "bmd", "dispose", {});
    gone.pop();
    traceMember(gone, "bmd", {"width"});
    call(gone, "bmd", "getPixel", {0, 0});
    gone.trace();
    gone.str("big").num(5000).num(10).num(2);
    gone.str("flash").getVariable().str("display").getMember().str("BitmapData").newMethod().setVariable();
    traceMember(gone, "big", {"width"});
    EXPECT_EQ(play(movieWith(gone), 1).traces, QStringList({"-1", "undefined", "-1"}));
}

TEST(ScriptBitmap, TransformReadsAndSetsTheClipsMatrix) {
    Actions a;
    newClip(a);
    a.str("c").getVariable().str("_x").num(10).setMember();
    a.str("c").getVariable().str("_xscale").num(-100).setMember();
    traceMember(a, "c", {"transform", "matrix", "a"});
    traceMember(a, "c", {"transform", "matrix", "tx"});
    // c.transform.matrix = new flash.geom.Matrix(2, 0, 0, 3, 5, 6)
    a.str("c").getVariable().str("transform").getMember().str("matrix");
    a.num(6).num(5).num(3).num(0).num(0).num(2).num(6);
    a.str("flash").getVariable().str("geom").getMember().str("Matrix").newMethod().setMember();
    traceMember(a, "c", {"_xscale"});
    traceMember(a, "c", {"_y"});
    traceMember(a, "c", {"transform", "colorTransform", "alphaMultiplier"});
    const Outcome r = play(movieWith(a), 1);
    EXPECT_EQ(r.traces, QStringList({"-1", "10", "200", "6", "1"}));
}

TEST(ScriptBitmap, LoadClipShowsAPictureFromTheMoviesFolderOnly) {
    QTemporaryDir temp;
    const std::filesystem::path root = temp.path().toStdString();
    std::filesystem::create_directories(root / "movie");
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(QColor(0, 128, 255));
    ASSERT_TRUE(picture.save(QString::fromStdString((root / "movie" / "blue.png").string())));
    ASSERT_TRUE(picture.save(QString::fromStdString((root / "outside.png").string())));

    auto movie = [](const char* url) {
        Actions a;
        newClip(a);
        a.str("c").getVariable().str("_x").num(50).setMember();
        a.str("l").num(0).str("MovieClipLoader").newObject().setVariable();
        for (const char* event : {"onLoadInit", "onLoadError"}) {
            Actions body;
            body.str(std::string(event) + " ").num(0).str("c").getVariable().str("getSWFVersion").callMethod().add2().trace();
            a.str("l").getVariable().str(event).function1("", {}, body).setMember();
        }
        a.str("c").getVariable().str(url).num(2).str("l").getVariable().str("loadClip").callMethod().trace();
        return movieWith(a, 3);
    };
    const Outcome loaded = play(movie("blue.png"), 3, root / "movie");
    ASSERT_EQ(loaded.traces, QStringList({"true", "onLoadInit -1"}));
    EXPECT_EQ(loaded.picture.pixel(53, 3) & 0xFFFFFF, 0x0080FFu);
    EXPECT_EQ(loaded.picture.pixel(59, 3) & 0xFFFFFF, 0xFFFFFFu);

    const Outcome refused = play(movie("../outside.png"), 3, root / "movie");
    EXPECT_EQ(refused.traces, QStringList({"true", QString("onLoadError %1").arg(10)}));  // the writer's version
    EXPECT_EQ(refused.picture.pixel(53, 3) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(ScriptBitmap, AScrollRectangleIsTheClipsBoundsAndHitArea) {
    // A 60 x 60 square drawn in the clip, seen through a 20 x 10 window from (30, 30).
    Actions a;
    newClip(a);
    call(a, "c", "beginFill", {0xFF0000});
    a.pop();
    for (auto [x, y] : {std::pair{60, 0}, {60, 60}, {0, 60}, {0, 0}}) {
        call(a, "c", "lineTo", {double(x), double(y)});
        a.pop();
    }
    a.str("c").getVariable().str("scrollRect");
    a.num(10).num(20).num(30).num(30).num(4);
    a.str("flash").getVariable().str("geom").getMember().str("Rectangle").newMethod().setMember();
    traceMember(a, "c", {"_width"});
    traceMember(a, "c", {"_height"});
    call(a, "c", "hitTest", {15, 5, 1});  // inside the window
    a.trace();
    call(a, "c", "hitTest", {40, 40, 1});  // on the square, outside the window
    a.trace();
    call(a, "c", "hitTest", {40, 5, 0});  // bounding box: the window's too
    a.trace();
    const Outcome r = play(movieWith(a), 1);
    EXPECT_EQ(r.traces, QStringList({"20", "10", "true", "false", "false"}));
}

}  // namespace
