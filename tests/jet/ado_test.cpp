// Connection and Recordset: connection strings, the provider's errors, cursor movement and
// the laziness of long values.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <unistd.h>

#include "core/install_path.h"
#include "jet/ado.h"
#include "jet/engine.h"
#include "core/sha256.h"
#include "testdata.h"

using jet::Connection;
using jet::Recordset;
using jet_test::jet4File;

namespace {

const char* const kJet = "Provider=Microsoft.Jet.OLEDB.4.0;";

// Runs `action` and returns the error it raised; fails the test when none.
core::RuntimeError errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const core::RuntimeError& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return core::RuntimeError(0, "");
}

std::shared_ptr<Connection> connect(const std::string& file, const std::string& password = {})
{
    auto connection = std::make_shared<Connection>();
    connection->ConnectionString = std::string(kJet) + "Data Source=" + jet4File(file).string() +
                                   ";Jet OLEDB:Database Password=" + password;
    connection->Open("", "", "", -1);
    return connection;
}

std::unique_ptr<Recordset> query(std::shared_ptr<Connection> connection, const std::string& source)
{
    auto recordset = std::make_unique<Recordset>();
    recordset->ActiveConnection = std::move(connection);
    recordset->Source = source;
    recordset->Open();
    return recordset;
}

// A temporary folder, removed at the end of the test.
struct TempFolder {
    std::filesystem::path path;
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "jet_test_XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
};

TEST(ConnectionString, KeysWithoutRegardToCaseAndValuesTrimmedOrQuoted)
{
    const auto pairs = jet::parseConnectionString(
        " provider = Microsoft.Jet.OLEDB.4.0 ;Persist Security Info=False;DATA SOURCE=C:\\a b\\qvd.dll ;"
        "Jet OLEDB:Database Password=\"p;w \"\"x\"\"\";;");
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"provider", "Microsoft.Jet.OLEDB.4.0"}));
    EXPECT_EQ(pairs[2], (std::pair<std::string, std::string>{"DATA SOURCE", "C:\\a b\\qvd.dll"}));
    EXPECT_EQ(pairs[3].second, "p;w \"x\"");

    for (const char* bad : {"Provider", "=x", "a=\"unclosed", "a=\"x\" y"})
        EXPECT_EQ(errorOf([&] { jet::parseConnectionString(bad); }).number(), jet::kErrBadConnectionString) << bad;
}

TEST(ConnectionOpen, ProviderErrors)
{
    for (const char* text : {"Data Source=x.mdb", "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=x.mdb",
                             "Provider=SQLOLEDB;Data Source=x.mdb"}) {
        Connection connection;
        const auto e = errorOf([&] { connection.Open(text); });
        EXPECT_EQ(e.number(), 3706);
        EXPECT_STREQ(e.what(), "Provider cannot be found. It may not be properly installed.");
        EXPECT_EQ(connection.State(), jet::adStateClosed);
    }
}

TEST(ConnectionOpen, MissingFileAndWrongPassword)
{
    Connection connection;
    connection.ConnectionString = std::string(kJet) + "Data Source=C:\\nowhere\\qvd.dll ;";
    auto e = errorOf([&] { connection.Open(); });
    EXPECT_EQ(e.number(), -2147467259);
    EXPECT_STREQ(e.what(), "Could not find file 'C:\\nowhere\\qvd.dll'.");

    REQUIRE_JET4_FILE("mdbreader_V2000_with-password.mdb");
    e = errorOf([] { connect("mdbreader_V2000_with-password.mdb", "Password"); });
    EXPECT_EQ(e.number(), -2147217843);
    EXPECT_STREQ(e.what(), "Not a valid password.");
    EXPECT_EQ(connect("mdbreader_V2000_with-password.mdb", "password")->State(), jet::adStateOpen);
}

TEST(ConnectionOpen, NotADatabase)
{
    TempFolder folder;
    const auto file = folder.path / "qvd.dll";
    std::ofstream(file) << std::string(10000, 'x');
    Connection connection;
    const std::string source = file.string();
    const auto e = errorOf([&] { connection.Open(std::string(kJet) + "Data Source=" + source); });
    EXPECT_EQ(e.number(), -2147467259);
    EXPECT_EQ(std::string(e.what()), "Unrecognized database format '" + source + "'.");
}

