// The real program against installation folders whose store cannot be used: each run ends
// with a report of the error and a non-zero exit status. Message boxes close themselves
// (TALVORIN_REPORT_TIMEOUT_MS), so no person is needed.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "book_fixture.h"

namespace {

struct ProgramRun {
    int exitStatus;
    std::string errors;
};

// Runs the reader in `book` for at most `seconds`, with `settings` (NAME=VALUE ...) added to
// its environment, through `launcher` (such as xvfb-run) when one is given.
ProgramRun runReader(const test::TempBook& book, const std::string& settings = "", int seconds = 60,
                     const std::string& launcher = "")
{
    const auto program = book.root() / "talvorin";
    std::filesystem::copy_file(TALVORIN_EXECUTABLE, program, std::filesystem::copy_options::overwrite_existing);
    const auto errors = book.root() / "stderr.txt";
    const std::string command = "cd '" + book.folder() +
                                "' && " + launcher + " env QT_QPA_PLATFORM=offscreen TALVORIN_REPORT_TIMEOUT_MS=100 "
                                "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu QT_QUICK_BACKEND=software " + settings +
                                " timeout " + std::to_string(seconds) + " ./talvorin 2> '" + errors.string() + "' > /dev/null";
    const int status = std::system(command.c_str());
    const auto bytes = test::readFile(errors);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(bytes.begin(), bytes.end())};
}

TEST(ReaderProgram, UnusableStoresEndTheProgramWithAReport)
{
    struct Case {
        const char* what;
        test::StoreOptions store;
        bool withStore;
        const char* description;
    };
    const Case cases[] = {
        {"missing store", {}, false, "Could not find file"},
        {"wrong password", {.password = "38pondwick7"}, true, "password"},
        {"no table b1", {.table = "b9"}, true, "cannot find the input table"},
        {"no field m1", {.column = "m9"}, true, "No value given"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempBook book(c.store, c.withStore);
        const ProgramRun run = runReader(book);
        EXPECT_EQ(run.exitStatus, 1) << run.errors;
        EXPECT_NE(run.errors.find("Run-time error "), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find(c.description), std::string::npos) << run.errors;
        // Nothing was extracted: no page file was written.
        EXPECT_FALSE(std::filesystem::exists(book.root() / "res/Chapter/faj.trm"));
    }
}

TEST(ReaderProgram, ANormalStartPrintsNothing)
{
    if (std::system("command -v xvfb-run >/dev/null") != 0)
        GTEST_SKIP() << "xvfb-run is not installed";
    test::TempBook book;
    // A session's own runtime folder, as a desktop login provides one.
    const auto runtime = book.root() / "runtime";
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    // On a display, as a user starts it; ended by `timeout` once it has shown its first page.
    const ProgramRun run = runReader(book, "QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR='" + runtime.string() + "'", 8,
                                     "xvfb-run -a -s '-screen 0 1280x1024x24'");
    EXPECT_EQ(run.exitStatus, 124) << "the reader should still have been running: " << run.errors;
    EXPECT_EQ(run.errors, "");
}

}  // namespace
