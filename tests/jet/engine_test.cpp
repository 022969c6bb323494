// The engine against real Jet 4 files written by other programs, and against damaged copies.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <tuple>
#include <random>

#include "jet/engine.h"
#include "core/sha256.h"
#include "testdata.h"

using jet::Database;
using jet::RowCursor;
using jet_test::jet4File;

namespace {

std::shared_ptr<Database> openFile(const std::string& name, std::string_view password = {})
{
    return Database::open(jet4File(name).string(), password, name);
}

// Every row of a table, each column as text ("NULL" for null, "<n bytes>" for binary).
std::vector<std::vector<std::string>> allRows(const std::shared_ptr<Database>& database, std::string_view table)
{
    auto def = database->findTable(table);
    EXPECT_NE(def, nullptr) << table;
    std::vector<std::vector<std::string>> rows;
    if (!def)
        return rows;
    RowCursor cursor(database, def);
    while (cursor.next()) {
        std::vector<std::string> row;
        for (std::size_t i = 0; i < def->columns.size(); ++i) {
            if (cursor.row().isNull(i))
                row.push_back("NULL");
            else if (def->columns[i].isBinary())
                row.push_back("<" + std::to_string(cursor.row().bytes(i).size()) + " bytes>");
            else
                row.push_back(cursor.row().text(i));
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> column(const std::vector<std::vector<std::string>>& rows, std::size_t index)
{
    std::vector<std::string> values;
    for (const auto& row : rows)
        values.push_back(row.at(index));
    return values;
}

// Reads every value of every table; what a reader of a damaged file may do.
void readEverything(const std::shared_ptr<Database>& database)
{
    for (const auto& entry : database->catalog()) {
        auto def = database->table(entry);
        RowCursor cursor(database, def);
        while (cursor.next())
            for (std::size_t i = 0; i < def->columns.size(); ++i)
                if (!cursor.row().isNull(i)) {
                    (void)cursor.row().bytes(i);
                    if (!def->columns[i].isBinary() && def->columns[i].type != jet::ColumnType::Numeric)
                        (void)cursor.row().text(i);
                }
    }
}

TEST(JetPasswords, StoredPasswordsDecodeAndOnlyTheExactOneOpens)
{
    struct Case {
        const char* file;
        const char* password;
    };
    for (const Case& c : {Case{"mdbreader_V2000_with-password.mdb", "password"},
                          Case{"mdbreader_V2003_with-password.mdb", "password"},
                          Case{"ucanaccess_password.mdb", "ucanaccess"}}) {
        SCOPED_TRACE(c.file);
        REQUIRE_JET4_FILE(c.file);
        EXPECT_EQ(openFile(c.file, c.password)->storedPassword(), c.password);
        for (const char* wrong : {"", "Password", "passwor", "password ", "ucanaccess1", "wrong"}) {
            if (std::string(wrong) == c.password)
                continue;
            try {
                openFile(c.file, wrong);
                ADD_FAILURE() << "opened with " << wrong;
            } catch (const core::RuntimeError& e) {
                EXPECT_EQ(e.number(), jet::kErrNotValidPassword);
                EXPECT_STREQ(e.what(), "Not a valid password.");
            }
        }
    }
}

TEST(JetPasswords, DatabaseWithoutPasswordOpensWithAnyPassword)
{
    REQUIRE_JET4_FILE("mdbreader_V2000_no-password.mdb");
    for (const char* given : {"", "password", "38pondwick71"}) {
        auto database = openFile("mdbreader_V2000_no-password.mdb", given);
        EXPECT_EQ(database->storedPassword(), "");
        EXPECT_EQ(allRows(database, "table1").size(), 3u);
    }
}

TEST(JetTables, PasswordProtectedTablesRead)
{
    for (const char* file : {"mdbreader_V2000_with-password.mdb", "mdbreader_V2003_with-password.mdb",
                             "mdbreader_V2000_no-password.mdb"}) {
        SCOPED_TRACE(file);
        REQUIRE_JET4_FILE(file);
        auto database = openFile(file, "password");
        const auto rows = allRows(database, "TABLE1");
        EXPECT_EQ(column(rows, 0), (std::vector<std::string>{"1", "2", "3"}));
        EXPECT_EQ(column(rows, 1), (std::vector<std::string>{"One", "Two", "Three"}));
    }
}

TEST(JetTables, CatalogListsSystemTablesAndTheUserTable)
{
    REQUIRE_JET4_FILE("ucanaccess_password.mdb");
    auto database = openFile("ucanaccess_password.mdb", "ucanaccess");
    std::vector<std::string> user;
    bool sawObjects = false;
    for (const auto& entry : database->catalog()) {
        if (!entry.system)
            user.push_back(entry.name);
        sawObjects |= entry.name == "MSysObjects";
    }
    EXPECT_TRUE(user.empty());
    EXPECT_TRUE(sawObjects);
    EXPECT_NE(database->findTable("msysobjects"), nullptr);
    EXPECT_EQ(database->findTable("Table1"), nullptr);
}

TEST(JetLongValues, OleValueOverSixPagesReadsWhole)
{
    REQUIRE_JET4_FILE("jackcess_test2V2000.mdb");
    auto database = openFile("jackcess_test2V2000.mdb");
    auto table = database->findTable("msp_projects");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->columns.size(), 74u);
    const jet::Column* ole = table->findColumn("reserved_binary_data");
    ASSERT_NE(ole, nullptr);
    ASSERT_EQ(ole->type, jet::ColumnType::OleObject);
    const std::size_t index = static_cast<std::size_t>(ole - table->columns.data());

    RowCursor cursor(database, table);
    ASSERT_TRUE(cursor.next());
    EXPECT_EQ(cursor.row().longValueLength(index), 22970u);
    const auto value = cursor.row().bytes(index);
    EXPECT_EQ(value.size(), 22970u);
    EXPECT_EQ(core::sha256Hex(value), "4444aa8e05096187493aef56724710e8841de604196e58089d48ab801338ceb0");

    // A memo column on the row, longer than fits inline in a short text.
    const jet::Column* author = table->findColumn("PROJ_PROP_AUTHOR");
    ASSERT_NE(author, nullptr);
    const std::string text = cursor.row().text(static_cast<std::size_t>(author - table->columns.data()));
    EXPECT_EQ(text.size(), 348u);
    EXPECT_EQ(text.rfind("Jon Iles this is a a vawesrasoih", 0), 0u);
    EXPECT_FALSE(cursor.next());
}

TEST(JetRows, MovedRowsComeBackAtTheirOriginalPlace)
{
    REQUIRE_JET4_FILE("jackcess_overflowTestV2000.mdb");
    const auto rows = allRows(openFile("jackcess_overflowTestV2000.mdb"), "Table1");
    ASSERT_EQ(rows.size(), 7u);
    // Each row names itself in one of its columns: rowNcolM.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string tag = "row" + std::to_string(i + 1) + "col";
        bool found = false;
        for (const auto& value : rows[i])
            found |= value.rfind(tag, 0) == 0;
        EXPECT_TRUE(found) << "row " << i + 1;
    }
    EXPECT_EQ(rows[2], (std::vector<std::string>{"NULL", "row3col3", "NULL", "NULL", "NULL", "NULL", "NULL",
                                                  "row3col9", "NULL"}));
}

TEST(JetRows, DeletedRowIsSkipped)
{
    REQUIRE_JET4_FILE("jackcess_delTestV2000.mdb");
    const auto rows = allRows(openFile("jackcess_delTestV2000.mdb"), "table");
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"z", "y"}, {"v", "u"}}));
}

