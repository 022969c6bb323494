// The chapterstore tool, run as a subprocess: pack, list and extract; failures that must
// leave nothing behind; list on the reference databases.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include "jetwriter.h"
#include "store_test_support.h"

using namespace store_test;

namespace {

ProcessResult tool(const std::vector<std::string>& args) { return run(chapterstoreTool(), args); }

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class PackedFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(folder / "in");
        const std::vector<std::size_t> sizes{0, 1, 4096, 300'000};
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            values.push_back(randomBytes(sizes[i], static_cast<std::uint32_t>(100 + i)));
            inputs.push_back((folder / "in" / ("chapter" + std::to_string(i))).string());
            writeFile(inputs.back(), values.back());
        }
    }
    TempFolder folder;
    std::vector<Bytes> values;
    std::vector<std::string> inputs;
};

TEST_F(PackedFiles, PackThenListAndExtractGiveBackEveryFile)
{
    const std::string store = (folder / "qvd.dll").string();
    const ProcessResult pack = tool(concat({"pack", store, "--password", "38pondwick71"}, inputs));
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_EQ(pack.err, "");

    const ProcessResult list = tool({"list", store, "--password", "38pondwick71"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, expectedListing(values));
    if (!mdbReaderMissing()) {
        EXPECT_EQ(listWithMdbReader(store, "38pondwick71").out, list.out);
    }

    const ProcessResult extract = tool({"extract", store, "--password", "38pondwick71", "--out", (folder / "out").string()});
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    EXPECT_EQ(folderEntries(folder / "out"), (std::vector<std::string>{"0001.bin", "0002.bin", "0003.bin", "0004.bin"}));
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_TRUE(readFile(folder / "out" / ("000" + std::to_string(i + 1) + ".bin")) == values[i]) << "record " << i + 1;
}

TEST_F(PackedFiles, WrongPasswordIsRefusedWithoutOutput)
{
    const std::string store = (folder / "s.mdb").string();
    ASSERT_EQ(tool(concat({"pack", store, "--password", "Secret"}, inputs)).exitCode, 0);
    for (const std::string wrong : {"secret", "Secret ", ""}) {
        const ProcessResult list = tool({"list", store, "--password", wrong});
        EXPECT_NE(list.exitCode, 0);
        EXPECT_EQ(list.out, "");
        EXPECT_NE(list.err.find("Not a valid password."), std::string::npos) << list.err;
        const ProcessResult extract = tool({"extract", store, "--password", wrong, "--out", (folder / "x").string()});
        EXPECT_NE(extract.exitCode, 0);
        EXPECT_FALSE(std::filesystem::exists(folder / "x"));
    }
}

// Separators and quote marks in the password reach the header and come back through the
// connection string intact.
TEST_F(PackedFiles, PasswordWithSeparatorsRoundTrips)
{
    const std::string store = (folder / "s.mdb").string();
    for (const std::string password : {"a;b=c", "it's", "say \"x\"", " padded "}) {
        ASSERT_EQ(tool(concat({"pack", store, "--password", password}, inputs)).exitCode, 0) << password;
        const ProcessResult list = tool({"list", store, "--password", password});
        EXPECT_EQ(list.exitCode, 0) << password << ": " << list.err;
        EXPECT_EQ(list.out, expectedListing(values)) << password;
    }
}

// A failed pack leaves the folder as it was: no store, no temporary file, and an existing
// store of the same name untouched.
TEST_F(PackedFiles, FailedPackLeavesNothingBehind)
{
    const auto before = folderEntries(folder.path());
    const std::string store = (folder / "qvd.dll").string();

    const ProcessResult missingFolder = tool(concat({"pack", (folder / "no" / "such" / "s.mdb").string(), "--password", "pw"}, inputs));
    EXPECT_NE(missingFolder.exitCode, 0);
    EXPECT_NE(missingFolder.err, "");
    EXPECT_FALSE(std::filesystem::exists(folder / "no"));

    const ProcessResult missingInput = tool({"pack", store, "--password", "pw", inputs[0], (folder / "gone").string()});
    EXPECT_NE(missingInput.exitCode, 0);
    EXPECT_NE(missingInput.err.find("gone"), std::string::npos) << missingInput.err;

    const std::string huge = (folder / "in" / "huge").string();
    writeFile(huge, {});
    std::filesystem::resize_file(huge, jetwriter::kMaxValueSize + 1);  // sparse: costs no disk
    const ProcessResult tooLarge = tool({"pack", store, "--password", "pw", huge});
    EXPECT_NE(tooLarge.exitCode, 0);
    EXPECT_NE(tooLarge.err.find("16777215"), std::string::npos) << tooLarge.err;
    std::filesystem::remove(huge);

    const ProcessResult longPassword = tool(concat({"pack", store, "--password", std::string(21, 'p')}, inputs));
    EXPECT_NE(longPassword.exitCode, 0);
    EXPECT_NE(longPassword.err, "");
    EXPECT_EQ(folderEntries(folder.path()), before);

    // A write that fails half-way (here: the file size limit) must not leave a store.
    const ProcessResult limited = run("sh", concat({"-c", "trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\"", chapterstoreTool(),
                                                     "pack", store, "--password", "pw"}, inputs));
    EXPECT_NE(limited.exitCode, 0);
    EXPECT_NE(limited.err.find("cannot write"), std::string::npos) << limited.err;
    EXPECT_EQ(folderEntries(folder.path()), before);

    // An existing store survives a failed pack unchanged.
    writeFile(store, Bytes{1, 2, 3});
    EXPECT_NE(tool({"pack", store, "--password", "pw", (folder / "gone").string()}).exitCode, 0);
    EXPECT_TRUE(readFile(store) == (Bytes{1, 2, 3}));
}

TEST_F(PackedFiles, PackIntoReadOnlyFolderFails)
{
    // Folder permissions do not hold root back: as root, the tool runs as the user nobody.
    std::vector<std::string> asUser;
    if (::geteuid() == 0) {
        if (run("sh", {"-c", "command -v setpriv"}).exitCode != 0)
            GTEST_SKIP() << "running as root, and setpriv is not there to run the tool as another user";
        asUser = {"--reuid=65534", "--regid=65534", "--clear-groups", chapterstoreTool()};
        std::filesystem::permissions(folder.path(), std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                                     std::filesystem::perm_options::add);  // nobody reads the inputs
    }
    using std::filesystem::perms;
    std::filesystem::create_directory(folder / "ro");
    std::filesystem::permissions(folder / "ro", perms::owner_read | perms::owner_exec | perms::others_read | perms::others_exec);
    const auto args = concat({"pack", (folder / "ro" / "s.mdb").string(), "--password", "pw"}, inputs);
    const ProcessResult pack = asUser.empty() ? tool(args) : run("setpriv", concat(asUser, args));
    EXPECT_NE(pack.exitCode, 0);
    EXPECT_NE(pack.err.find("cannot"), std::string::npos) << pack.err;
    EXPECT_TRUE(folderEntries(folder / "ro").empty());
}

TEST(ChapterstoreTool, WrongCommandLinesAreUsageErrors)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"pack", "out.mdb", "in"}, {"pack", "out.mdb", "--password", "pw"},
             {"list", "s.mdb", "--table", "b1"}, {"list", "s.mdb", "--colour", "red"}, {"extract", "s.mdb", "--password", "pw"},
             {"list", "s.mdb", "--password"}}) {
        const ProcessResult result = tool(args);
        EXPECT_EQ(result.exitCode, 2) << testing::PrintToString(args);
        EXPECT_NE(result.err.find("Usage:"), std::string::npos);
    }
    const ProcessResult help = tool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("0001.bin"), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// The reference databases, as their sources describe them.

