#include "jet/engine.h"

#include "core/regular_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace jet {
namespace {

constexpr std::uint8_t kPageDefinition = 0x00;
constexpr std::uint8_t kPageData = 0x01;
constexpr std::uint8_t kPageTableDefinition = 0x02;
constexpr std::uint8_t kPageUsageMap = 0x05;

constexpr std::size_t kDataRowCount = 12;   // u16 on a data page
constexpr std::size_t kDataSlots = 14;      // first u16 row offset
constexpr std::uint16_t kOffsetMask = 0x1FFF;
constexpr std::uint32_t kCatalogPage = 2;

constexpr std::uint32_t kLongInline = 0x80000000u;
constexpr std::uint32_t kLongSinglePage = 0x40000000u;
constexpr std::uint32_t kLongLengthMask = 0x3FFFFFFFu;
constexpr std::size_t kLongHeader = 12;

// Byte helpers over a span whose length the caller has checked.
std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Bounds-checked reads over a buffer from the file.
class Reader {
public:
    Reader(const Database& database, std::span<const std::uint8_t> bytes, const char* what)
        : database_(database), bytes_(bytes), what_(what) {}
    void need(std::uint64_t at, std::uint64_t count) const
    {
        if (at > bytes_.size() || count > bytes_.size() - at)
            database_.damaged(std::string(what_) + " is cut short");
    }
    std::uint8_t u8(std::uint64_t at) const { need(at, 1); return bytes_[at]; }
    std::uint16_t u16(std::uint64_t at) const { need(at, 2); return jet::u16(bytes_, at); }
    std::uint32_t u32(std::uint64_t at) const { need(at, 4); return jet::u32(bytes_, at); }
    std::span<const std::uint8_t> bytes(std::uint64_t at, std::uint64_t count) const
    {
        need(at, count);
        return bytes_.subspan(at, count);
    }

private:
    const Database& database_;
    std::span<const std::uint8_t> bytes_;
    const char* what_;
};

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string utf16ToUtf8(const std::vector<std::uint16_t>& units)
{
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t cp = units[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;  // an unpaired surrogate
        }
        appendUtf8(out, cp);
    }
    return out;
}

