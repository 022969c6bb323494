// bench_store: how fast the reader gets a stored chapter onto disk.
//
// Packs eight 500 KB chapters into a store, then times, in the same run and interleaved:
//   reader  - open the connection and the recordset "select m1 from b1", then position on
//             each record in turn and write it to the page file with ExtractChapter;
//   export  - mdb-export -b raw of the same column into a file (mdbtools, if installed);
//   floor   - the same eight chapters written from memory, one write each, the way
//             ExtractChapter writes them (delete, create, write, close).
// Prints the median of each and the ratios reader/floor (target 1.5 at most) and
// reader/export (target below 1).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "content/extract_chapter.h"
#include "jet/ado.h"
#include "jetwriter.h"

extern char** environ;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kChapters = 8;
constexpr std::size_t kChapterSize = 500 * 1024;
constexpr int kWarmUpRounds = 3;
constexpr int kRounds = 41;

// Something like an HTML page: markup around pseudo-random words.
Bytes chapterPage(int chapter)
{
    std::mt19937 generator(static_cast<std::uint32_t>(chapter));
    std::string page = "<html><head><meta charset=\"utf-8\"><title>Chapter " + std::to_string(chapter) +
                       "</title></head><body>\n";
    while (page.size() < kChapterSize - 32) {
        page += "<p>";
        for (int word = 0; word < 40; ++word) {
            const int length = 2 + static_cast<int>(generator() % 9);
            for (int i = 0; i < length; ++i) page += static_cast<char>('a' + generator() % 26);
            page += ' ';
        }
        page += "</p>\n";
    }
    page.resize(kChapterSize - 15);
    page += "</body></html>\n";
    return Bytes(page.begin(), page.end());
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Bytes readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool onPath(const char* program)
{
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "";
    std::size_t at = 0;
    while (at <= rest.size()) {
        const std::size_t end = std::min(rest.find(':', at), rest.size());
        if (::access((rest.substr(at, end - at) + "/" + program).c_str(), X_OK) == 0) return true;
        at = end + 1;
    }
    return false;
}

// Runs mdb-export on the store with its output in `outFile`; false when it fails.
bool runMdbExport(const std::string& store, const std::string& outFile)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const char* argv[] = {"mdb-export", "-H", "-b", "raw", store.c_str(), "b1", nullptr};
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, "mdb-export", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void writeFloor(const std::filesystem::path& file, const Bytes& bytes)
{
    std::filesystem::remove(file);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::fprintf(stderr, "bench_store: cannot write %s\n", file.c_str());
        std::exit(1);
    }
    ::close(fd);
}

}  // namespace