std::filesystem::path referenceFile(const std::string& name)
{
    return std::filesystem::path(TALVORIN_TESTDATA) / "jet4" / name;
}

#define REQUIRE_REFERENCE(name)                                                   \
    do {                                                                          \
        if (!std::filesystem::exists(referenceFile(name)))                        \
            GTEST_SKIP() << "reference database " << (name) << " is not present"; \
    } while (0)

ProcessResult listReference(const std::string& name, const std::string& password, const std::string& table,
                            const std::string& column)
{
    return tool({"list", referenceFile(name).string(), "--password", password, "--table", table, "--column", column});
}

TEST(ListReferenceDatabases, ChainedOleValueReadsWhole)
{
    REQUIRE_REFERENCE("jackcess_test2V2000.mdb");
    const ProcessResult list = listReference("jackcess_test2V2000.mdb", "", "MSP_PROJECTS", "RESERVED_BINARY_DATA");
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "1\t22970\t4444aa8e05096187493aef56724710e8841de604196e58089d48ab801338ceb0\n");
}

TEST(ListReferenceDatabases, MovedRowsKeepTheirPlaceAndDeletedRowsAreSkipped)
{
    REQUIRE_REFERENCE("jackcess_overflowTestV2000.mdb");
    const ProcessResult overflow = listReference("jackcess_overflowTestV2000.mdb", "", "Table1", "data3");
    ASSERT_EQ(overflow.exitCode, 0) << overflow.err;
    EXPECT_EQ(overflow.out, "1\tNULL\n2\trow2col3\n3\trow3col3\n4\trow4col2\n5\trow5col2\n6\trow6col2\n7\tNULL\n");

    REQUIRE_REFERENCE("jackcess_delTestV2000.mdb");
    const ProcessResult deleted = listReference("jackcess_delTestV2000.mdb", "", "Table", "a");
    ASSERT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_EQ(deleted.out, "1\tz\n2\tv\n");
}