// The reader's own connection text: backslashes, "chapter" where the folder is "Chapter",
// and a blank before the semicolon.
TEST(ConnectionOpen, InstallationPathResolvesWithoutRegardToCase)
{
    REQUIRE_JET4_FILE("mdbreader_V2000_with-password.mdb");
    TempFolder folder;
    std::filesystem::create_directories(folder.path / "Res" / "Chapter");
    std::filesystem::copy_file(jet4File("mdbreader_V2000_with-password.mdb"), folder.path / "Res" / "Chapter" / "QVD.dll");
    core::overrideApplicationFolder(folder.path.string());

    auto connection = std::make_shared<Connection>();
    connection->ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source=" +
                                   core::applicationFolder() + "\\res\\chapter\\qvd.dll ;Jet OLEDB:Database Password=password";
    connection->ConnectionTimeout = 5;
    connection->Open("", "", "", -1);
    core::overrideApplicationFolder(std::nullopt);
    ASSERT_EQ(connection->State(), jet::adStateOpen);
    EXPECT_EQ(errorOf([&] { connection->Open(); }).number(), 3705);  // already open

    auto records = query(connection, "SELECT data FROM table1");
    EXPECT_EQ(records->Fields("DATA").text(), "One");
    connection->Close();
    EXPECT_EQ(connection->State(), jet::adStateClosed);
    EXPECT_EQ(errorOf([&] { connection->Close(); }).number(), 3704);
    // The open recordset keeps the file it reads.
    records->MoveNext();
    EXPECT_EQ(records->Fields("data").text(), "Two");
}

TEST(RecordsetOpen, QueryForms)
{
    REQUIRE_JET4_FILE("jackcess_overflowTestV2000.mdb");
    auto connection = connect("jackcess_overflowTestV2000.mdb");
    EXPECT_EQ(query(connection, "select * from table1")->fieldCount(), 9u);
    auto records = query(connection, "  SeLeCt [data3] ,DATA1  FrOm  [Table1] ; ");
    ASSERT_EQ(records->fieldCount(), 2u);
    EXPECT_EQ(records->Fields(std::size_t{0}).name(), "data3");
    EXPECT_EQ(records->Fields(std::size_t{1}).name(), "data1");
    EXPECT_EQ(records->Fields("Data1").text(), "row1col1");

    const auto syntax = [&](const std::string& source) {
        const auto e = errorOf([&] { query(connection, source); });
        EXPECT_EQ(e.number(), jet::kErrSyntax) << source << ": " << e.what();
    };
    for (const char* bad : {"", "delete from table1", "select from table1", "select col1", "select col1 table1",
                            "select col1, from table1", "select col1 from", "select col1 from table1 where col1='x'",
                            "select col1 from table1 order by col1", "select col1 from table1, table2",
                            "select t.col1 from table1 t", "select col1 from [table1", "select * , col1 from table1"}) {
        if (*bad == '\0')
            EXPECT_EQ(errorOf([&] { query(connection, bad); }).number(), jet::kErrNoCommand);
        else
            syntax(bad);
    }
    auto e = errorOf([&] { query(connection, "select m1 from b1"); });
    EXPECT_EQ(e.number(), jet::kErrNoTable);
    EXPECT_NE(std::string(e.what()).find("'b1'"), std::string::npos);
    e = errorOf([&] { query(connection, "select data1, m1 from table1"); });
    EXPECT_EQ(e.number(), jet::kErrUnknownColumn);

    Recordset unconnected;
    unconnected.Source = "select * from table1";
    EXPECT_EQ(errorOf([&] { unconnected.Open(); }).number(), 3709);
}