std::string plainUtf16(std::span<const std::uint8_t> bytes)
{
    std::vector<std::uint16_t> units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(u16(bytes, i));
    return utf16ToUtf8(units);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

template <typename T>
std::string decimal(T value)
{
    std::array<char, 64> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return ec == std::errc{} ? std::string(buffer.data(), end) : std::string();
}

// Date/time: days since 1899-12-30, the fraction being the time of day.
std::string formatDate(double value)
{
    if (!std::isfinite(value) || value < -657434.0 || value > 2958465.99999)
        return decimal(value);
    double days = std::floor(value);
    double fraction = std::fabs(value - days);
    if (value < 0)  // negative dates count whole days backwards, the time forwards
        fraction = std::fabs(value - std::ceil(value)), days = std::ceil(value);
    long seconds = std::lround(fraction * 86400.0);
    if (seconds >= 86400)
        seconds = 86399;
    // Civil date from a day count relative to 1970-01-01.
    long z = static_cast<long>(days) - 25569 + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long year = yoe + era * 400;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long day = doy - (153 * mp + 2) / 5 + 1;
    const long month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2)
        ++year;
    char text[96];
    std::snprintf(text, sizeof text, "%04ld-%02ld-%02ld %02ld:%02ld:%02ld", year, month, day, seconds / 3600,
                  (seconds / 60) % 60, seconds % 60);
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Where the pages come from.

class Database::Source {
public:
    virtual ~Source() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly out.size() bytes at `offset`, which the caller has checked against size().
    virtual void read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

namespace {

class MemorySource final : public Database::Source {
public:
    explicit MemorySource(Bytes image) : image_(std::move(image)) {}
    std::uint64_t size() const override { return image_.size(); }
    void read(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        std::memcpy(out.data(), image_.data() + offset, out.size());
    }

private:
    Bytes image_;
};

class FileSource final : public Database::Source {
public:
    FileSource(int fd, std::uint64_t size, std::string displayPath)
        : fd_(fd), size_(size), displayPath_(std::move(displayPath)) {}
    ~FileSource() override { ::close(fd_); }
    std::uint64_t size() const override { return size_; }
    void read(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                raise(kErrGeneral, "The database file '" + displayPath_ + "' could not be read.");
            done += static_cast<std::size_t>(got);
        }
    }

private:
    int fd_;
    std::uint64_t size_;
    std::string displayPath_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Helpers shared with the tests.

namespace detail {

void rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data)
{
    std::array<std::uint8_t, 256> s{};
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % key.size()]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    int i = 0, j = 0;
    for (auto& byte : data) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        byte ^= s[(s[i] + s[j]) & 0xFF];
    }
}

std::string decodeText(std::span<const std::uint8_t> stored)
{
    if (stored.size() < 2 || stored[0] != 0xFF || stored[1] != 0xFE)
        return plainUtf16(stored);
    // Compressed: segments separated by 0x00 bytes alternate between one byte per character
    // (high byte zero) and plain UTF-16LE, starting compressed.
    std::vector<std::uint16_t> units;
    units.reserve(stored.size());
    bool compressed = true;
    std::size_t i = 2;
    while (i < stored.size()) {
        if (stored[i] == 0x00) {
            compressed = !compressed;
            ++i;
        } else if (compressed) {
            units.push_back(stored[i++]);
        } else if (i + 1 < stored.size()) {
            units.push_back(u16(stored, i));
            i += 2;
        } else {
            break;  // an odd byte at the end carries no character
        }
    }
    return utf16ToUtf8(units);
}

RowSlot rowSlot(const Database& database, std::span<const std::uint8_t> page, std::size_t slot, bool evenIfDeleted)
{
    const std::size_t count = u16(page, kDataRowCount);
    if (slot >= count || kDataSlots + 2 * count > kPageSize)
        database.damaged("a row number lies beyond its page's row table");
    const std::uint16_t raw = u16(page, kDataSlots + 2 * slot);
    RowSlot result;
    result.flags = raw & (kRowDeleted | kRowMoved);
    if ((result.flags & kRowDeleted) && !evenIfDeleted)
        return result;
    result.begin = raw & kOffsetMask;
    result.end = slot == 0 ? kPageSize : (u16(page, kDataSlots + 2 * (slot - 1)) & kOffsetMask);
    if (result.begin < kDataSlots + 2 * count || result.begin >= result.end || result.end > kPageSize)
        database.damaged("a row lies outside its page");
    return result;
}

}  // namespace detail

// ---------------------------------------------------------------------------------------
// TableDef

