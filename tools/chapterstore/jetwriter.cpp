#include "jetwriter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <optional>
#include <stdexcept>

namespace jetwriter {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Page = std::array<std::uint8_t, kPageSize>;

// Fixed pages of every store.
constexpr std::uint32_t kGlobalMapPage = 1;
constexpr std::uint32_t kCatalogDefPage = 2;  // readers look for MSysObjects here
constexpr std::uint32_t kTableDefPage = 3;
constexpr std::uint32_t kMapRowsPage = 4;
constexpr std::uint32_t kCatalogDataPage = 5;
constexpr std::uint32_t kFirstTableDataPage = 6;

// Rows of kMapRowsPage.
constexpr std::uint8_t kCatalogUsedMapRow = 0;
constexpr std::uint8_t kCatalogFreeMapRow = 1;
constexpr std::uint8_t kTableUsedMapRow = 2;
constexpr std::uint8_t kTableFreeMapRow = 3;
constexpr std::uint8_t kEmptyMapRow = 4;  // long-value maps: no LVAL page with room to reuse

// An inline usage map (type 0) covers 64 bytes of bits from its start page.
constexpr std::size_t kMapBitmapBytes = 64;
constexpr std::size_t kMapRowSize = 1 + 4 + kMapBitmapBytes;
constexpr std::uint32_t kPagesPerInlineMap = kMapBitmapBytes * 8;

constexpr std::size_t kDataPageHeader = 14;  // type, 01, free space, owner, 4 unknown, row count
constexpr std::size_t kMaxRowsPerPage = 255;  // a row pointer holds the row number in one byte
constexpr std::uint32_t kMaxPageNumber = 0xFFFFFF;  // a row pointer holds the page in 3 bytes

// Value of a constant field that Jet 4 writes into every table definition and column.
constexpr std::uint32_t kTdefStamp = 0x0659;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;

// Catalog identifiers.
constexpr std::int32_t kRootContainerId = 0x0F000000;
constexpr std::int32_t kTablesContainerId = 0x0F000001;
constexpr std::int32_t kDatabasesContainerId = 0x0F000002;
constexpr std::int32_t kRelationshipsContainerId = 0x0F000003;
constexpr std::int32_t kMSysDbId = 0x10000000;
constexpr std::uint32_t kSystemObjectFlag = 0x80000000u;
constexpr std::int16_t kCatalogTypeTable = 1;
constexpr std::int16_t kCatalogTypeDatabase = 2;
constexpr std::int16_t kCatalogTypeContainer = 3;

// Column types and flags.
constexpr std::uint8_t kTypeInt = 0x03;
constexpr std::uint8_t kTypeLong = 0x04;
constexpr std::uint8_t kTypeDateTime = 0x08;
constexpr std::uint8_t kTypeBinary = 0x09;
constexpr std::uint8_t kTypeText = 0x0A;
constexpr std::uint8_t kTypeOle = 0x0B;
constexpr std::uint8_t kTypeMemo = 0x0C;
constexpr std::uint8_t kColumnFixed = 0x01;
constexpr std::uint8_t kColumnNullable = 0x02;

// Long-value header flags (high byte of the first word).
constexpr std::uint32_t kLongValueInline = 0x80;
constexpr std::uint32_t kLongValueSinglePage = 0x40;
constexpr std::uint32_t kLongValueChain = 0x00;

// The header's coded block and the key the format fixes for it.
constexpr std::size_t kCodedBlockOffset = 0x18;
constexpr std::size_t kCodedBlockSize = 128;
constexpr std::array<std::uint8_t, 4> kHeaderKey{0xC7, 0xDA, 0x39, 0x6B};
constexpr std::size_t kPasswordOffset = 0x42;
constexpr std::size_t kCreationDateOffset = 0x72;

[[noreturn]] void fail(long number, const std::string& text) { throw core::RuntimeError(number, text); }

void put8(std::span<std::uint8_t> out, std::size_t at, std::uint8_t v) { out[at] = v; }
void put16(std::span<std::uint8_t> out, std::size_t at, std::uint16_t v)
{
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put64(std::span<std::uint8_t> out, std::size_t at, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void append16(Bytes& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void append32(Bytes& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void appendUtf16(Bytes& out, const std::u16string& text)
{
    for (char16_t c : text) append16(out, c);
}

std::uint32_t rowPointer(std::uint32_t page, std::size_t row)
{
    return (page << 8) | static_cast<std::uint32_t>(row);
}

void rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data)
{
    std::array<std::uint8_t, 256> s{};
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[i % key.size()]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (auto& byte : data) {
        a = static_cast<std::uint8_t>(a + 1);
        b = static_cast<std::uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        byte ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
    }
}

// ---------------------------------------------------------------------------------------
// Rows

// A Jet 4 row: column count, fixed columns, variable columns, then from the end backwards
// the null mask, the variable-column count, the variable-column offsets (last first) and
// the end-of-data offset. Offsets count from the row's first byte.
Bytes jetRow(std::uint16_t columnCount, std::span<const std::uint8_t> fixedArea,
             const std::vector<std::optional<Bytes>>& variableColumns,
             const std::vector<bool>& presentByColumnNumber)
{
    Bytes row;
    append16(row, columnCount);
    row.insert(row.end(), fixedArea.begin(), fixedArea.end());
    std::vector<std::uint16_t> offsets;
    for (const auto& value : variableColumns) {
        offsets.push_back(static_cast<std::uint16_t>(row.size()));
        if (value) row.insert(row.end(), value->begin(), value->end());
    }
    const auto endOfData = static_cast<std::uint16_t>(row.size());
    append16(row, endOfData);
    for (auto it = offsets.rbegin(); it != offsets.rend(); ++it) append16(row, *it);
    append16(row, static_cast<std::uint16_t>(variableColumns.size()));
    Bytes nullMask((columnCount + 7) / 8, 0);
    for (std::size_t i = 0; i < presentByColumnNumber.size(); ++i)
        if (presentByColumnNumber[i]) nullMask[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    row.insert(row.end(), nullMask.begin(), nullMask.end());
    return row;
}

// A data page (or LVAL page) filled with rows from the end of the page towards its header.
class RowPage {
public:
    RowPage(std::uint8_t type, std::span<const std::uint8_t, 4> owner)
    {
        page_.fill(0);
        page_[0] = type;
        page_[1] = 0x01;
        std::copy(owner.begin(), owner.end(), page_.begin() + 4);
        updateHeader();
    }
    static bool fits(std::size_t rowsSoFar, std::size_t usedSoFar, std::size_t rowSize)
    {
        return rowsSoFar < kMaxRowsPerPage &&
               kDataPageHeader + 2 * (rowsSoFar + 1) + usedSoFar + rowSize <= kPageSize;
    }
    // Adds a row whose bytes are written by `fill` into the span it is given.
    template <typename Fill>
    std::size_t addRow(std::size_t size, Fill&& fill)
    {
        if (!fits(rows_, kPageSize - end_, size)) throw std::logic_error("row does not fit its page");
        end_ -= size;
        fill(std::span<std::uint8_t>(page_).subspan(end_, size));
        put16(page_, kDataPageHeader + 2 * rows_, static_cast<std::uint16_t>(end_));
        ++rows_;
        updateHeader();
        return rows_ - 1;
    }
    std::size_t addRow(std::span<const std::uint8_t> row)
    {
        return addRow(row.size(), [&](std::span<std::uint8_t> out) { std::ranges::copy(row, out.begin()); });
    }
    std::span<const std::uint8_t> bytes() const { return page_; }

private:
    void updateHeader()
    {
        put16(page_, 2, static_cast<std::uint16_t>(end_ - kDataPageHeader - 2 * rows_));
        put16(page_, 12, static_cast<std::uint16_t>(rows_));
    }
    Page page_;
    std::size_t rows_ = 0;
    std::size_t end_ = kPageSize;
};

std::array<std::uint8_t, 4> ownerField(std::uint32_t page)
{
    std::array<std::uint8_t, 4> out{};
    put32(out, 0, page);
    return out;
}
constexpr std::array<std::uint8_t, 4> kLvalOwner{'L', 'V', 'A', 'L'};

// An inline usage map (type 0) starting at page 0: one bit per listed page.
Bytes usageMapRow(const std::vector<std::uint32_t>& pages)
{
    Bytes row(kMapRowSize, 0);
    for (std::uint32_t page : pages) {
        if (page >= kPagesPerInlineMap) throw std::logic_error("page outside the inline usage map");
        row[5 + page / 8] |= static_cast<std::uint8_t>(1u << (page % 8));
    }
    return row;
}

// ---------------------------------------------------------------------------------------
// Table definitions

struct ColumnDef {
    std::u16string name;
    std::uint8_t type;
    std::uint16_t number;
    std::uint16_t variableIndex;
    std::uint16_t fixedOffset;
    std::uint16_t length;
    std::uint8_t flags;
};

struct LongColumnMaps {
    std::uint16_t columnNumber;
    std::uint32_t usedMap;
    std::uint32_t freeMap;
};

struct TableDef {
    std::uint8_t tableType;  // 0x4E user, 0x53 system
    std::uint32_t rowCount;
    std::vector<ColumnDef> columns;  // in column-number order
    std::uint32_t usedMap;
    std::uint32_t freeMap;
    std::vector<LongColumnMaps> longColumns;
};

Page tableDefinitionPage(const TableDef& def)
{
    Bytes body(kPageSize, 0);
    std::size_t at = 63;
    const auto columnCount = static_cast<std::uint16_t>(def.columns.size());
    const auto variableCount = static_cast<std::uint16_t>(
        std::ranges::count_if(def.columns, [](const ColumnDef& c) { return !(c.flags & kColumnFixed); }));
    auto need = [&](std::size_t n) {
        if (at + n > kPageSize) fail(kErrTooLarge, "The table definition does not fit one page.");
    };
    for (const auto& c : def.columns) {
        need(25);
        std::span<std::uint8_t> e(body.data() + at, 25);
        put8(e, 0, c.type);
        put32(e, 1, kTdefStamp);
        put16(e, 5, c.number);
        put16(e, 7, c.variableIndex);
        put16(e, 9, c.number);
        put16(e, 11, kGeneralSortOrder);
        put8(e, 15, c.flags);
        put16(e, 21, c.fixedOffset);
        put16(e, 23, c.length);
        at += 25;
    }
    for (const auto& c : def.columns) {
        need(2 + 2 * c.name.size());
        put16(body, at, static_cast<std::uint16_t>(2 * c.name.size()));
        at += 2;
        for (char16_t ch : c.name) {
            put16(body, at, ch);
            at += 2;
        }
    }
    for (const auto& m : def.longColumns) {
        need(10);
        put16(body, at, m.columnNumber);
        put32(body, at + 2, m.usedMap);
        put32(body, at + 6, m.freeMap);
        at += 10;
    }
    need(2);
    put16(body, at, 0xFFFF);
    at += 2;
    const std::size_t length = at;

    body[0] = 0x02;
    body[1] = 0x01;
    put16(body, 2, static_cast<std::uint16_t>(kPageSize - length - 8));
    put32(body, 4, 0);  // no continuation page
    put32(body, 8, static_cast<std::uint32_t>(length));
    put32(body, 12, kTdefStamp);
    put32(body, 16, def.rowCount);
    put32(body, 20, 0);  // next autonumber
    put8(body, 24, 0x01);
    put8(body, 40, def.tableType);
    put16(body, 41, columnCount);  // highest column count a row may have
    put16(body, 43, variableCount);
    put16(body, 45, columnCount);
    put32(body, 47, 0);  // logical indexes
    put32(body, 51, 0);  // index entries
    put32(body, 55, def.usedMap);
    put32(body, 59, def.freeMap);
    Page page;
    std::ranges::copy(body, page.begin());
    return page;
}

// The catalog's columns, by column number, as Jet 4 lays them out.
std::vector<ColumnDef> catalogColumns()
{
    constexpr std::uint8_t fixedFlags = 0x13;
    constexpr std::uint8_t varFlags = 0x12;
    return {
        {u"Id", kTypeLong, 0, 0, 0, 4, fixedFlags},
        {u"ParentId", kTypeLong, 1, 0, 4, 4, fixedFlags},
        {u"Name", kTypeText, 2, 0, 0, 510, varFlags},
        {u"Type", kTypeInt, 3, 1, 8, 2, fixedFlags},
        {u"DateCreate", kTypeDateTime, 4, 1, 10, 8, fixedFlags},
        {u"DateUpdate", kTypeDateTime, 5, 1, 18, 8, fixedFlags},
        {u"Owner", kTypeBinary, 6, 1, 0, 510, 0x32},
        {u"Flags", kTypeLong, 7, 2, 26, 4, fixedFlags},
        {u"Database", kTypeMemo, 8, 2, 0, 0, varFlags},
        {u"Connect", kTypeMemo, 9, 3, 0, 0, varFlags},
        {u"ForeignName", kTypeText, 10, 4, 0, 510, varFlags},
        {u"RmtInfoShort", kTypeBinary, 11, 5, 0, 510, varFlags},
        {u"RmtInfoLong", kTypeOle, 12, 6, 0, 0, varFlags},
        {u"Lv", kTypeOle, 13, 7, 0, 0, varFlags},
        {u"LvProp", kTypeOle, 14, 8, 0, 0, varFlags},
        {u"LvModule", kTypeOle, 15, 9, 0, 0, varFlags},
        {u"LvExtra", kTypeOle, 16, 10, 0, 0, varFlags},
    };
}
constexpr std::uint16_t kCatalogColumnCount = 17;
constexpr std::size_t kCatalogFixedSize = 30;
constexpr std::size_t kCatalogVariableCount = 11;

Bytes catalogRow(std::int32_t id, std::int32_t parentId, const std::u16string& name, std::int16_t type,
                 double date, std::uint32_t flags)
{
    Bytes fixed(kCatalogFixedSize, 0);
    put32(fixed, 0, static_cast<std::uint32_t>(id));
    put32(fixed, 4, static_cast<std::uint32_t>(parentId));
    put16(fixed, 8, static_cast<std::uint16_t>(type));
    put64(fixed, 10, std::bit_cast<std::uint64_t>(date));
    put64(fixed, 18, std::bit_cast<std::uint64_t>(date));
    put32(fixed, 26, flags);
    std::vector<std::optional<Bytes>> variable(kCatalogVariableCount);
    Bytes nameBytes;
    appendUtf16(nameBytes, name);
    variable[0] = nameBytes;
    std::vector<bool> present(kCatalogColumnCount, false);
    for (int column : {0, 1, 2, 3, 4, 5, 7}) present[column] = true;
    return jetRow(kCatalogColumnCount, fixed, variable, present);
}

// ---------------------------------------------------------------------------------------
// Layout of the values

enum class Storage { Inline, SinglePage, Chain };

Storage storageFor(std::size_t size)
{
    if (size <= kInlineValueLimit) return Storage::Inline;
    if (size <= kSinglePageValueLimit) return Storage::SinglePage;
    return Storage::Chain;
}

constexpr std::size_t kLongValueFieldSize = 12;
// Row of the store's table: one variable column, the long-value field (plus inline bytes).
std::size_t tableRowSize(std::size_t inlineBytes)
{
    return 2 + kLongValueFieldSize + inlineBytes + 2 + 2 + 2 + 1;
}

// A piece of a record that one LVAL row holds; a chained piece starts with the pointer
// to the next one.
struct LvalPiece {
    std::size_t record;
    std::size_t offset;
    std::size_t length;
    bool chained;
    std::uint32_t next;  // pointer to the next piece; 0 ends the chain
};

struct Layout {
    std::vector<std::vector<std::size_t>> dataPages;  // records of each data page, in order
    std::vector<std::uint32_t> valuePointers;         // per record: its first LVAL row (or 0)
    std::vector<std::vector<LvalPiece>> lvalPages;    // pages after the data pages
    std::uint32_t firstLvalPage = 0;
    std::uint32_t pageCount = 0;
};

Layout planLayout(const StorePlan& plan)
{
    Layout layout;
    const auto& records = plan.records;

    std::size_t rowsOnPage = 0;
    std::size_t usedOnPage = 0;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const std::size_t size = records[r].size();
        const std::size_t rowSize = tableRowSize(storageFor(size) == Storage::Inline ? size : 0);
        if (layout.dataPages.empty() || !RowPage::fits(rowsOnPage, usedOnPage, rowSize)) {
            layout.dataPages.emplace_back();
            rowsOnPage = 0;
            usedOnPage = 0;
        }
        layout.dataPages.back().push_back(r);
        ++rowsOnPage;
        usedOnPage += rowSize;
    }
    if (kFirstTableDataPage + layout.dataPages.size() > kPagesPerInlineMap)
        fail(kErrTooLarge, "Too many records for one store.");

    layout.firstLvalPage = static_cast<std::uint32_t>(kFirstTableDataPage + layout.dataPages.size());
    layout.valuePointers.assign(records.size(), 0);
    auto pageNumber = [&](std::size_t index) {
        const std::uint64_t page = std::uint64_t{layout.firstLvalPage} + index;
        if (page > kMaxPageNumber) fail(kErrTooLarge, "The store would exceed the largest file the format allows.");
        return static_cast<std::uint32_t>(page);
    };

    std::optional<std::size_t> sharedPage;  // LVAL page that single-page values share
    std::size_t sharedUsed = 0;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const std::size_t size = records[r].size();
        switch (storageFor(size)) {
        case Storage::Inline:
            break;
        case Storage::SinglePage: {
            if (!sharedPage || !RowPage::fits(layout.lvalPages[*sharedPage].size(), sharedUsed, size)) {
                sharedPage = layout.lvalPages.size();
                layout.lvalPages.emplace_back();
                sharedUsed = 0;
            }
            auto& rows = layout.lvalPages[*sharedPage];
            layout.valuePointers[r] = rowPointer(pageNumber(*sharedPage), rows.size());
            rows.push_back({r, 0, size, false, 0});
            sharedUsed += size;
            break;
        }
        case Storage::Chain: {
            const std::size_t chunks = (size + kChainChunkSize - 1) / kChainChunkSize;
            const std::size_t first = layout.lvalPages.size();
            layout.valuePointers[r] = rowPointer(pageNumber(first), 0);
            for (std::size_t c = 0; c < chunks; ++c) {
                const std::size_t offset = c * kChainChunkSize;
                const std::size_t length = std::min(kChainChunkSize, size - offset);
                const std::uint32_t next = c + 1 < chunks ? rowPointer(pageNumber(first + c + 1), 0) : 0;
                layout.lvalPages.push_back({{r, offset, length, true, next}});
            }
            break;
        }
        }
    }
    layout.pageCount = pageNumber(layout.lvalPages.size());
    return layout;
}

// ---------------------------------------------------------------------------------------
// Pages

Page headerPage(const StorePlan& plan, const std::u16string& password)
{
    Page page{};
    page[0] = 0x00;
    page[1] = 0x01;
    const std::string_view signature = "Standard Jet DB";
    std::ranges::copy(signature, page.begin() + 4);
    page[0x14] = 0x01;  // Jet 4

    // The coded block, in plain text first. The opening words are what Jet 4 writes there.
    const std::array<std::uint8_t, 24> opening{0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                               0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                                               0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
    std::ranges::copy(opening, page.begin() + kCodedBlockOffset);
    put16(page, 0x3C, 1252);  // code page
    put32(page, 0x3E, 0);     // no page coding
    // The password: UTF-16, zero-padded, masked with the integer part of the creation date.
    std::array<std::uint8_t, 2 * kMaxPasswordLength> secret{};
    for (std::size_t i = 0; i < password.size(); ++i) put16(secret, 2 * i, password[i]);
    std::array<std::uint8_t, 4> mask{};
    put32(mask, 0, static_cast<std::uint32_t>(static_cast<std::int64_t>(std::floor(plan.creationDate))));
    for (std::size_t i = 0; i < secret.size(); ++i) page[kPasswordOffset + i] = secret[i] ^ mask[i % 4];
    put32(page, 0x6E, kGeneralSortOrder);
    put64(page, kCreationDateOffset, std::bit_cast<std::uint64_t>(plan.creationDate));
    rc4(kHeaderKey, std::span<std::uint8_t>(page).subspan(kCodedBlockOffset, kCodedBlockSize));

    put16(page, 0x98, 0x0654);
    std::ranges::copy(std::string_view("4.0"), page.begin() + 0x9C);
    return page;
}

void checkName(const std::string& name, const char* what)
{
    const auto units = utf16FromUtf8(name);
    if (units.empty() || units.size() > kMaxNameLength)
        fail(kErrInvalidArgument, std::string("The ") + what + " name must have 1 to 64 characters.");
    for (char16_t c : units)
        if (c < 0x20 || c == '.' || c == '!' || c == '`' || c == '[' || c == ']')
            fail(kErrInvalidArgument, std::string("The ") + what + " name \"" + name + "\" is not a valid name.");
}

}  // namespace

std::u16string utf16FromUtf8(std::string_view text)
{
    std::u16string out;
    std::size_t i = 0;
    auto bad = [] { fail(kErrInvalidArgument, "The text is not valid UTF-8."); };
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = 0;
        std::size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            bad();
        }
        if (extra > 0 && i + extra >= text.size()) bad();
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80) bad();
            cp = (cp << 6) | (cont & 0x3F);
        }
        const std::uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) bad();
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += 1 + extra;
    }
    return out;
}

