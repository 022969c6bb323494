#pragma once
// jetwriter: writes a new Jet 4 database (4096-byte pages) that holds one table with one
// long-binary (OLE object) column, one row per value, and a database password. The file
// has what Jet 4 readers expect of it: the header page with its coded block, the catalog
// (MSysObjects) on page 2, a table definition with usage maps, data pages, and long values
// stored inline, on one shared LVAL page, or as a chain of LVAL pages. Free of Qt.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/error.h"

namespace jetwriter {

inline constexpr std::size_t kPageSize = 4096;
// The largest value a store may hold: the format's 24-bit length that every reader of
// the format accepts.
inline constexpr std::size_t kMaxValueSize = 16'777'215;
// The header holds 20 UTF-16 code units of password.
inline constexpr std::size_t kMaxPasswordLength = 20;
// Table and column names: Jet allows up to 64 characters.
inline constexpr std::size_t kMaxNameLength = 64;

// Where a value goes, by size.
inline constexpr std::size_t kInlineValueLimit = 256;       // in the row itself
inline constexpr std::size_t kSinglePageValueLimit = 4076;  // one row of an LVAL page
inline constexpr std::size_t kChainChunkSize = 4072;        // data bytes per chained page

// Error numbers of the writer (core::RuntimeError).
inline constexpr long kErrInvalidArgument = 5;  // a value, name or password out of range
inline constexpr long kErrTooLarge = 7;         // the store would not fit the format

struct StorePlan {
    std::string password;        // UTF-8; stored as UTF-16, at most kMaxPasswordLength units
    double creationDate = 0.0;   // OLE date (days since 1899-12-30); it also masks the password
    std::string tableName = "b1";
    std::string columnName = "m1";
    std::vector<std::span<const std::uint8_t>> records;  // one row each, in this order
};

// Receives the file page by page, in order; each span is kPageSize bytes.
using PageSink = std::function<void(std::span<const std::uint8_t> page)>;

// Checks the whole plan first (throws core::RuntimeError before any page is handed out),
// then writes every page of the file to `sink`. Errors thrown by the sink pass through.
void writeStore(const StorePlan& plan, const PageSink& sink);

// The whole file in memory.
std::vector<std::uint8_t> buildStore(const StorePlan& plan);

// The current time as an OLE date.
double oleDateNow();

// UTF-8 to UTF-16 code units; throws core::RuntimeError on malformed UTF-8.
std::u16string utf16FromUtf8(std::string_view text);

}  // namespace jetwriter