const Column* TableDef::findColumn(std::string_view columnName) const
{
    for (const auto& column : columns)
        if (equalsIgnoringCase(column.name, columnName))
            return &column;
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Database

Database::Database(std::unique_ptr<Source> source, std::string displayPath)
    : source_(std::move(source)), displayPath_(std::move(displayPath))
{
}

Database::~Database() = default;

void Database::damaged(std::string_view detail) const
{
    raiseDamaged(displayPath_, detail);
}

std::shared_ptr<Database> Database::open(const std::string& filePath, std::string_view password,
                                         const std::string& displayPath, OpenOptions options)
{
    // Only a regular file: a FIFO, device or folder is refused at once, like a missing file.
    std::uint64_t size = 0;
    core::FileRefusal refusal = core::FileRefusal::Missing;
    errno = 0;
    const int fd = core::openRegularFile(filePath, size, refusal);
    if (fd < 0) {
        if (refusal == core::FileRefusal::Missing && (errno == EACCES || errno == EPERM))
            raise(kErrGeneral, "The Microsoft Jet database engine cannot open the file '" + displayPath +
                                   "'.  It is already opened exclusively by another user, or you need permission "
                                   "to view its data.");
        raise(kErrGeneral, "Could not find file '" + displayPath + "'.");
    }
    auto source = std::make_unique<FileSource>(fd, size, displayPath);
    std::shared_ptr<Database> database(new Database(std::move(source), displayPath));
    database->readHeader(password, options);
    database->readCatalog();
    return database;
}

std::shared_ptr<Database> Database::openBytes(Bytes image, std::string_view password,
                                              const std::string& displayPath, OpenOptions options)
{
    std::shared_ptr<Database> database(new Database(std::make_unique<MemorySource>(std::move(image)), displayPath));
    database->readHeader(password, options);
    database->readCatalog();
    return database;
}

void Database::readHeader(std::string_view password, OpenOptions options)
{
    const std::uint64_t size = source_->size();
    if (size < kPageSize)
        raiseUnrecognized(displayPath_);
    pageCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(size / kPageSize, 0xFFFFFFu));

    std::array<std::uint8_t, kPageSize> page{};
    source_->read(0, page);
    ++pagesRead_;
    static constexpr char kSignature[] = "Standard Jet DB";  // with its terminating zero
    if (page[0] != kPageDefinition || std::memcmp(page.data() + 4, kSignature, sizeof kSignature) != 0)
        raiseUnrecognized(displayPath_);
    if (page[0x14] != 0x01)  // Jet 4 only
        raiseUnrecognized(displayPath_);

    static constexpr std::array<std::uint8_t, 4> kHeaderKey{0xC7, 0xDA, 0x39, 0x6B};
    detail::rc4(kHeaderKey, std::span(page).subspan(0x18, 128));

    pageKey_ = u32(page, 0x3E);

    double created = 0;
    std::memcpy(&created, page.data() + 0x72, sizeof created);
    if (!std::isfinite(created) || created <= -2147483648.0 || created >= 2147483648.0)
        raiseUnrecognized(displayPath_);
    const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
    std::array<std::uint8_t, 40> stored{};
    for (std::size_t i = 0; i < stored.size(); ++i)
        stored[i] = page[0x42 + i] ^ static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i < stored.size(); i += 2) {
        const std::uint16_t unit = u16(stored, i);
        if (unit == 0)
            break;
        units.push_back(unit);
    }
    storedPassword_ = utf16ToUtf8(units);

    // A database without a password accepts any, as the provider does.
    if (options.checkPassword && !storedPassword_.empty() && password != storedPassword_)
        raise(kErrNotValidPassword, "Not a valid password.");
}

void Database::readPage(std::uint32_t number, std::span<std::uint8_t, kPageSize> out) const
{
    readPages(number, out);
}

void Database::readPages(std::uint32_t first, std::span<std::uint8_t> out) const
{
    const std::size_t count = out.size() / kPageSize;
    if (first >= pageCount_ || count > pageCount_ - first)
        damaged("page " + std::to_string(first) + " lies beyond the end of the file");
    source_->read(static_cast<std::uint64_t>(first) * kPageSize, out.first(count * kPageSize));
    pagesRead_ += count;
    if (pageKey_ == 0)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t number = first + static_cast<std::uint32_t>(i);
        if (number == 0)
            continue;  // the header page has its own encoding
        const std::uint32_t key = pageKey_ ^ number;
        const std::array<std::uint8_t, 4> keyBytes{static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8),
                                                   static_cast<std::uint8_t>(key >> 16),
                                                   static_cast<std::uint8_t>(key >> 24)};
        detail::rc4(keyBytes, out.subspan(i * kPageSize, kPageSize));
    }
}

