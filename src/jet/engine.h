#pragma once
// A read-only Jet 4 (.mdb) engine: opens a file or an in-memory image, checks the database
// password, decodes encoded pages, reads the catalog and table definitions, and walks a
// table's rows in stored order. Long values (memo, OLE object) are read only on request.
//
// Nothing read from the file is trusted: every offset, length and page pointer is checked,
// and a damaged file raises core::RuntimeError (errors.h) instead of reading out of bounds.
// Not thread-safe: one Database and its cursors belong to one thread at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/errors.h"

namespace jet {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kPageSize = 4096;

enum class ColumnType : std::uint8_t {
    Boolean = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    OleObject = 0x0B,
    Memo = 0x0C,
    Guid = 0x0F,
    Numeric = 0x10,
    FixedBinary = 0x11,  // a long fixed-length binary of some system tables
};

struct Column {
    std::string name;  // UTF-8
    ColumnType type = ColumnType::Binary;
    std::uint16_t rowIndex = 0;     // bit in the null mask, counting deleted columns
    std::uint16_t varIndex = 0;     // entry in the row's offset table (variable columns)
    std::uint16_t fixedOffset = 0;  // offset in the fixed area (fixed columns)
    std::uint16_t length = 0;       // stored length of a fixed column
    bool fixed = false;

    bool isLong() const { return type == ColumnType::OleObject || type == ColumnType::Memo; }
    bool isText() const { return type == ColumnType::Text || type == ColumnType::Memo; }
    bool isBinary() const
    {
        return type == ColumnType::Binary || type == ColumnType::OleObject || type == ColumnType::FixedBinary;
    }
};

// A table as the catalog lists it.
struct CatalogEntry {
    std::string name;  // UTF-8, as the catalog spells it
    std::uint32_t definitionPage = 0;
    bool system = false;  // MSys... tables and other hidden objects
};

struct TableDef {
    std::string name;
    std::uint32_t definitionPage = 0;
    std::vector<Column> columns;        // in column-number order
    std::uint16_t variableColumns = 0;  // as the definition states; 0 means rows have no offset table
    std::uint32_t usageMap = 0;         // row pointer (page << 8 | row) to the map of the table's pages

    // The column of that name without regard to case, or nullptr.
    const Column* findColumn(std::string_view columnName) const;
};

struct OpenOptions {
    // Off only for tools that inspect files whose password they do not know (the fuzzer).
    bool checkPassword = true;
};

class Database;

// One stored row: its bytes and where each column's value lies in them.
class Row {
public:
    bool isNull(std::size_t column) const;
    // The whole value as bytes: fixed columns as stored (little-endian), Boolean as one byte
    // 0 or 1, text as stored, long values read from their pages. Throws on null (error 94).
    Bytes bytes(std::size_t column) const;
    // A readable form: text and memo as UTF-8, numbers in decimal. Binary values raise
    // error 13 (type mismatch). Throws on null.
    std::string text(std::size_t column) const;
    // The stated length of a long value, from the row alone (no page is read).
    std::uint32_t longValueLength(std::size_t column) const;

private:
    friend class RowCursor;
    struct Slice {
        std::uint16_t offset = 0;
        std::uint16_t length = 0;
        bool null = true;
        bool boolean = false;
    };
    const Database* database_ = nullptr;
    const TableDef* table_ = nullptr;
    std::vector<std::uint8_t> data_;
    std::vector<Slice> slices_;

    const Slice& slice(std::size_t column) const;
    std::span<const std::uint8_t> storedBytes(std::size_t column) const;
};

// A table's rows in stored order: data pages in the order of the table's usage map, rows in
// slot order, deleted rows skipped, moved rows returned where they were first stored.
class RowCursor {
public:
    RowCursor(std::shared_ptr<const Database> database, std::shared_ptr<const TableDef> table);

