// `list` and `extract`: reading a store through the database objects the reader uses.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "atomic_file.h"
#include "commands.h"
#include "jet/ado.h"
#include "core/sha256.h"

namespace chapterstore {
namespace {

// A value of the connection string, quoted when it holds a separator, a quote or outer
// blanks. The connection string has no escape for a value with both kinds of quote.
std::string connectionValue(const std::string& value, const char* what)
{
    const bool hasDouble = value.find('"') != std::string::npos;
    const bool hasSingle = value.find('\'') != std::string::npos;
    const bool plain = value.find(';') == std::string::npos && !hasDouble && !hasSingle &&
                       (value.empty() || (value.front() != ' ' && value.back() != ' '));
    if (plain) return value;
    if (!hasDouble) return '"' + value + '"';
    if (!hasSingle) return '\'' + value + '\'';
    throw std::runtime_error(std::string("the ") + what + " cannot hold both kinds of quote mark");
}

// A table or column name in the query: bracketed unless it is a plain word.
std::string queryName(const std::string& name)
{
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return "[" + name + "]";
    return name;
}

std::shared_ptr<jet::Connection> openStore(const std::string& path, const std::string& password)
{
    auto connection = std::make_shared<jet::Connection>();
    connection->ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + connectionValue(path, "store path") +
                                   ";Jet OLEDB:Database Password=" + connectionValue(password, "password");
    connection->Open();
    return connection;
}

std::unique_ptr<jet::Recordset> openColumn(const std::shared_ptr<jet::Connection>& connection,
                                           const std::string& table, const std::string& column)
{
    auto recordset = std::make_unique<jet::Recordset>();
    recordset->ActiveConnection = connection;
    recordset->Source = "select " + queryName(column) + " from " + queryName(table);
    recordset->Open();
    return recordset;
}

// Text on one line: backslash and control characters written as C escapes.
std::string escapedText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (u < 0x20 || u == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02x", u);
            out += buffer;
        } else out += c;
    }
    return out;
}

class RecordError : public std::runtime_error {
public:
    RecordError(long record, const std::string& reason)
        : std::runtime_error("record " + std::to_string(record) + ": " + reason) {}
};

std::string describe(const std::exception& error)
{
    if (const auto* runtime = dynamic_cast<const core::RuntimeError*>(&error))
        return runtime->description() + " (error " + std::to_string(runtime->number()) + ")";
    return error.what();
}

}  // namespace

int runList(const Arguments& args)
{
    if (args.positional.size() != 1) throw UsageError("list needs exactly one STORE");
    const auto connection = openStore(args.positional[0], args.password.value_or(""));
    const auto recordset = openColumn(connection, args.table.value_or("b1"), args.column.value_or("m1"));
    std::string out;
    for (long record = 1; !recordset->Eof(); ++record) {
        std::string line = std::to_string(record) + "\t";
        try {
            const jet::Field field = recordset->Fields(std::size_t{0});
            if (field.isNull()) line += "NULL";
            else if (field.isBinary()) {
                const jet::Bytes bytes = field.Value();
                line += std::to_string(bytes.size()) + "\t" + core::sha256Hex(bytes);
            } else line += escapedText(field.text());
        } catch (const std::exception& error) {
            throw RecordError(record, describe(error));
        }
        out += line + "\n";
        recordset->MoveNext();
    }
    // Nothing is printed unless every record could be read.
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0) throw FileError("cannot write the list to standard output");
    return 0;
}

int runExtract(const Arguments& args)
{
    if (args.positional.size() != 1) throw UsageError("extract needs exactly one STORE");
    if (!args.password) throw UsageError("extract needs --password (an empty one is allowed)");
    if (!args.out) throw UsageError("extract needs --out DIR");
    const auto connection = openStore(args.positional[0], *args.password);
    const auto recordset = openColumn(connection, args.table.value_or("b1"), args.column.value_or("m1"));

    // Count first (moving never reads a value) so that every name has the same width.
    long count = 0;
    for (; !recordset->Eof(); recordset->MoveNext()) ++count;
    if (count > 0) recordset->MoveFirst();
    const int width = std::max<int>(4, static_cast<int>(std::to_string(count).size()));

    const std::filesystem::path folder(*args.out);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw FileError("cannot create " + folder.string() + ": " + error.message());

    for (long record = 1; record <= count; ++record) {
        try {
            const jet::Bytes bytes = recordset->Fields(std::size_t{0}).Value();
            std::string name = std::to_string(record);
            name.insert(0, static_cast<std::size_t>(width) - name.size(), '0');
            AtomicFile file(folder / (name + ".bin"));
            file.write(bytes);
            file.commit();
        } catch (const std::exception& error) {
            throw RecordError(record, describe(error));
        }
        if (record < count) recordset->MoveNext();
    }
    return 0;
}

}  // namespace chapterstore