TEST(ListReferenceDatabases, PasswordsAndPageCodingAsDocumented)
{
    REQUIRE_REFERENCE("mdbreader_V2000_with-password.mdb");
    for (const std::string name : {"mdbreader_V2000_with-password.mdb", "mdbreader_V2003_with-password.mdb"}) {
        const ProcessResult list = listReference(name, "password", "Table1", "Data");
        EXPECT_EQ(list.exitCode, 0) << name << ": " << list.err;
        EXPECT_EQ(list.out, "1\tOne\n2\tTwo\n3\tThree\n") << name;
        EXPECT_NE(listReference(name, "Password", "Table1", "Data").exitCode, 0) << name;
    }
    EXPECT_EQ(listReference("mdbreader_V2000_no-password.mdb", "", "Table1", "Data").out, "1\tOne\n2\tTwo\n3\tThree\n");

    const ProcessResult ucanaccess = listReference("ucanaccess_password.mdb", "ucanaccess", "MSysObjects", "Name");
    EXPECT_EQ(ucanaccess.exitCode, 0) << ucanaccess.err;
    EXPECT_NE(ucanaccess.out.find("\tMSysAccessStorage\n"), std::string::npos);
    EXPECT_NE(listReference("ucanaccess_password.mdb", "ucanacces", "MSysObjects", "Name").exitCode, 0);

    const ProcessResult coded = listReference("jackcessencrypt_db-enc.mdb", "", "Table1", "col1");
    EXPECT_EQ(coded.exitCode, 0) << coded.err;
    EXPECT_EQ(coded.out, "1\thello\n2\tworld\n");
}

// extract stops at the first record it cannot read, says which one, and leaves the files
// of the records before it complete. Row 3 of this table has no data1.
TEST(ExtractReferenceDatabase, StopsAtTheRecordThatCannotBeRead)
{
    REQUIRE_REFERENCE("jackcess_overflowTestV2000.mdb");
    TempFolder folder;
    const ProcessResult extract = tool({"extract", referenceFile("jackcess_overflowTestV2000.mdb").string(), "--password", "",
                                        "--table", "Table1", "--column", "data1", "--out", (folder / "out").string()});
    EXPECT_NE(extract.exitCode, 0);
    EXPECT_NE(extract.err.find("record 3"), std::string::npos) << extract.err;
    EXPECT_EQ(folderEntries(folder / "out"), (std::vector<std::string>{"0001.bin", "0002.bin"}));
    EXPECT_FALSE(readFile(folder / "out" / "0001.bin").empty());
}

}  // namespace