    // Steps to the next row; false at the end (and stays there).
    bool next();
    // Back to before the first row.
    void rewind();
    const Row& row() const { return row_; }

private:
    std::shared_ptr<const Database> database_;
    std::shared_ptr<const TableDef> table_;
    std::vector<std::uint32_t> pages_;  // data pages of the table, in map order
    std::size_t pageIndex_ = 0;
    std::size_t slot_ = 0;
    std::vector<std::uint8_t> page_;  // the page being walked
    std::size_t slotCount_ = 0;       // of page_, 0 when no page is loaded
    bool atEnd_ = false;
    Row row_;

    bool loadNextPage();
    void loadRow(std::span<const std::uint8_t> rowBytes);
};

class Database : public std::enable_shared_from_this<Database> {
public:
    // Opens a file. `displayPath` names it in error messages. Raises "Unrecognized database
    // format", "Not a valid password." (when the file has a password and `password` is not
    // exactly it; a file without a password accepts any), or a damaged-file error.
    static std::shared_ptr<Database> open(const std::string& filePath, std::string_view password,
                                          const std::string& displayPath, OpenOptions options = {});
    // Opens an image held in memory (fuzzing, tests).
    static std::shared_ptr<Database> openBytes(Bytes image, std::string_view password,
                                               const std::string& displayPath, OpenOptions options = {});
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    std::uint32_t pageCount() const { return pageCount_; }
    // The password stored in the header (UTF-8), empty when there is none.
    const std::string& storedPassword() const { return storedPassword_; }
    bool pagesEncoded() const { return pageKey_ != 0; }

    // Every table of the catalog, system tables included, in catalog order.
    const std::vector<CatalogEntry>& catalog() const { return catalog_; }
    // The table of that name without regard to case, or nullptr. Definitions are read on
    // first use and kept.
    std::shared_ptr<const TableDef> findTable(std::string_view name) const;
    std::shared_ptr<const TableDef> table(const CatalogEntry& entry) const;

    // Page `number`, decoded. Raises a damaged-file error when it lies beyond the end.
    void readPage(std::uint32_t number, std::span<std::uint8_t, kPageSize> out) const;
    // `out.size() / kPageSize` consecutive pages from `first`, decoded, in one read.
    void readPages(std::uint32_t first, std::span<std::uint8_t> out) const;
    // How many pages were read since opening; lets tests see that reading is lazy.
    std::uint64_t pagesRead() const { return pagesRead_; }

    // The value of a long-value field (its 12-byte header and any inline data).
    Bytes readLongValue(std::span<const std::uint8_t> field) const;

    [[noreturn]] void damaged(std::string_view detail) const;

    class Source;  // where the pages come from (a file or memory)

private:
    Database(std::unique_ptr<Source> source, std::string displayPath);
    void readHeader(std::string_view password, OpenOptions options);
    void readCatalog();
    std::shared_ptr<const TableDef> readTableDef(std::uint32_t page, std::string name) const;
    std::vector<std::uint32_t> tablePages(const TableDef& table) const;

    std::unique_ptr<Source> source_;
    std::string displayPath_;
    std::uint32_t pageCount_ = 0;
    std::uint32_t pageKey_ = 0;
    std::string storedPassword_;
    std::vector<CatalogEntry> catalog_;
    mutable std::vector<std::shared_ptr<const TableDef>> definitions_;  // parallel to catalog_
    mutable std::uint64_t pagesRead_ = 0;

    friend class RowCursor;
};

// Internals, exposed for tests.
namespace detail {
inline constexpr std::uint16_t kRowDeleted = 0x8000;
inline constexpr std::uint16_t kRowMoved = 0x4000;  // the slot holds a pointer to the moved row
struct RowSlot {
    std::size_t begin = 0;  // [begin, end) within the page
    std::size_t end = 0;
    std::uint16_t flags = 0;
};
// Slot `slot` of a data page. The extent of a deleted slot is read (and checked) only when asked.
RowSlot rowSlot(const Database& database, std::span<const std::uint8_t> page, std::size_t slot,
                bool evenIfDeleted = false);
// UTF-8 of a Jet 4 text value: UTF-16LE, or the compressed form that begins with FF FE.
std::string decodeText(std::span<const std::uint8_t> stored);
void rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);
}  // namespace detail

}  // namespace jet