double oleDateNow()
{
    using namespace std::chrono;
    const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
    constexpr double kUnixEpochAsOleDate = 25569.0;  // 1970-01-01
    return kUnixEpochAsOleDate + seconds / 86400.0;
}

void writeStore(const StorePlan& plan, const PageSink& sink)
{
    const std::u16string password = utf16FromUtf8(plan.password);
    if (password.size() > kMaxPasswordLength)
        fail(kErrInvalidArgument, "The password is longer than 20 characters.");
    checkName(plan.tableName, "table");
    checkName(plan.columnName, "column");
    if (!(plan.creationDate >= 0.0 && plan.creationDate < 2958466.0))  // up to the year 9999
        fail(kErrInvalidArgument, "The creation date is out of range.");
    for (std::size_t r = 0; r < plan.records.size(); ++r)
        if (plan.records[r].size() > kMaxValueSize)
            fail(kErrTooLarge, "Record " + std::to_string(r + 1) + " has " + std::to_string(plan.records[r].size()) +
                                   " bytes; a store holds at most 16777215 bytes per record.");
    if (plan.records.size() > 0xFFFFFFFFu) fail(kErrTooLarge, "Too many records for one store.");

    const Layout layout = planLayout(plan);
    const std::u16string tableName = utf16FromUtf8(plan.tableName);
    const std::u16string columnName = utf16FromUtf8(plan.columnName);
    const auto dataPageCount = static_cast<std::uint32_t>(layout.dataPages.size());

    // Page 0: header.
    sink(headerPage(plan, password));

    // Page 1: the database's map of free pages: every page past the end of the file.
    {
        RowPage page(0x01, ownerField(kGlobalMapPage));
        std::vector<std::uint32_t> freePages;
        for (std::uint32_t p = layout.pageCount; p < kPagesPerInlineMap; ++p) freePages.push_back(p);
        page.addRow(usageMapRow(freePages));
        page.addRow(usageMapRow({}));
        sink(page.bytes());
    }

    // Page 2: the catalog's definition.
    {
        TableDef def{0x53, 6, catalogColumns(), rowPointer(kMapRowsPage, kCatalogUsedMapRow),
                     rowPointer(kMapRowsPage, kCatalogFreeMapRow), {}};
        for (std::uint16_t column : {8, 9, 12, 13, 14, 15, 16})
            def.longColumns.push_back({column, rowPointer(kMapRowsPage, kEmptyMapRow), rowPointer(kMapRowsPage, kEmptyMapRow)});
        sink(tableDefinitionPage(def));
    }

    // Page 3: the store's table.
    {
        TableDef def{0x4E, static_cast<std::uint32_t>(plan.records.size()),
                     {{columnName, kTypeOle, 0, 0, 0, 0, kColumnNullable}},
                     rowPointer(kMapRowsPage, kTableUsedMapRow), rowPointer(kMapRowsPage, kTableFreeMapRow),
                     {{0, rowPointer(kMapRowsPage, kEmptyMapRow), rowPointer(kMapRowsPage, kEmptyMapRow)}}};
        sink(tableDefinitionPage(def));
    }

    // Page 4: usage maps.
    {
        RowPage page(0x01, ownerField(0));
        std::vector<std::uint32_t> dataPages;
        for (std::uint32_t p = 0; p < dataPageCount; ++p) dataPages.push_back(kFirstTableDataPage + p);
        const std::vector<std::uint32_t> lastDataPage =
            dataPages.empty() ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{dataPages.back()};
        page.addRow(usageMapRow({kCatalogDataPage}));
        page.addRow(usageMapRow({kCatalogDataPage}));
        page.addRow(usageMapRow(dataPages));
        page.addRow(usageMapRow(lastDataPage));
        page.addRow(usageMapRow({}));
        sink(page.bytes());
    }

    // Page 5: the catalog's rows.
    {
        const double date = plan.creationDate;
        RowPage page(0x01, ownerField(kCatalogDefPage));
        page.addRow(catalogRow(kTablesContainerId, kRootContainerId, u"Tables", kCatalogTypeContainer, date, kSystemObjectFlag));
        page.addRow(catalogRow(kDatabasesContainerId, kRootContainerId, u"Databases", kCatalogTypeContainer, date, kSystemObjectFlag));
        page.addRow(catalogRow(kRelationshipsContainerId, kRootContainerId, u"Relationships", kCatalogTypeContainer, date,
                               kSystemObjectFlag));
        page.addRow(catalogRow(kMSysDbId, kDatabasesContainerId, u"MSysDb", kCatalogTypeDatabase, date, kSystemObjectFlag));
        page.addRow(catalogRow(kCatalogDefPage, kTablesContainerId, u"MSysObjects", kCatalogTypeTable, date, kSystemObjectFlag));
        page.addRow(catalogRow(kTableDefPage, kTablesContainerId, tableName, kCatalogTypeTable, date, 0));
        sink(page.bytes());
    }

    // The table's rows.
    for (const auto& recordsOnPage : layout.dataPages) {
        RowPage page(0x01, ownerField(kTableDefPage));
        for (std::size_t r : recordsOnPage) {
            const auto value = plan.records[r];
            const Storage storage = storageFor(value.size());
            const std::size_t inlineBytes = storage == Storage::Inline ? value.size() : 0;
            Bytes field;
            const std::uint32_t flag = storage == Storage::Inline       ? kLongValueInline
                                       : storage == Storage::SinglePage ? kLongValueSinglePage
                                                                        : kLongValueChain;
            append32(field, static_cast<std::uint32_t>(value.size()) | (flag << 24));
            append32(field, layout.valuePointers[r]);
            append32(field, 0);
            field.insert(field.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(inlineBytes));
            const Bytes row = jetRow(1, {}, {field}, {true});
            page.addRow(row);
        }
        sink(page.bytes());
    }

    // Long values.
    for (const auto& pieces : layout.lvalPages) {
        RowPage page(0x01, kLvalOwner);
        for (const auto& piece : pieces) {
            const auto bytes = plan.records[piece.record].subspan(piece.offset, piece.length);
            const std::size_t size = piece.length + (piece.chained ? 4 : 0);
            page.addRow(size, [&](std::span<std::uint8_t> out) {
                std::size_t at = 0;
                if (piece.chained) {
                    put32(out, 0, piece.next);
                    at = 4;
                }
                std::ranges::copy(bytes, out.begin() + static_cast<std::ptrdiff_t>(at));
            });
        }
        sink(page.bytes());
    }
}

std::vector<std::uint8_t> buildStore(const StorePlan& plan)
{
    std::vector<std::uint8_t> file;
    writeStore(plan, [&](std::span<const std::uint8_t> page) { file.insert(file.end(), page.begin(), page.end()); });
    return file;
}

}  // namespace jetwriter