std::shared_ptr<const TableDef> Database::readTableDef(std::uint32_t first, std::string name) const
{
    // A definition that spans pages continues after the 8-byte header of each next page.
    Bytes buffer;
    std::array<std::uint8_t, kPageSize> page{};
    std::uint32_t number = first;
    for (std::uint32_t count = 0; number != 0; ++count) {
        if (count >= pageCount_)
            damaged("the definition of table '" + name + "' runs in a loop");
        readPage(number, page);
        if (page[0] != kPageTableDefinition)
            damaged("the definition of table '" + name + "' is not on a table definition page");
        buffer.insert(buffer.end(), page.begin() + (buffer.empty() ? 0 : 8), page.end());
        number = u32(page, 4);
    }
    const Reader in(*this, buffer, "a table definition");

    auto table = std::make_shared<TableDef>();
    table->name = std::move(name);
    table->definitionPage = first;
    table->variableColumns = in.u16(43);
    const std::uint16_t columnCount = in.u16(45);
    const std::uint64_t realIndexCount = in.u32(51);
    table->usageMap = in.u32(55);
    if (realIndexCount > buffer.size() / 12)
        damaged("the definition of table '" + table->name + "' lists more indexes than it can hold");

    const std::uint64_t columnsStart = 63 + realIndexCount * 12;
    constexpr std::uint64_t kColumnEntry = 25;
    in.need(columnsStart, columnCount * kColumnEntry);
    table->columns.resize(columnCount);
    for (std::uint16_t i = 0; i < columnCount; ++i) {
        const std::uint64_t at = columnsStart + i * kColumnEntry;
        Column& column = table->columns[i];
        column.type = static_cast<ColumnType>(in.u8(at));
        column.rowIndex = in.u16(at + 5);
        column.varIndex = in.u16(at + 7);
        column.fixed = (in.u8(at + 15) & 0x01) != 0;
        column.fixedOffset = in.u16(at + 21);
        column.length = in.u16(at + 23);
    }
    std::uint64_t at = columnsStart + columnCount * kColumnEntry;
    for (auto& column : table->columns) {
        const std::uint16_t length = in.u16(at);
        column.name = plainUtf16(in.bytes(at + 2, length));
        at += 2 + length;
    }
    std::stable_sort(table->columns.begin(), table->columns.end(),
                     [](const Column& a, const Column& b) { return a.rowIndex < b.rowIndex; });
    return table;
}

void Database::readCatalog()
{
    auto objects = readTableDef(kCatalogPage, "MSysObjects");
    const auto columnIndex = [&](std::string_view name) {
        for (std::size_t i = 0; i < objects->columns.size(); ++i)
            if (equalsIgnoringCase(objects->columns[i].name, name))
                return i;
        damaged("the catalog has no column " + std::string(name));
    };
    const std::size_t idColumn = columnIndex("Id");
    const std::size_t nameColumn = columnIndex("Name");
    const std::size_t typeColumn = columnIndex("Type");
    const std::size_t flagsColumn = columnIndex("Flags");
    const auto integer = [](const Bytes& bytes) -> std::int64_t {
        std::int64_t value = 0;
        for (std::size_t i = 0; i < bytes.size() && i < 4; ++i)
            value |= static_cast<std::int64_t>(bytes[i]) << (8 * i);
        if (bytes.size() == 2)
            return static_cast<std::int16_t>(value);
        return static_cast<std::int32_t>(value);
    };

    RowCursor cursor(shared_from_this(), objects);
    while (cursor.next()) {
        const Row& row = cursor.row();
        if (row.isNull(idColumn) || row.isNull(nameColumn) || row.isNull(typeColumn))
            continue;
        const std::int64_t type = integer(row.bytes(typeColumn)) & 0x7FFF;
        if (type != 1)  // a local table
            continue;
        CatalogEntry entry;
        entry.name = row.text(nameColumn);
        entry.definitionPage = static_cast<std::uint32_t>(integer(row.bytes(idColumn))) & 0x00FFFFFFu;
        const std::uint32_t flags = row.isNull(flagsColumn) ? 0 : static_cast<std::uint32_t>(integer(row.bytes(flagsColumn)));
        entry.system = (flags & 0x80000002u) != 0;
        if (entry.definitionPage == 0 || entry.definitionPage >= pageCount_)
            damaged("the definition of table '" + entry.name + "' lies beyond the end of the file");
        catalog_.push_back(std::move(entry));
    }
    definitions_.resize(catalog_.size());
    for (std::size_t i = 0; i < catalog_.size(); ++i)
        if (catalog_[i].definitionPage == kCatalogPage)
            definitions_[i] = objects;
}

