// The script side of the player's surroundings: getURL requests as the host receives them,
// the context menu classes and Stage.displayState.
#include <gtest/gtest.h>

#include <deque>

#include "assembler.h"
#include "fake_host.h"
#include "script_fixture.h"

using namespace avm1test;

namespace {

class UiClassesTest : public ScriptFixture {
protected:
    // GetURL2 with the url and window pushed first.
    static Asm getUrl2(const std::string& url, const std::string& window, uint8_t flags) {
        Asm a;
        a.str(url).str(window).record(0x9A, {flags});
        return a;
    }
    // trace(path) where path is a dotted member chain from a variable.
    static Asm traceMember(const std::string& variable, std::initializer_list<const char*> members) {
        Asm a;
        a.str(variable).getVariable();
        for (const char* m : members) a.str(m).getMember();
        return a.trace();
    }
};

TEST_F(UiClassesTest, GetUrlNamesBlankOneWayAndKeepsOtherWindows) {
    Asm code;
    for (const char* window : {"blank", "_BLANK", "bLaNk", "_self", "top", "", "blanket"})
        code.append(getUrl2("https://example.org/", window, 0));
    run(code);
    std::vector<std::string> windows;
    for (const UrlRequest& r : host.requests) windows.push_back(r.window);
    EXPECT_EQ(windows, (std::vector<std::string>{"_blank", "_blank", "_blank", "_self", "top", "", "blanket"}));
    for (const UrlRequest& r : host.requests) EXPECT_EQ(r.method, UrlRequest::Method::None);
}

TEST_F(UiClassesTest, GetUrlWithAMethodSendsTheClipsVariablesNewestFirst) {
    Asm code;
    code.str("first").str("one").defineLocal();
    code.str("second").num(2).defineLocal();
    code.str("helper").function1("", {}, Asm()).defineLocal();  // functions stay behind
    code.append(getUrl2("http://example.com/form", "_self", 2));
    code.append(getUrl2("http://example.com/query", "_self", 1));
    run(code);
    ASSERT_EQ(host.requests.size(), 2u);
    const std::vector<std::pair<std::string, std::string>> sent = {
        {"second", "2"}, {"first", "one"}, {"$version", "LNX 32,0,0,0"}};
    EXPECT_EQ(host.requests[0].method, UrlRequest::Method::Post);
    EXPECT_EQ(host.requests[0].variables, sent);
    EXPECT_EQ(host.requests[1].method, UrlRequest::Method::Get);
    EXPECT_EQ(host.requests[1].variables, sent);
}

TEST_F(UiClassesTest, LoadsAndOtherSchemesNeverBecomeRequests) {
    Asm code;
    code.append(getUrl2("http://example.com/movie.swf", "_level1", 0));  // loadMovieNum
    code.append(getUrl2("http://example.com/movie.swf", "", 0x40));       // loadMovie
    code.append(getUrl2("http://example.com/vars.txt", "", 0x80));        // loadVariables
    code.append(getUrl2("javascript:alert(1)", "_blank", 0));
    code.append(getUrl2("file:///etc/passwd", "_blank", 2));
    run(code);
    EXPECT_TRUE(host.requests.empty());
}

TEST_F(UiClassesTest, ContextMenuCopiesAreIndependent) {
    Asm code;
    code.str("menu").num(0).str("ContextMenu").newObject().defineLocal();
    // menu.builtInItems.play = false; copy = menu.copy(); menu.customItems.push(new ContextMenuItem("Go"))
    code.str("menu").getVariable().str("builtInItems").getMember().str("play").boolean(false).setMember();
    code.str("copy").num(0).str("menu").getVariable().str("copy").callMethod().defineLocal();
    code.str("Go").num(1).str("ContextMenuItem").newObject();
    code.num(1).str("menu").getVariable().str("customItems").getMember().str("push").callMethod().pop();
    code.append(traceMember("copy", {"builtInItems", "play"}));
    code.append(traceMember("copy", {"builtInItems", "zoom"}));
    code.append(traceMember("copy", {"customItems", "length"}));
    code.append(traceMember("menu", {"customItems", "length"}));
    // A fresh menu starts from the defaults again.
    code.str("fresh").num(0).str("ContextMenu").newObject().defineLocal();
    code.append(traceMember("fresh", {"builtInItems", "play"}));
    code.num(0).str("fresh").getVariable().str("hideBuiltInItems").callMethod().pop();
    code.append(traceMember("fresh", {"builtInItems", "save"}));
    code.append(traceMember("menu", {"customItems", "0", "enabled"}));
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"false", "true", "0", "1", "true", "false", "true"}));
}

TEST_F(UiClassesTest, DisplayStateTakesAnySpellingAndTellsListenersOfChanges) {
    Asm onFullScreen;
    onFullScreen.str("full ").str("full").getVariable().add2().trace();
    Asm code;
    code.str("listener").num(0).str("Object").newObject().defineLocal();
    code.str("listener").getVariable().str("onFullScreen").function1("", {"full"}, onFullScreen).setMember();
    code.str("listener").getVariable().num(1).str("Stage").getVariable().str("addListener").callMethod().pop();
    for (const char* state : {"bogus", "FULLSCREEN", "fullScreen", "Normal"}) {
        code.str("Stage").getVariable().str("displayState").str(state).setMember();
        code.append(traceMember("Stage", {"displayState"}));
    }
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"normal", "full true", "fullScreen", "fullScreen", "full false",
                                                 "normal"}));
}

}  // namespace
