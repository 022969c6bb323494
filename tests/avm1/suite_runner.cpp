// Runs the pure-script conformance movies without the player: the root timeline's frame
// scripts, onEnterFrame and timers, against a fake display tree. For engine work only; the
// player's own conformance test covers the movies that need real display objects.
//   avm1_suite DIR... : prints PASS/FAIL per test and a count
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "fake_host.h"
#include "script_movie.h"

using namespace avm1test;

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string s = ss.str(), out;
    for (size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    return out;
}

int numFrames(const std::string& toml) {
    std::smatch m;
    if (std::regex_search(toml, m, std::regex(R"(num_frames\s*=\s*(\d+))"))) return std::stoi(m[1]);
    if (std::regex_search(toml, m, std::regex(R"(num_ticks\s*=\s*(\d+))"))) return std::stoi(m[1]);
    return 1;
}

std::string run(const std::string& dir, int frames) {
    auto movie = readScriptMovie(dir + "/test.swf");
    if (!movie) return "<unreadable>";
    FakeHost host;
    host.version = movie->version;
    host.node(host.root)->totalFrames = int(movie->frames.size());
    Engine engine(host, movie->version);
    host.removed = [&](DisplayId id) { engine.displayObjectRemoved(id); };
    std::string out;
    engine.setTraceSink([&](std::string_view line) {
        out += line;
        out += '\n';
    });
    engine.displayObjectCreated(host.root);
    int current = 0;  // 1-based frame that ran last
    double frameMs = 1000.0 / (movie->frameRate > 0 ? movie->frameRate : 12);
    for (int tick = 0; tick < frames && !engine.scriptsDisabled(); ++tick) {
        auto* root = host.node(host.root);
        int next = current == 0 ? 1 : root->playing ? (current % root->totalFrames) + 1 : current;
        if (host.pendingGoto) next = host.pendingGoto;
        host.pendingGoto = 0;
        if (tick > 0) {
            for (DisplayId c : host.children(host.root)) engine.callHandler(c, "onEnterFrame");
            engine.callHandler(host.root, "onEnterFrame");
        }
        if (next != current || host.pendingGoto) {
            root->frame = next;
            current = next;
            for (auto& block : movie->frames[size_t(next - 1)]) engine.runActions(block, host.root);
        }
        engine.advanceTime(frameMs);
        host.clockMs += frameMs;
        if (out.size() > 4 << 20) break;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    int pass = 0, total = 0;
    bool verbose = std::getenv("AVM1_VERBOSE") != nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string dir = argv[i];
        std::string expected = readText(dir + "/output.txt");
        std::string got = run(dir, numFrames(readText(dir + "/test.toml")));
        bool ok = got == expected;
        ++total;
        pass += ok;
        std::printf("%s %s\n", ok ? "PASS" : "FAIL", dir.c_str());
        if (!ok && verbose) std::printf("--- got\n%s--- expected\n%s", got.c_str(), expected.c_str());
    }
    std::printf("%d/%d\n", pass, total);
}