int main()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "bench_store_XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("bench_store: mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    std::filesystem::create_directories(folder / "res" / "Chapter");
    const std::filesystem::path store = folder / "res" / "chapter" / "qvd.dll";
    std::filesystem::create_directories(store.parent_path());

    std::vector<Bytes> chapters;
    jetwriter::StorePlan plan;
    plan.password = "38pondwick71";
    plan.creationDate = jetwriter::oleDateNow();
    for (int c = 0; c < kChapters; ++c) chapters.push_back(chapterPage(6 + c));
    for (const auto& chapter : chapters) plan.records.emplace_back(chapter);
    {
        const Bytes file = jetwriter::buildStore(plan);
        std::ofstream(store, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }

    // The reader's own path form: application folder, then a literal with backslashes.
    const std::string pagePath = folder.string() + "\\res\\Chapter\\faj.trm";
    const std::filesystem::path pageFile = folder / "res" / "Chapter" / "faj.trm";
    const std::string connection = "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source=" +
                                   folder.string() + "\\res\\chapter\\qvd.dll ;Jet OLEDB:Database Password=38pondwick71";

    auto readerRun = [&] {
        const auto start = Clock::now();
        auto adocnaccess = std::make_shared<jet::Connection>();
        adocnaccess->ConnectionString = connection;
        adocnaccess->ConnectionTimeout = 5;
        adocnaccess->Open("", "", "", -1);
        jet::Recordset rsxs;
        rsxs.ActiveConnection = adocnaccess;
        rsxs.Source = "select m1 from b1";
        rsxs.Open();
        for (int record = 0; record < kChapters; ++record) {
            rsxs.MoveFirst();
            if (record > 0) rsxs.Move(record);
            content::ExtractChapter(rsxs, pagePath);
        }
        rsxs.Close();
        return millisecondsSince(start);
    };
    // The same without writing: where the reader's time goes.
    auto readOnlyRun = [&] {
        const auto start = Clock::now();
        auto adocnaccess = std::make_shared<jet::Connection>();
        adocnaccess->ConnectionString = connection;
        adocnaccess->Open("", "", "", -1);
        jet::Recordset rsxs;
        rsxs.ActiveConnection = adocnaccess;
        rsxs.Source = "select m1 from b1";
        rsxs.Open();
        std::size_t total = 0;
        for (int record = 0; record < kChapters; ++record) {
            rsxs.MoveFirst();
            if (record > 0) rsxs.Move(record);
            total += rsxs.Fields("m1").Value().size();
        }
        if (total != kChapters * kChapterSize) std::exit(1);
        return millisecondsSince(start);
    };
    const bool haveExport = onPath("mdb-export");
    const std::string exportFile = (folder / "export.out").string();
    auto exportRun = [&] {
        const auto start = Clock::now();
        if (!runMdbExport(store.string(), exportFile)) {
            std::fprintf(stderr, "bench_store: mdb-export failed\n");
            std::exit(1);
        }
        return millisecondsSince(start);
    };
    auto floorRun = [&] {
        const auto start = Clock::now();
        for (const auto& chapter : chapters) writeFloor(pageFile, chapter);
        return millisecondsSince(start);
    };

    // Each way must produce the right bytes before its time means anything.
    readerRun();
    if (readFile(pageFile) != chapters.back()) {
        std::fprintf(stderr, "bench_store: the page file does not hold the last chapter\n");
        return 1;
    }
    if (haveExport) {
        exportRun();
        const auto size = std::filesystem::file_size(exportFile);
        const std::size_t expected = kChapters * (kChapterSize + 3);  // quotes and newline per row
        if (size < expected) {
            std::fprintf(stderr, "bench_store: mdb-export wrote %ju bytes, expected at least %zu\n",
                         static_cast<std::uintmax_t>(size), expected);
            return 1;
        }
    }

    // The ways take turns at going first, so that none always runs right after the
    // writes of another (the file system flushes in the background).
    std::vector<double> reader, readOnly, exporter, floor;
    for (int round = 0; round < kWarmUpRounds + kRounds; ++round) {
        double r = 0, o = 0, e = 0, f = 0;
        for (int turn = 0; turn < 4; ++turn) {
            switch ((round + turn) % 4) {
            case 0: r = readerRun(); break;
            case 1: o = readOnlyRun(); break;
            case 2: e = haveExport ? exportRun() : 0.0; break;
            case 3: f = floorRun(); break;
            }
        }
        if (round < kWarmUpRounds) continue;
        reader.push_back(r);
        readOnly.push_back(o);
        exporter.push_back(e);
        floor.push_back(f);
    }

    const double readerMs = median(reader);
    const double floorMs = median(floor);
    std::printf("bench_store: %d chapters of %zu bytes, %d rounds, medians\n", kChapters, kChapterSize, kRounds);
    std::printf("  reader (open + ExtractChapter x%d) %8.3f ms\n", kChapters, readerMs);
    std::printf("  floor  (one write each from memory) %7.3f ms\n", floorMs);
    std::printf("  read only (open + Value() x%d)     %8.3f ms\n", kChapters, median(readOnly));
    std::printf("  reader / floor       %6.2f   (target <= 1.50)\n", readerMs / floorMs);
    if (haveExport) {
        const double exportMs = median(exporter);
        std::printf("  mdb-export -b raw                  %8.3f ms\n", exportMs);
        std::printf("  reader / mdb-export  %6.2f   (target < 1.00)\n", readerMs / exportMs);
    } else {
        std::printf("  mdb-export: not installed (Debian package mdbtools), no comparison\n");
    }

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