TEST(JetRows, EncodedPagesDecrypt)
{
    REQUIRE_JET4_FILE("jackcessencrypt_db-enc.mdb");
    auto database = openFile("jackcessencrypt_db-enc.mdb");
    EXPECT_TRUE(database->pagesEncoded());
    const auto rows = allRows(database, "Table1");
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"1", "hello", "0"}, {"2", "world", "42"}}));
}

TEST(JetFormat, ForeignAndOtherVersionFilesAreUnrecognized)
{
    REQUIRE_JET4_FILE("mdbreader_V2000_no-password.mdb");
    auto image = jet_test::readAll(jet4File("mdbreader_V2000_no-password.mdb"));
    const auto expectUnrecognized = [](jet::Bytes bytes) {
        try {
            Database::openBytes(std::move(bytes), "", "x.mdb");
            ADD_FAILURE() << "opened";
        } catch (const core::RuntimeError& e) {
            EXPECT_EQ(e.number(), jet::kErrGeneral);
            EXPECT_STREQ(e.what(), "Unrecognized database format 'x.mdb'.");
        }
    };
    for (std::uint8_t version : {0x00, 0x02, 0x03, 0x05}) {
        auto copy = image;
        copy[0x14] = version;
        expectUnrecognized(copy);
    }
    auto ace = image;
    std::memcpy(ace.data() + 4, "Standard ACE DB", 15);
    expectUnrecognized(ace);
    expectUnrecognized(jet::Bytes(image.begin(), image.begin() + 4095));
    expectUnrecognized(jet::Bytes(8192, 0));
    expectUnrecognized({});
}