std::shared_ptr<const TableDef> Database::table(const CatalogEntry& entry) const
{
    for (std::size_t i = 0; i < catalog_.size(); ++i) {
        if (&catalog_[i] != &entry)
            continue;
        if (!definitions_[i])
            definitions_[i] = readTableDef(entry.definitionPage, entry.name);
        return definitions_[i];
    }
    return nullptr;
}

std::shared_ptr<const TableDef> Database::findTable(std::string_view name) const
{
    for (const auto& entry : catalog_)
        if (equalsIgnoringCase(entry.name, name))
            return table(entry);
    return nullptr;
}

std::vector<std::uint32_t> Database::tablePages(const TableDef& table) const
{
    std::array<std::uint8_t, kPageSize> page{};
    readPage(table.usageMap >> 8, page);
    if (page[0] != kPageData)
        damaged("the page map of table '" + table.name + "' is not on a data page");
    const auto slot = detail::rowSlot(*this, page, table.usageMap & 0xFF);
    if (slot.flags != 0)
        damaged("the page map of table '" + table.name + "' has been deleted");
    const std::span<const std::uint8_t> map(page.data() + slot.begin, slot.end - slot.begin);

    std::vector<std::uint32_t> pages;
    // A page of the table that lies past the end of the file (a store cut short) is damage,
    // never a shorter table.
    const auto addBits = [&](std::span<const std::uint8_t> bits, std::uint64_t firstPage) {
        for (std::size_t i = 0; i < bits.size(); ++i) {
            if (bits[i] == 0)
                continue;
            for (int bit = 0; bit < 8; ++bit) {
                const std::uint64_t number = firstPage + i * 8 + bit;
                if (!(bits[i] >> bit & 1))
                    continue;
                if (number >= pageCount_)
                    damaged("page " + std::to_string(number) + " of table '" + table.name +
                            "' lies beyond the end of the file");
                pages.push_back(static_cast<std::uint32_t>(number));
            }
        }
    };
    if (map[0] == 0) {  // the map itself: first page, then one bit per page
        if (map.size() < 5)
            damaged("the page map of table '" + table.name + "' is cut short");
        addBits(map.subspan(5), u32(map, 1));
    } else if (map[0] == 1) {  // a list of map pages, each covering a fixed run of pages
        constexpr std::uint64_t kPagesPerMapPage = (kPageSize - 4) * 8;
        std::array<std::uint8_t, kPageSize> mapPage{};
        for (std::size_t i = 0; 1 + 4 * i + 4 <= map.size(); ++i) {
            const std::uint32_t mapNumber = u32(map, 1 + 4 * i);
            if (mapNumber == 0)
                continue;
            readPage(mapNumber, mapPage);
            if (mapPage[0] != kPageUsageMap)
                damaged("the page map of table '" + table.name + "' points to a page of another kind");
            addBits(std::span(mapPage).subspan(4), i * kPagesPerMapPage);
        }
    } else {
        damaged("the page map of table '" + table.name + "' is of an unknown kind");
    }
    return pages;
}

