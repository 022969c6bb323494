#pragma once
// Connection and Recordset: the database objects the reader uses, with the semantics of
// the Jet 4.0 OLE DB provider, over our own read-only Jet 4 engine. Free of Qt.
//
// Errors are core::RuntimeError with the number and description the provider gives
// (jet/errors.h lists the numbers):
//   Connection::Open  3706 "Provider cannot be found. It may not be properly installed."
//                     -2147467259 "Could not find file '<Data Source>'."
//                     -2147467259 "Unrecognized database format '<Data Source>'."
//                     -2147217843 "Not a valid password."
//                     -2147217805 a connection string that does not parse
//                     3705 already open
//   Recordset::Open   -2147217900 syntax error; -2147217865 unknown table;
//                     -2147217904 unknown column; 3709 no open connection
//   moving or reading at EOF: 3021 "Either BOF or EOF is True, or the current record has
//                     been deleted. Requested operation requires a current record."
//   Move with a negative count: -2147217884 (forward-only)
//   reading a null value as bytes or text: 94 "Invalid use of Null"
//   any use of a closed object: 3704; a damaged file: -2147467259 naming the file
// A database without a password opens whatever password the connection string gives.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/error.h"
#include "jet/errors.h"

namespace jet {

using Bytes = std::vector<std::uint8_t>;

class Database;  // an open Jet 4 file (engine.h)
class Row;

// The key=value pairs of a connection string in order; keys and unquoted values trimmed,
// quoted values ("..." or '...') kept as written. Raises -2147217805 when it does not parse.
std::vector<std::pair<std::string, std::string>> parseConnectionString(std::string_view text);

inline constexpr int adStateClosed = 0;
inline constexpr int adStateOpen = 1;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=...;Jet OLEDB:Database Password=..."
    std::string ConnectionString;
    int ConnectionTimeout = 15;  // kept for callers; opening a local file never waits

    // An empty connectionText uses ConnectionString. Options -1: synchronous.
    void Open(std::string_view connectionText = {}, std::string_view userId = {},
              std::string_view password = {}, long options = -1);
    int State() const;
    void Close();

    // The open database; throws when the connection is not open.
    std::shared_ptr<Database> database() const;

private:
    std::shared_ptr<Database> database_;
};

class Recordset;

// One field of the current record. Its long value is read only when asked for.
class Field {
public:
    // The whole value as bytes (binary, or the stored bytes of text). Throws on null.
    Bytes Value() const;
    bool isNull() const;
    bool isBinary() const;
    // A text column's value as UTF-8. Throws on null.
    std::string text() const;
    const std::string& name() const;

private:
    friend class Recordset;
    Field(const Recordset* recordset, std::size_t column) : recordset_(recordset), column_(column) {}
    const Recordset* recordset_;
    std::size_t column_;
};

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // The connection is shared: it stays alive as long as a recordset uses it.
    std::shared_ptr<Connection> ActiveConnection;
    // "select m1 from b1": SELECT with columns or * FROM one table.
    std::string Source;

    // Forward-only, read-only, standing on the first record (or at EOF when empty).
    void Open();
    void Close();
    int State() const;

    void MoveFirst();  // rewinds; error 3021 when the recordset is empty
    void Move(long count);  // count records forward; past the last one sets EOF; 3021 at EOF
    void MoveNext();        // error 3021 when already at EOF
    bool Eof() const;       // the recordset's EOF property

    // The field of the current record by name (without regard to case); error 3021 at EOF.
    Field Fields(std::string_view name) const;
    std::size_t fieldCount() const;
    Field Fields(std::size_t index) const;
    // Position of the current record, counting from 0.
    long position() const;

private:
    friend class Field;
    const Row& currentRow(std::size_t field, std::size_t& column) const;
    struct State_;
    std::unique_ptr<State_> state_;
};

}  // namespace jet
