#pragma once
// A small installation folder for the reader's tests: the front pages and file chapters, a
// chapter store made with the store writer, and a help program that leaves a trace.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/install_path.h"

namespace test {

using Bytes = std::vector<std::uint8_t>;

struct StoreOptions {
    std::size_t records = 8;
    std::string password = "38pondwick71";
    std::string table = "b1";
    std::string column = "m1";
    bool nullRecords = false;     // every m1 value null
    bool emptyRecords = false;    // every m1 value zero bytes long
    std::size_t recordSize = 0;   // 0: a short page of its own per record
};

class TempBook {
public:
    explicit TempBook(const StoreOptions& options = {}, bool withStore = true);
    ~TempBook();
    TempBook(const TempBook&) = delete;
    TempBook& operator=(const TempBook&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::string folder() const { return root_.string(); }
    // The bytes of record k (from 1) as stored; nothing when it does not exist or is null.
    std::optional<Bytes> record(int k) const;
    std::size_t recordCount() const { return records_.size(); }
    bool nullRecords() const { return options_.nullRecords; }
    // The file a help start appends to.
    std::filesystem::path helpTrace() const { return root_ / "help-started.txt"; }
    void writeStore(const StoreOptions& options);

private:
    std::filesystem::path root_;
    StoreOptions options_;
    std::vector<Bytes> records_;
};

Bytes readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, std::string_view text);

}  // namespace test