Bytes Database::readLongValue(std::span<const std::uint8_t> field) const
{
    if (field.empty())
        return {};
    if (field.size() < kLongHeader)
        damaged("a long value's header is cut short");
    const std::uint32_t word = u32(field, 0);
    const std::uint64_t length = word & kLongLengthMask;
    if (length > static_cast<std::uint64_t>(pageCount_) * kPageSize)
        damaged("a long value claims to be longer than the file");

    if (word & kLongInline) {
        if (length > field.size() - kLongHeader)
            damaged("an inline long value is longer than its field");
        return Bytes(field.begin() + kLongHeader, field.begin() + kLongHeader + static_cast<std::ptrdiff_t>(length));
    }

    Bytes value(length);  // the final size, filled in place
    std::size_t filled = 0;
    std::uint32_t pointer = u32(field, 4);
    std::unordered_set<std::uint32_t> visited;
    const bool singlePage = (word & kLongSinglePage) != 0;
    // Chains mostly run over consecutive pages: read those a window at a time.
    const std::size_t windowPages = singlePage ? 1 : std::min<std::uint64_t>(32, length / (kPageSize - 32) + 2);
    Bytes window(windowPages * kPageSize);
    std::uint32_t windowFirst = 0, windowCount = 0;
    while (filled < length || (singlePage && visited.empty())) {
        if (pointer == 0)
            damaged("a long value ends before its stated length");
        if (!visited.insert(pointer).second)
            damaged("a long value's pages run in a loop");
        const std::uint32_t number = pointer >> 8;
        if (number < windowFirst || number - windowFirst >= windowCount) {
            if (number >= pageCount_)
                damaged("page " + std::to_string(number) + " lies beyond the end of the file");
            // A whole window only once the chain is seen to run on to the next page.
            const bool sequential = windowCount != 0 && number == windowFirst + windowCount;
            windowFirst = number;
            windowCount = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(sequential ? windowPages : 1, pageCount_ - number));
            readPages(number, std::span(window).first(windowCount * kPageSize));
        }
        const std::span<const std::uint8_t> page(window.data() + (number - windowFirst) * kPageSize, kPageSize);
        if (page[0] != kPageData || std::memcmp(page.data() + 4, "LVAL", 4) != 0)
            damaged("a long value points to a page that holds no long values");
        const auto slot = detail::rowSlot(*this, page, pointer & 0xFF);
        if (slot.flags & detail::kRowDeleted)
            damaged("a long value points to a deleted row");
        std::span<const std::uint8_t> chunk = page.subspan(slot.begin, slot.end - slot.begin);
        if (singlePage) {
            if (chunk.size() < length)
                damaged("a long value is shorter than its stated length");
            std::memcpy(value.data(), chunk.data(), length);
            filled = length;
            break;
        }
        if (chunk.size() < 4)
            damaged("a long value's page is cut short");
        pointer = u32(chunk, 0);
        chunk = chunk.subspan(4);
        const std::size_t take = std::min<std::size_t>(chunk.size(), length - filled);
        std::memcpy(value.data() + filled, chunk.data(), take);
        filled += take;
    }
    return value;
}

// ---------------------------------------------------------------------------------------
// Row

