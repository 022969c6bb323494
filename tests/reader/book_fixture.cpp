#include "book_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <span>

#include "jetwriter.h"

namespace test {
namespace {

constexpr std::size_t kPageSize = 4096;

std::uint16_t u16(const Bytes& file, std::size_t at) { return static_cast<std::uint16_t>(file[at] | (file[at + 1] << 8)); }
std::uint32_t u32(const Bytes& file, std::size_t at) { return u16(file, at) | (static_cast<std::uint32_t>(u16(file, at + 2)) << 16); }

// Clears the null-mask bit of every row of the chapter table: each m1 value becomes null.
// A row ends where the previous row of its page begins (rows grow down from the page end);
// its last byte is the null mask, bit 0 for the only column.
void makeRecordsNull(Bytes& file)
{
    for (std::size_t page = 3; (page + 1) * kPageSize <= file.size(); ++page) {
        const std::size_t base = page * kPageSize;
        if (file[base] != 0x01 || u32(file, base + 4) == 2 || std::string(file.begin() + base + 4, file.begin() + base + 8) == "LVAL")
            continue;  // not a data page of the chapter table
        const std::size_t rows = u16(file, base + 12);
        std::size_t end = kPageSize;
        for (std::size_t i = 0; i < rows; ++i) {
            const std::size_t entry = u16(file, base + 14 + 2 * i);
            const std::size_t start = entry & 0x1fff;
            if ((entry & 0xc000) == 0 && start < end)
                file[base + end - 1] &= static_cast<std::uint8_t>(~0x01);
            end = start;
        }
    }
}

}  // namespace

Bytes readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& file, std::string_view text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

TempBook::TempBook(const StoreOptions& options, bool withStore)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "talvorin-book-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    const char* pages[] = {"res/1p.html", "res/2p.html", "res/3p.html", "res/Chapter/01.html", "res/Chapter/02.html",
                           "res/Chapter/03.html", "res/Chapter/04.html", "res/Chapter/05.html"};
    int index = 0;
    for (const char* page : pages)
        writeFile(root_ / page, "<html><body>page " + std::to_string(index++) + "</body></html>\n");
    std::filesystem::create_directories(root_ / "pic");
    writeFile(root_ / "pic/help.exe", "#!/bin/sh\necho started >> \"$(dirname \"$0\")/../help-started.txt\"\n");
    std::filesystem::permissions(root_ / "pic/help.exe", std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    if (withStore)
        writeStore(options);
    core::overrideApplicationFolder(root_.string());
}

TempBook::~TempBook()
{
    core::overrideApplicationFolder(std::nullopt);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void TempBook::writeStore(const StoreOptions& options)
{
    options_ = options;
    records_.clear();
    for (std::size_t k = 1; k <= options.records; ++k) {
        std::string text = options.emptyRecords ? std::string()
                                                : "<html><body>stored chapter " + std::to_string(k) + "</body></html>\n";
        if (options.recordSize > text.size())
            text.append(options.recordSize - text.size(), static_cast<char>('a' + k));
        records_.emplace_back(text.begin(), text.end());
    }
    jetwriter::StorePlan plan;
    plan.password = options.password;
    plan.creationDate = 45000.25;
    plan.tableName = options.table;
    plan.columnName = options.column;
    for (const auto& record : records_)
        plan.records.emplace_back(record);
    Bytes file = jetwriter::buildStore(plan);
    if (options.nullRecords)
        makeRecordsNull(file);
    std::filesystem::create_directories(root_ / "res/Chapter");
    std::ofstream(root_ / "res/Chapter/qvd.dll", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

std::optional<Bytes> TempBook::record(int k) const
{
    if (options_.nullRecords || k < 1 || k > static_cast<int>(records_.size()))
        return std::nullopt;
    return records_[static_cast<std::size_t>(k - 1)];
}

}  // namespace test