TEST(RecordsetCursor, ForwardMovesEofAnd3021)
{
    REQUIRE_JET4_FILE("jackcess_overflowTestV2000.mdb");
    auto records = query(connect("jackcess_overflowTestV2000.mdb"), "select data3, data1 from table1");
    // The first non-null of the two names the row: rowNcolM.
    const auto current = [&] {
        return records->Fields("data1").isNull() ? records->Fields("data3").text() : records->Fields("data1").text();
    };
    EXPECT_EQ(current(), "row1col1");
    records->MoveNext();
    EXPECT_EQ(current(), "row2col1");
    records->Move(2);
    EXPECT_EQ(current(), "row4col1");
    EXPECT_EQ(records->position(), 3);
    records->Move(0);
    EXPECT_EQ(current(), "row4col1");
    EXPECT_EQ(errorOf([&] { records->Move(-1); }).number(), jet::kErrCantFetchBackwards);

    records->MoveFirst();
    EXPECT_EQ(current(), "row1col1");
    records->Move(6);
    EXPECT_FALSE(records->Eof());
    EXPECT_EQ(records->Fields("data1").text(), "row7col1");
    records->MoveNext();  // past the last record: EOF, no error
    EXPECT_TRUE(records->Eof());

    for (const auto& atEof : std::vector<std::function<void()>>{
             [&] { records->MoveNext(); }, [&] { records->Move(1); }, [&] { records->Fields("data1"); },
             [&] { records->Fields(std::size_t{0}); }}) {
        const auto e = errorOf(atEof);
        EXPECT_EQ(e.number(), 3021);
        EXPECT_STREQ(e.what(), "Either BOF or EOF is True, or the current record has been deleted. Requested "
                               "operation requires a current record.");
    }
    // A field taken before the move reads the record current when it is read.
    records->MoveFirst();
    const jet::Field field = records->Fields("data1");
    records->Move(10);
    EXPECT_TRUE(records->Eof());
    EXPECT_EQ(errorOf([&] { field.Value(); }).number(), 3021);

    records->MoveFirst();
    EXPECT_FALSE(records->Eof());
    records->Close();
    EXPECT_EQ(records->State(), jet::adStateClosed);
    EXPECT_EQ(errorOf([&] { records->MoveFirst(); }).number(), 3704);
    EXPECT_EQ(errorOf([&] { field.Value(); }).number(), 3704);
}

TEST(RecordsetValues, NullsAndTypes)
{
    REQUIRE_JET4_FILE("jackcessencrypt_db-enc.mdb");
    auto records = query(connect("jackcessencrypt_db-enc.mdb"), "select * from table1");
    EXPECT_EQ(records->Fields("ID").Value(), (jet::Bytes{1, 0, 0, 0}));
    EXPECT_EQ(records->Fields("col1").text(), "hello");
    EXPECT_FALSE(records->Fields("col1").isBinary());
    EXPECT_EQ(errorOf([&] { records->Fields("nope"); }).number(), 3265);

    REQUIRE_JET4_FILE("jackcess_overflowTestV2000.mdb");
    auto withNulls = query(connect("jackcess_overflowTestV2000.mdb"), "select data3 from table1");
    ASSERT_TRUE(withNulls->Fields("data3").isNull());
    EXPECT_EQ(errorOf([&] { withNulls->Fields("data3").Value(); }).number(), 94);
    EXPECT_EQ(errorOf([&] { withNulls->Fields("data3").text(); }).number(), 94);
}

// Passing over a record never reads its long value; reading it reads its pages.
TEST(RecordsetValues, LongValuesAreReadOnlyWhenAskedFor)
{
    REQUIRE_JET4_FILE("jackcess_test2V2000.mdb");
    auto connection = connect("jackcess_test2V2000.mdb");
    auto records = query(connection, "select reserved_binary_data from msp_projects");
    const auto database = connection->database();
    ASSERT_TRUE(records->Fields("RESERVED_BINARY_DATA").isBinary());

    std::uint64_t before = database->pagesRead();
    records->MoveNext();
    EXPECT_TRUE(records->Eof());
    EXPECT_LT(database->pagesRead() - before, 2u);  // at most the table's next page, never the six value pages

    records->MoveFirst();
    before = database->pagesRead();
    (void)records->Fields("RESERVED_BINARY_DATA").isNull();
    EXPECT_EQ(database->pagesRead(), before);
    const auto value = records->Fields("RESERVED_BINARY_DATA").Value();
    EXPECT_GE(database->pagesRead() - before, 6u);
    EXPECT_EQ(core::sha256Hex(value), "4444aa8e05096187493aef56724710e8841de604196e58089d48ab801338ceb0");
}

}  // namespace