// Patches a long-value chain of the six-page OLE value so that it loops or stops early.
TEST(JetLongValues, BrokenChainsAreErrorsNotShortValues)
{
    REQUIRE_JET4_FILE("jackcess_test2V2000.mdb");
    const auto image = jet_test::readAll(jet4File("jackcess_test2V2000.mdb"));
    // Page 55 holds the third chunk in its first row; the row begins with the next pointer.
    const std::size_t page = 55 * jet::kPageSize;
    const std::size_t row = page + ((image[page + 14] | (image[page + 15] << 8)) & 0x1FFF);
    const auto readOle = [](jet::Bytes bytes) {
        auto database = Database::openBytes(std::move(bytes), "", "t.mdb");
        auto table = database->findTable("MSP_PROJECTS");
        const auto index = static_cast<std::size_t>(table->findColumn("RESERVED_BINARY_DATA") - table->columns.data());
        RowCursor cursor(database, table);
        EXPECT_TRUE(cursor.next());
        return cursor.row().bytes(index);
    };
    ASSERT_EQ(readOle(image).size(), 22970u);

    const auto expectError = [&](std::uint32_t next, const char* words) {
        auto copy = image;
        std::memcpy(copy.data() + row, &next, 4);
        try {
            readOle(copy);
            ADD_FAILURE() << "read a broken chain";
        } catch (const core::RuntimeError& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    };
    expectError(53u << 8, "loop");
    expectError(55u << 8, "loop");
    expectError(0, "ends before");
    expectError(5000u << 8, "beyond the end");
    expectError(2u << 8, "no long values");
}

// Every value of every table by table, row and column, as read from `database`. Reading stops
// at the first error, which propagates; what was read before it is kept in `values`.
using ValueMap = std::map<std::tuple<std::string, std::size_t, std::size_t>, std::vector<std::uint8_t>>;
void readValues(const std::shared_ptr<Database>& database, ValueMap& values)
{
    for (const auto& entry : database->catalog()) {
        auto def = database->table(entry);
        RowCursor cursor(database, def);
        for (std::size_t row = 0; cursor.next(); ++row)
            for (std::size_t i = 0; i < def->columns.size(); ++i)
                if (!cursor.row().isNull(i))
                    values[{def->name, row, i}] = cursor.row().bytes(i);
    }
}

TEST(JetDamage, TruncatedCopiesGiveErrorsNotCrashesNorPartValues)
{
    for (const char* file : {"jackcess_test2V2000.mdb", "jackcessencrypt_db-enc.mdb", "jackcess_overflowTestV2000.mdb"}) {
        SCOPED_TRACE(file);
        REQUIRE_JET4_FILE(file);
        const auto image = jet_test::readAll(jet4File(file));
        ValueMap whole;
        readValues(Database::openBytes(jet::Bytes(image), "", file), whole);
        for (std::size_t size = 0; size < image.size(); size += size < 16384 ? 1021 : 4096 * 3 + 7) {
            ValueMap read;
            try {
                readValues(Database::openBytes(jet::Bytes(image.begin(), image.begin() + size), "", file), read);
            } catch (const core::RuntimeError& e) {
                EXPECT_EQ(e.number(), jet::kErrGeneral);
            }
            // A value is read whole or not at all: a long value cut by the end of the file is an
            // error, never a shorter value.
            for (const auto& [where, bytes] : read) {
                const auto found = whole.find(where);
                ASSERT_NE(found, whole.end()) << "a value the whole file does not have, at size " << size;
                EXPECT_EQ(bytes.size(), found->second.size()) << std::get<0>(where) << " row " << std::get<1>(where)
                                                              << " column " << std::get<2>(where) << " at size " << size;
                EXPECT_TRUE(bytes == found->second) << "at size " << size;
            }
        }
    }
}

TEST(JetDamage, BitFlippedCopiesGiveErrorsNotCrashes)
{
    REQUIRE_JET4_FILE("jackcess_test2V2000.mdb");
    const auto image = jet_test::readAll(jet4File("jackcess_test2V2000.mdb"));
    std::mt19937 random(20240607);
    int failures = 0;
    for (int round = 0; round < 300; ++round) {
        auto copy = image;
        // Flips land in the structures that matter: catalog, definition, data and value pages.
        static const std::uint32_t pages[] = {0, 1, 2, 15, 16, 53, 55, 58};
        for (int flips = 0; flips < 4; ++flips) {
            const std::size_t page = pages[random() % std::size(pages)];
            const std::size_t at = page * jet::kPageSize + random() % jet::kPageSize;
            copy[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        }
        try {
            readEverything(Database::openBytes(std::move(copy), "", "flipped.mdb", {.checkPassword = false}));
        } catch (const core::RuntimeError&) {
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);  // some flips must have been noticed
}

TEST(JetText, CompressedAndPlainUnicode)
{
    using jet::detail::decodeText;
    const std::uint8_t plain[] = {'A', 0, 0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE};  // A, 中, U+1F600
    EXPECT_EQ(decodeText(plain), "A\xE4\xB8\xAD\xF0\x9F\x98\x80");
    const std::uint8_t compressed[] = {0xFF, 0xFE, 'a', 'b', 0x00, 0x2D, 0x4E, 0x00, 'c'};
    EXPECT_EQ(decodeText(compressed), "ab\xE4\xB8\xAD" "c");
    const std::uint8_t lone[] = {0x00, 0xD8, 'x'};  // unpaired surrogate, odd tail byte
    EXPECT_EQ(decodeText(lone), "\xEF\xBF\xBD");
}

}  // namespace

// The hand-made seed files of the fuzzer hold every kind of long value and row in ten pages.
namespace {

TEST(JetSeeds, EveryKindOfLongValueAndRow)
{
    for (const char* file : {"plain.mdb", "password_encoded.mdb"}) {
        SCOPED_TRACE(file);
        const std::string path = std::string(JET_SEEDS_DIR) + "/" + file;
        const bool protectedFile = std::string(file) != "plain.mdb";
        auto database = Database::open(path, protectedFile ? "38pondwick71" : "", file);
        EXPECT_EQ(database->pagesEncoded(), protectedFile);
        auto table = database->findTable("B1");
        ASSERT_NE(table, nullptr);
        RowCursor cursor(database, table);
        std::vector<std::string> numbers, texts;
        std::vector<jet::Bytes> values;
        while (cursor.next()) {
            numbers.push_back(cursor.row().text(0));
            values.push_back(cursor.row().bytes(1));
            texts.push_back(cursor.row().isNull(2) ? "NULL" : cursor.row().text(2));
        }
        EXPECT_EQ(numbers, (std::vector<std::string>{"1", "2", "3", "4", "6"}));  // 4 moved, 5 deleted
        EXPECT_EQ(texts, (std::vector<std::string>{"first", "abc", "NULL", "moved", ""}));
        ASSERT_EQ(values.size(), 5u);
        EXPECT_EQ(std::string(values[0].begin(), values[0].end()), "inline");
        EXPECT_EQ(values[1].size(), 210u);  // one long-value page
        ASSERT_EQ(values[2].size(), 5000u);  // a chain of two pages
        for (std::size_t i = 0; i < values[2].size(); ++i)
            ASSERT_EQ(values[2][i], static_cast<std::uint8_t>(i * 7)) << i;
        EXPECT_TRUE(values[4].empty());
    }
}

}  // namespace
