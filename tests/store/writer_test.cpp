// The Jet 4 writer: packed stores read back whole, in order, by our engine, by mdb-export
// and by mdb-reader; the password as given; what the writer refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "jet/ado.h"
#include "jetwriter.h"
#include "store_test_support.h"

using namespace store_test;

namespace {

// Sizes at and around each place where the storage of a value changes: empty, inline,
// one LVAL row, the 4 KB page, chains of one, two and three chunks, and a large chain.
const std::vector<std::size_t> kBoundarySizes{
    0,    1,    255,  jetwriter::kInlineValueLimit, jetwriter::kInlineValueLimit + 1, 4072, 4073,
    jetwriter::kSinglePageValueLimit, jetwriter::kSinglePageValueLimit + 1, 4095, 4096, 4097,
    2 * jetwriter::kChainChunkSize, 2 * jetwriter::kChainChunkSize + 1, 3 * jetwriter::kChainChunkSize - 1,
    1 << 20};

std::vector<Bytes> valuesOfSizes(const std::vector<std::size_t>& sizes)
{
    std::vector<Bytes> values;
    for (std::size_t i = 0; i < sizes.size(); ++i) values.push_back(randomBytes(sizes[i], static_cast<std::uint32_t>(i + 1)));
    return values;
}

// Compares value by value so that a failure names the record instead of dumping megabytes.
void expectSameValues(const Column& actual, const std::vector<Bytes>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(actual[i].has_value()) << "record " << i + 1 << " read as null";
        EXPECT_EQ(actual[i]->size(), expected[i].size()) << "record " << i + 1;
        EXPECT_TRUE(*actual[i] == expected[i]) << "record " << i + 1 << " differs";
    }
}

core::RuntimeError errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const core::RuntimeError& error) {
        return error;
    }
    ADD_FAILURE() << "no error raised";
    return core::RuntimeError(0, "");
}

class BoundaryStore : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new TempFolder;
        values_ = new std::vector<Bytes>(valuesOfSizes(kBoundarySizes));
        writeStoreFile(store(), specOf(*values_, kPassword));
    }
    static void TearDownTestSuite()
    {
        delete values_;
        delete folder_;
    }
    static std::filesystem::path store() { return *folder_ / "qvd.dll"; }
    static constexpr const char* kPassword = "38pondwick71";
    static inline TempFolder* folder_ = nullptr;
    static inline std::vector<Bytes>* values_ = nullptr;
};

TEST_F(BoundaryStore, OurEngineReadsEveryValueWholeAndInOrder)
{
    expectSameValues(readWithEngine(store(), kPassword), *values_);
}

TEST_F(BoundaryStore, MdbExportReadsEveryValueWholeAndInOrder)
{
    if (auto missing = mdbExportMissing()) GTEST_SKIP() << *missing;
    expectSameValues(readWithMdbExport(store()), *values_);
}

TEST_F(BoundaryStore, MdbReaderReadsEveryValueWholeAndInOrder)
{
    if (auto missing = mdbReaderMissing()) GTEST_SKIP() << *missing;
    const ProcessResult result = listWithMdbReader(store(), kPassword);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, expectedListing(*values_));
}

// The boundaries above only test something if the values really take each form: the
// header of each value in its row says inline (0x80), one LVAL row (0x40) or chain (0x00).
TEST_F(BoundaryStore, ValuesTakeEachOfTheThreeStoredForms)
{
    const Bytes file = readFile(store());
    std::vector<std::uint8_t> forms;
    for (std::size_t page = 1; page * 4096 < file.size(); ++page) {
        const std::uint8_t* p = file.data() + page * 4096;
        const bool tableData = p[0] == 0x01 && p[4] == 3 && p[5] == 0 && p[6] == 0 && p[7] == 0;
        if (!tableData) continue;
        const unsigned rows = p[12] | p[13] << 8;
        for (unsigned r = 0; r < rows; ++r) {
            const unsigned offset = (p[14 + 2 * r] | p[15 + 2 * r] << 8) & 0x1FFF;
            forms.push_back(p[offset + 2 + 3]);
        }
    }
    ASSERT_EQ(forms.size(), kBoundarySizes.size());
    for (std::size_t i = 0; i < kBoundarySizes.size(); ++i) {
        const std::size_t size = kBoundarySizes[i];
        const std::uint8_t expected = size <= jetwriter::kInlineValueLimit        ? 0x80
                                      : size <= jetwriter::kSinglePageValueLimit ? 0x40
                                                                                  : 0x00;
        EXPECT_EQ(forms[i], expected) << "record " << i + 1 << " of " << size << " bytes";
    }
}

// Hundreds of records fill several data pages and several shared LVAL pages; the order of
// the records must survive page breaks.
TEST(StoreWriter, ManyRecordsKeepTheirOrderAcrossPages)
{
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < 600; ++i) sizes.push_back((i * 7919) % 3000);
    const std::vector<Bytes> values = valuesOfSizes(sizes);
    TempFolder folder;
    writeStoreFile(folder / "many.mdb", specOf(values, "pw"));
    expectSameValues(readWithEngine(folder / "many.mdb", "pw"), values);
    if (auto missing = mdbExportMissing()) GTEST_SKIP() << *missing;
    expectSameValues(readWithMdbExport(folder / "many.mdb"), values);
}

