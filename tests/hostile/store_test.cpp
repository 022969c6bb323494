// Hostile and unlucky chapter stores: cut short at every page, swapped for a FIFO, a device
// or a folder. The engine and `chapterstore list` either read every record whole or report
// damage; never a shorter table, never a wait.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>

#include "core/error.h"
#include "jetwriter.h"
#include "store_test_support.h"

using namespace store_test;

namespace {

constexpr char kPassword[] = "38pondwick71";

class HostileStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (std::uint32_t i = 0; i < 8; ++i)
            values.push_back(randomBytes(1500 + 700 * i, 40 + i));
        writeStoreFile(store, specOf(values, kPassword));
        image = readFile(store);
    }
    TempFolder folder;
    std::filesystem::path store = folder / "qvd.dll";
    std::vector<Bytes> values;
    Bytes image;
};

bool isDamageReport(const std::string& text) { return text.find("is damaged") != std::string::npos; }

TEST_F(HostileStore, ACopyCutShortAnywhereIsWholeOrDamagedNeverShort)
{
    const std::filesystem::path cut = folder / "cut.dll";
    int damaged = 0;
    for (std::size_t size = 4096; size < image.size(); size += 512) {
        SCOPED_TRACE("cut to " + std::to_string(size) + " bytes");
        writeFile(cut, Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size)));
        try {
            const Column read = readWithEngine(cut, kPassword);
            ASSERT_EQ(read.size(), values.size());
            for (std::size_t i = 0; i < values.size(); ++i)
                EXPECT_TRUE(read[i] && *read[i] == values[i]) << "record " << i + 1;
        } catch (const core::RuntimeError& error) {
            // Only pages wholly inside the file are read; a cut in the catalog may also make
            // the table unknown, which is no short table either.
            const std::string text = error.description();
            if (isDamageReport(text))
                ++damaged;
            else
                EXPECT_NE(text.find("cannot find the input table"), std::string::npos) << text;
        }
    }
    EXPECT_GT(damaged, 0);

    // The tool says the same and fails.
    writeFile(cut, Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(image.size() - 4096)));
    const ProcessResult list = run(chapterstoreTool(), {"list", cut.string(), "--password", kPassword});
    EXPECT_NE(list.exitCode, 0) << list.out;
    EXPECT_TRUE(isDamageReport(list.err)) << list.err;
}

TEST_F(HostileStore, ATablePageNumberPastTheEndIsDamage)
{
    // The last page holds the table's data; a file one page short names it past the end.
    const std::filesystem::path cut = folder / "short.dll";
    writeFile(cut, Bytes(image.begin(), image.end() - 4096));
    try {
        const Column read = readWithEngine(cut, kPassword);
        FAIL() << "read " << read.size() << " records from a store cut short";
    } catch (const core::RuntimeError& error) {
        EXPECT_TRUE(isDamageReport(error.description())) << error.description();
        EXPECT_NE(error.description().find("short.dll"), std::string::npos);
    }
}

TEST_F(HostileStore, NoRegularFileIsRefusedAtOnceLikeAMissingOne)
{
    const std::filesystem::path fifo = folder / "fifo.dll";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::filesystem::path zero = folder / "zero.dll";
    std::filesystem::create_symlink("/dev/zero", zero);
    const std::filesystem::path directory = folder / "folder.dll";
    std::filesystem::create_directory(directory);
    for (const auto& path : {fifo, zero, directory, folder / "missing.dll"}) {
        SCOPED_TRACE(path.filename().string());
        const auto start = std::chrono::steady_clock::now();
        try {
            readWithEngine(path, kPassword);
            ADD_FAILURE() << "opened";
        } catch (const core::RuntimeError& error) {
            EXPECT_NE(error.description().find("Could not find file"), std::string::npos) << error.description();
        }
        const ProcessResult list = run(chapterstoreTool(), {"list", path.string(), "--password", kPassword});
        EXPECT_NE(list.exitCode, 0);
        EXPECT_NE(list.err.find("Could not find file"), std::string::npos) << list.err;
        // "At once": a blocking open would never come back at all, so any bound will do.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }
}

}  // namespace
