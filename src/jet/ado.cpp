#include "jet/ado.h"

#include <optional>
#include <utility>

#include "core/install_path.h"
#include "jet/engine.h"
#include "jet/errors.h"
#include "jet/select_query.h"

namespace jet {
namespace {

const char* const kProviderName = "Microsoft.Jet.OLEDB.4.0";

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::string_view trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

[[noreturn]] void raiseClosed()
{
    raise(kErrObjectClosed, "Operation is not allowed when the object is closed.");
}

[[noreturn]] void raiseNoCurrentRecord()
{
    raise(kErrNoCurrentRecord, kNoCurrentRecordText);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Connection strings

std::vector<std::pair<std::string, std::string>> parseConnectionString(std::string_view text)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto equals = text.find('=', at);
        const auto semicolon = text.find(';', at);
        if (equals == std::string_view::npos || (semicolon != std::string_view::npos && semicolon < equals)) {
            // A part without '=' is an error unless it is blank.
            const auto end = semicolon == std::string_view::npos ? text.size() : semicolon;
            if (!trim(text.substr(at, end - at)).empty())
                raise(kErrBadConnectionString,
                      "Format of the initialization string does not conform to the OLE DB rules.");
            at = end + 1;
            continue;
        }
        std::string key(trim(text.substr(at, equals - at)));
        std::size_t valueStart = equals + 1;
        while (valueStart < text.size() && (text[valueStart] == ' ' || text[valueStart] == '\t'))
            ++valueStart;
        std::string value;
        std::size_t next;
        if (valueStart < text.size() && (text[valueStart] == '"' || text[valueStart] == '\'')) {
            // A quoted value keeps its blanks and semicolons; a doubled quote stands for one.
            const char quote = text[valueStart];
            std::size_t i = valueStart + 1;
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == quote) {
                    if (i + 1 < text.size() && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                value += text[i++];
            }
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                ++i;
            if (!closed || (i < text.size() && text[i] != ';'))
                raise(kErrBadConnectionString,
                      "Format of the initialization string does not conform to the OLE DB rules.");
            next = i + 1;
        } else {
            const auto end = semicolon == std::string_view::npos ? text.size() : semicolon;
            value = std::string(trim(text.substr(valueStart, end - valueStart)));
            next = end + 1;
        }
        if (key.empty())
            raise(kErrBadConnectionString,
                  "Format of the initialization string does not conform to the OLE DB rules.");
        pairs.emplace_back(std::move(key), std::move(value));
        at = next;
    }
    return pairs;
}

// ---------------------------------------------------------------------------------------
// Connection

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::Open(std::string_view connectionText, std::string_view /*userId*/, std::string_view /*password*/,
                      long /*options*/)
{
    // The user name and password name a workgroup account; the database password comes
    // from the connection string. Opening is always synchronous.
    if (database_)
        raise(kErrObjectOpen, "Operation is not allowed when the object is open.");
    if (!connectionText.empty())
        ConnectionString = std::string(connectionText);

    std::optional<std::string> provider, dataSource;
    std::string databasePassword;
    for (auto& [key, value] : parseConnectionString(ConnectionString)) {
        if (equalsIgnoringCase(key, "Provider"))
            provider = value;
        else if (equalsIgnoringCase(key, "Data Source"))
            dataSource = value;
        else if (equalsIgnoringCase(key, "Jet OLEDB:Database Password"))
            databasePassword = value;
        // Other keys (Persist Security Info, Mode, ...) change nothing for a read-only reader.
    }
    if (!provider || !equalsIgnoringCase(*provider, kProviderName))
        raise(kErrProviderNotFound, "Provider cannot be found. It may not be properly installed.");
    const std::string shownPath = dataSource.value_or(std::string());
    if (shownPath.empty())
        raise(kErrGeneral, "Could not find file ''.");
    const auto file = core::resolveInstallPath(shownPath);
    database_ = Database::open(file.string(), databasePassword, shownPath);
}

int Connection::State() const
{
    return database_ ? adStateOpen : adStateClosed;
}

void Connection::Close()
{
    if (!database_)
        raiseClosed();
    database_.reset();
}

std::shared_ptr<Database> Connection::database() const
{
    if (!database_)
        raiseClosed();
    return database_;
}

// ---------------------------------------------------------------------------------------
// Recordset

struct Recordset::State_ {
    std::shared_ptr<Database> database;  // kept alive while the recordset is open
    std::unique_ptr<RowCursor> cursor;
    std::vector<std::size_t> columns;  // table column of each field
    std::vector<std::string> names;    // each field's name as the table spells it
    std::vector<bool> binary;
    bool eof = true;
    long position = 0;
};

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::Open()
{
    if (state_)
        raise(kErrObjectOpen, "Operation is not allowed when the object is open.");
    if (!ActiveConnection || ActiveConnection->State() != adStateOpen)
        raise(kErrInvalidConnection,
              "The connection cannot be used to perform this operation. It is either closed or invalid in this "
              "context.");
    if (trim(Source).empty())
        raise(kErrNoCommand, "Command text was not set for the command object.");
    const SelectQuery query = parseSelect(Source);

    auto state = std::make_unique<State_>();
    state->database = ActiveConnection->database();
    auto table = state->database->findTable(query.table);
    if (!table)
        raise(kErrNoTable, "The Microsoft Jet database engine cannot find the input table or query '" + query.table +
                               "'.  Make sure it exists and that its name is spelled correctly.");
    if (query.allColumns) {
        for (std::size_t i = 0; i < table->columns.size(); ++i)
            state->columns.push_back(i);
    } else {
        for (const auto& name : query.columns) {
            const Column* column = table->findColumn(name);
            if (!column)
                raise(kErrUnknownColumn, "No value given for one or more required parameters.");
            state->columns.push_back(static_cast<std::size_t>(column - table->columns.data()));
        }
    }
    for (std::size_t column : state->columns) {
        state->names.push_back(table->columns[column].name);
        state->binary.push_back(table->columns[column].isBinary());
    }
    state->cursor = std::make_unique<RowCursor>(state->database, table);
    state->eof = !state->cursor->next();
    state_ = std::move(state);
}

void Recordset::Close()
{
    if (!state_)
        raiseClosed();
    state_.reset();
}

int Recordset::State() const
{
    return state_ ? adStateOpen : adStateClosed;
}

void Recordset::MoveFirst()
{
    if (!state_)
        raiseClosed();
    // A forward-only cursor rewinds by walking the table again from its first page.
    state_->cursor->rewind();
    state_->position = 0;
    state_->eof = !state_->cursor->next();
    if (state_->eof)
        raiseNoCurrentRecord();  // an empty recordset has no first record
}

void Recordset::Move(long count)
{
    if (!state_)
        raiseClosed();
    if (count < 0)
        raise(kErrCantFetchBackwards, "Rowset does not support fetching backward.");
    if (state_->eof)
        raiseNoCurrentRecord();
    for (long i = 0; i < count; ++i) {
        if (!state_->cursor->next()) {
            state_->eof = true;
            break;
        }
        ++state_->position;
    }
}

void Recordset::MoveNext()
{
    if (!state_)
        raiseClosed();
    if (state_->eof)
        raiseNoCurrentRecord();
    if (state_->cursor->next())
        ++state_->position;
    else
        state_->eof = true;
}

bool Recordset::Eof() const
{
    if (!state_)
        raiseClosed();
    return state_->eof;
}

std::size_t Recordset::fieldCount() const
{
    if (!state_)
        raiseClosed();
    return state_->columns.size();
}

Field Recordset::Fields(std::size_t index) const
{
    if (!state_)
        raiseClosed();
    if (index >= state_->columns.size())
        raise(kErrItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    if (state_->eof)
        raiseNoCurrentRecord();
    return Field(this, index);
}

Field Recordset::Fields(std::string_view name) const
{
    if (!state_)
        raiseClosed();
    for (std::size_t i = 0; i < state_->names.size(); ++i)
        if (equalsIgnoringCase(state_->names[i], name))
            return Fields(i);
    raise(kErrItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

long Recordset::position() const
{
    if (!state_)
        raiseClosed();
    return state_->position;
}

// ---------------------------------------------------------------------------------------
// Field: reads the recordset's current record at the time of the call.

const Row& Recordset::currentRow(std::size_t field, std::size_t& column) const
{
    if (!state_)
        raiseClosed();
    if (state_->eof)
        raiseNoCurrentRecord();
    column = state_->columns.at(field);
    return state_->cursor->row();
}

Bytes Field::Value() const
{
    std::size_t column = 0;
    const Row& row = recordset_->currentRow(column_, column);
    return row.bytes(column);
}

bool Field::isNull() const
{
    std::size_t column = 0;
    const Row& row = recordset_->currentRow(column_, column);
    return row.isNull(column);
}

bool Field::isBinary() const
{
    if (!recordset_->state_)
        raiseClosed();
    return recordset_->state_->binary.at(column_);
}

std::string Field::text() const
{
    std::size_t column = 0;
    const Row& row = recordset_->currentRow(column_, column);
    return row.text(column);
}

const std::string& Field::name() const
{
    if (!recordset_->state_)
        raiseClosed();
    return recordset_->state_->names.at(column_);
}

}  // namespace jet