TEST(StoreWriter, LargestValueIsStoredWholeAndOneByteMoreIsRefusedBeforeWriting)
{
    const std::vector<Bytes> largest{randomBytes(jetwriter::kMaxValueSize, 99)};
    TempFolder folder;
    writeStoreFile(folder / "largest.mdb", specOf(largest, "pw"));
    expectSameValues(readWithEngine(folder / "largest.mdb", "pw"), largest);
    if (!mdbExportMissing()) expectSameValues(readWithMdbExport(folder / "largest.mdb"), largest);
    if (!mdbReaderMissing()) {
        const ProcessResult result = listWithMdbReader(folder / "largest.mdb", "pw");
        EXPECT_EQ(result.out, expectedListing(largest)) << result.err;
    }

    const Bytes tooLarge(jetwriter::kMaxValueSize + 1, 0);
    jetwriter::StorePlan plan = specOf({Bytes(10, 1)}, "pw");
    plan.records.emplace_back(tooLarge);
    int pagesHandedOut = 0;
    const auto error = errorOf([&] { jetwriter::writeStore(plan, [&](auto) { ++pagesHandedOut; }); });
    EXPECT_EQ(error.number(), jetwriter::kErrTooLarge);
    EXPECT_NE(error.description().find("Record 2"), std::string::npos) << error.description();
    EXPECT_EQ(pagesHandedOut, 0);
}

// The password is stored exactly as given: the engine opens the store with it and with no
// variant of it, and mdb-reader decodes the same password from the header. The creation
// date masks the stored password, so two dates are tried.
TEST(StoreWriter, PasswordIsStoredAsGiven)
{
    const std::vector<std::string> passwords{"38pondwick71", "abcdefghijklmnopqrst", "Pässwort 密码", "a;b"};
    const std::vector<Bytes> values{randomBytes(5000, 3)};
    for (double date : {45000.25, 0.5}) {
        for (const std::string& password : passwords) {
            SCOPED_TRACE(password + " on date " + std::to_string(date));
            TempFolder folder;
            jetwriter::StorePlan plan = specOf(values, password);
            plan.creationDate = date;
            writeStoreFile(folder / "pw.mdb", plan);
            const std::string store = (folder / "pw.mdb").string();
            if (password.find(';') == std::string::npos) {  // the connection string cannot carry it plainly
                expectSameValues(readWithEngine(store, password), values);
                std::string otherCase = password;
                const auto letter = std::ranges::find_if(otherCase, [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
                *letter = static_cast<char>(std::islower(static_cast<unsigned char>(*letter)) ? std::toupper(*letter) : std::tolower(*letter));
                for (const std::string& wrong : {otherCase, password + "x", password.substr(1), std::string()}) {
                    const auto error = errorOf([&] { readWithEngine(store, wrong); });
                    EXPECT_EQ(error.description(), "Not a valid password.") << "accepted \"" << wrong << "\"";
                }
            }
            if (!mdbReaderMissing()) {
                EXPECT_EQ(listWithMdbReader(store, password).exitCode, 0);
                EXPECT_EQ(listWithMdbReader(store, password + "x").exitCode, 3);
            }
        }
    }
}

TEST(StoreWriter, StoreWithoutPasswordOpensWithTheEmptyOne)
{
    const std::vector<Bytes> values{randomBytes(300, 4)};
    TempFolder folder;
    writeStoreFile(folder / "open.mdb", specOf(values, ""));
    expectSameValues(readWithEngine(folder / "open.mdb", ""), values);
    if (!mdbReaderMissing()) {
        EXPECT_EQ(listWithMdbReader(folder / "open.mdb", "").exitCode, 0);
    }
}

TEST(StoreWriter, RefusesWhatTheFormatCannotHold)
{
    auto refuse = [](jetwriter::StorePlan plan) {
        int pages = 0;
        const auto error = errorOf([&] { jetwriter::writeStore(plan, [&](auto) { ++pages; }); });
        EXPECT_EQ(pages, 0);
        return error.number();
    };
    const std::vector<Bytes> one{Bytes(3, 7)};
    EXPECT_EQ(refuse(specOf(one, std::string(21, 'p'))), jetwriter::kErrInvalidArgument);
    EXPECT_EQ(refuse(specOf(one, "\xff\xfe")), jetwriter::kErrInvalidArgument);  // not UTF-8
    auto named = specOf(one, "pw");
    named.tableName = "";
    EXPECT_EQ(refuse(named), jetwriter::kErrInvalidArgument);
    named.tableName = std::string(65, 't');
    EXPECT_EQ(refuse(named), jetwriter::kErrInvalidArgument);
    // The table's usage map reaches page 511; more rows than its data pages can hold there
    // must be refused, not written past the map.
    jetwriter::StorePlan crowded = specOf({}, "pw");
    crowded.records.assign(100'000, std::span<const std::uint8_t>());
    EXPECT_EQ(refuse(crowded), jetwriter::kErrTooLarge);
}

}  // namespace