const Row::Slice& Row::slice(std::size_t column) const
{
    if (column >= slices_.size())
        raise(kErrItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    return slices_[column];
}

bool Row::isNull(std::size_t column) const
{
    return slice(column).null;
}

std::span<const std::uint8_t> Row::storedBytes(std::size_t column) const
{
    const Slice& s = slice(column);
    if (s.null)
        raise(kErrInvalidUseOfNull, "Invalid use of Null");
    return std::span(data_).subspan(s.offset, s.length);
}

Bytes Row::bytes(std::size_t column) const
{
    const Slice& s = slice(column);
    if (s.null)
        raise(kErrInvalidUseOfNull, "Invalid use of Null");
    if (table_->columns[column].type == ColumnType::Boolean)
        return Bytes{static_cast<std::uint8_t>(s.boolean ? 1 : 0)};
    const auto stored = storedBytes(column);
    if (table_->columns[column].isLong())
        return database_->readLongValue(stored);
    return Bytes(stored.begin(), stored.end());
}

std::uint32_t Row::longValueLength(std::size_t column) const
{
    const auto stored = storedBytes(column);
    if (!table_->columns[column].isLong())
        return static_cast<std::uint32_t>(stored.size());
    return stored.size() < 4 ? 0 : (u32(stored, 0) & kLongLengthMask);
}

std::string Row::text(std::size_t column) const
{
    const Column& def = table_->columns.at(column);
    if (def.type == ColumnType::Boolean) {
        if (slice(column).null)
            raise(kErrInvalidUseOfNull, "Invalid use of Null");
        return slice(column).boolean ? "True" : "False";
    }
    if (def.isText())
        return detail::decodeText(bytes(column));
    const auto b = storedBytes(column);
    const auto need = [&](std::size_t size) {
        if (b.size() < size)
            database_->damaged("a value is shorter than its column");
    };
    switch (def.type) {
    case ColumnType::Byte:
        need(1);
        return decimal(static_cast<int>(b[0]));
    case ColumnType::Integer:
        need(2);
        return decimal(static_cast<std::int16_t>(u16(b, 0)));
    case ColumnType::Long:
        need(4);
        return decimal(static_cast<std::int32_t>(u32(b, 0)));
    case ColumnType::Currency: {
        need(8);
        const auto raw = static_cast<std::int64_t>(u32(b, 0) | (static_cast<std::uint64_t>(u32(b, 4)) << 32));
        const std::uint64_t magnitude = raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
        std::string fraction = decimal(magnitude % 10000);
        fraction.insert(0, 4 - fraction.size(), '0');
        return (raw < 0 ? "-" : "") + decimal(magnitude / 10000) + "." + fraction;
    }
    case ColumnType::Single: {
        need(4);
        return decimal(std::bit_cast<float>(u32(b, 0)));
    }
    case ColumnType::Double:
    case ColumnType::DateTime: {
        need(8);
        const double value = std::bit_cast<double>(u32(b, 0) | (static_cast<std::uint64_t>(u32(b, 4)) << 32));
        return def.type == ColumnType::Double ? decimal(value) : formatDate(value);
    }
    case ColumnType::Guid: {
        need(16);
        char text[40];
        std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", u32(b, 0), u16(b, 4),
                      u16(b, 6), b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
        return text;
    }
    default:
        raise(kErrTypeMismatch, "Type mismatch");
    }
}

// ---------------------------------------------------------------------------------------
// RowCursor

RowCursor::RowCursor(std::shared_ptr<const Database> database, std::shared_ptr<const TableDef> table)
    : database_(std::move(database)), table_(std::move(table)), page_(kPageSize)
{
    pages_ = database_->tablePages(*table_);
    row_.database_ = database_.get();
    row_.table_ = table_.get();
}

void RowCursor::rewind()
{
    pageIndex_ = 0;
    slot_ = 0;
    slotCount_ = 0;
    atEnd_ = false;
}

// Loads pages_[pageIndex_] when it is a data page of this table; otherwise leaves no slots.
bool RowCursor::loadNextPage()
{
    if (pageIndex_ >= pages_.size())
        return false;
    std::span<std::uint8_t, kPageSize> page(page_.data(), kPageSize);
    database_->readPage(pages_[pageIndex_++], page);
    slot_ = 0;
    slotCount_ = 0;
    if (page[0] == kPageData && u32(page, 4) == table_->definitionPage) {
        slotCount_ = u16(page, kDataRowCount);
        if (kDataSlots + 2 * slotCount_ > kPageSize)
            database_->damaged("a data page of table '" + table_->name + "' has too many rows");
    }
    return true;
}

bool RowCursor::next()
{
    if (atEnd_)
        return false;
    std::array<std::uint8_t, kPageSize> moved{};
    for (;;) {
        while (slot_ >= slotCount_) {
            if (!loadNextPage()) {
                atEnd_ = true;
                return false;
            }
        }
        const std::size_t slot = slot_++;
        auto found = detail::rowSlot(*database_, page_, slot);
        if (found.flags & detail::kRowDeleted)
            continue;
        std::span<const std::uint8_t> rowBytes(page_.data() + found.begin, found.end - found.begin);
        // A moved row: the slot points to where the row now lives, which is itself marked
        // deleted so that a plain walk does not return it twice.
        for (std::uint32_t hops = 0; found.flags & detail::kRowMoved; ++hops) {
            if (rowBytes.size() < 4 || hops >= 8)
                database_->damaged("a moved row of table '" + table_->name + "' cannot be followed");
            const std::uint32_t pointer = u32(rowBytes, 0);
            database_->readPage(pointer >> 8, moved);
            if (moved[0] != kPageData || u32(moved, 4) != table_->definitionPage)
                database_->damaged("a moved row of table '" + table_->name + "' points outside the table");
            const std::size_t target = pointer & 0xFF;
            // The target is flagged to hide it from the plain walk; only its extent counts,
            // unless it moved on once more.
            found = detail::rowSlot(*database_, moved, target, true);
            found.flags = (found.flags & detail::kRowDeleted) ? 0 : (found.flags & detail::kRowMoved);
            rowBytes = std::span<const std::uint8_t>(moved.data() + found.begin, found.end - found.begin);
        }
        loadRow(rowBytes);
        return true;
    }
}

void RowCursor::loadRow(std::span<const std::uint8_t> rowBytes)
{
    row_.data_.assign(rowBytes.begin(), rowBytes.end());
    const std::span<const std::uint8_t> data(row_.data_);
    const std::size_t length = data.size();
    const auto bad = [&] { database_->damaged("a row of table '" + table_->name + "' is malformed"); };
    if (length < 2)
        bad();
    const std::size_t columnCount = u16(data, 0);
    const std::size_t nullSize = (columnCount + 7) / 8;
    if (2 + nullSize > length)
        bad();
    const std::size_t nullAt = length - nullSize;

    std::size_t trailerStart = nullAt;  // where the fixed and variable data must end
    std::size_t varCount = 0;
    std::size_t varTableEnd = 0;  // offset of the var count; entries lie below it
    if (table_->variableColumns > 0) {
        if (nullAt < 4)
            bad();
        varTableEnd = nullAt - 2;
        varCount = u16(data, varTableEnd);
        if (2 * (varCount + 1) + 2 > varTableEnd)
            bad();
        trailerStart = varTableEnd - 2 * (varCount + 1);
    }
    const auto varOffset = [&](std::size_t j) { return u16(data, varTableEnd - 2 * (j + 1)); };

    row_.slices_.assign(table_->columns.size(), Row::Slice{});
    for (std::size_t i = 0; i < table_->columns.size(); ++i) {
        const Column& column = table_->columns[i];
        Row::Slice& slice = row_.slices_[i];
        const bool present = column.rowIndex < columnCount && (data[nullAt + column.rowIndex / 8] >> (column.rowIndex % 8) & 1);
        if (column.type == ColumnType::Boolean) {
            slice.null = false;  // the null-mask bit is the value
            slice.boolean = present;
            continue;
        }
        if (!present)
            continue;
        std::size_t begin = 0, end = 0;
        if (column.fixed) {
            begin = 2 + static_cast<std::size_t>(column.fixedOffset);
            end = begin + column.length;
        } else {
            if (column.varIndex >= varCount)
                continue;  // the column was added after the row was written
            begin = varOffset(column.varIndex);
            end = varOffset(column.varIndex + 1);
            if (begin < 2)
                bad();
        }
        if (begin > end || end > trailerStart)
            bad();
        slice.null = false;
        slice.offset = static_cast<std::uint16_t>(begin);
        slice.length = static_cast<std::uint16_t>(end - begin);
    }
}

}  // namespace jet
