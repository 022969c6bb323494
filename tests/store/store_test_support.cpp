#include "store_test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "jet/ado.h"
#include "core/sha256.h"

extern char** environ;

namespace store_test {

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "store_test_XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    // A test may have made a folder read-only; give write access back so it can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        if (it->is_directory(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
}

Bytes randomBytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
    return bytes;
}

Bytes readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> folderEntries(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

ProcessResult run(const std::string& program, const std::vector<std::string>& args)
{
    TempFolder capture;
    const std::string outPath = capture / "out";
    const std::string errPath = capture / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawnError = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ProcessResult result;
    if (spawnError != 0) {
        result.err = "cannot start " + program;
        return result;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    const Bytes out = readFile(outPath);
    const Bytes err = readFile(errPath);
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    return result;
}

std::string chapterstoreTool() { return CHAPTERSTORE_EXE; }

namespace {
bool onPath(const std::string& program)
{
    return run("sh", {"-c", "command -v " + program}).exitCode == 0;
}
std::filesystem::path oracleScript() { return std::filesystem::path(ORACLE_DIR) / "dump-column.mjs"; }
}  // namespace

std::optional<std::string> mdbExportMissing()
{
    if (onPath("mdb-export")) return std::nullopt;
    return "mdb-export (Debian package mdbtools) is not installed";
}

std::optional<std::string> mdbReaderMissing()
{
    if (!onPath("node")) return "node is not installed";
    if (!std::filesystem::exists(std::filesystem::path(ORACLE_DIR) / "node_modules" / "mdb-reader"))
        return "mdb-reader is not installed (run npm ci in tests/oracle)";
    return std::nullopt;
}

Column readWithEngine(const std::filesystem::path& store, const std::string& password, const std::string& table,
                      const std::string& column)
{
    auto connection = std::make_shared<jet::Connection>();
    connection->ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + store.string() +
                                   ";Jet OLEDB:Database Password=" + password;
    connection->Open();
    jet::Recordset recordset;
    recordset.ActiveConnection = connection;
    recordset.Source = "select " + column + " from " + table;
    recordset.Open();
    Column values;
    for (; !recordset.Eof(); recordset.MoveNext()) {
        const jet::Field field = recordset.Fields(column);
        if (field.isNull()) values.emplace_back();
        else values.emplace_back(field.Value());
    }
    return values;
}

// mdb-export quotes every binary value ("" inside stands for one quote mark) and writes
// nothing for a null one; rows end with a newline.
Column readWithMdbExport(const std::filesystem::path& store, const std::string& table)
{
    const ProcessResult result = run("mdb-export", {"-H", "-b", "raw", store.string(), table});
    if (result.exitCode != 0) throw std::runtime_error("mdb-export failed: " + result.err);
    const std::string& out = result.out;
    Column values;
    std::size_t at = 0;
    while (at < out.size()) {
        if (out[at] == '\n') {
            values.emplace_back();
            ++at;
            continue;
        }
        if (out[at] != '"') throw std::runtime_error("unexpected mdb-export output");
        ++at;
        Bytes value;
        for (;;) {
            if (at >= out.size()) throw std::runtime_error("mdb-export output ends inside a value");
            if (out[at] == '"') {
                if (at + 1 < out.size() && out[at + 1] == '"') {
                    value.push_back('"');
                    at += 2;
                    continue;
                }
                ++at;
                break;
            }
            value.push_back(static_cast<std::uint8_t>(out[at++]));
        }
        if (at >= out.size() || out[at] != '\n') throw std::runtime_error("unexpected mdb-export output");
        ++at;
        values.emplace_back(std::move(value));
    }
    return values;
}

ProcessResult listWithMdbReader(const std::filesystem::path& store, const std::string& password,
                                const std::string& table, const std::string& column)
{
    return run("node", {oracleScript().string(), store.string(), table, column, "--password", password});
}

std::string expectedListing(const std::vector<Bytes>& values)
{
    std::string listing;
    for (std::size_t i = 0; i < values.size(); ++i)
        listing += std::to_string(i + 1) + "\t" + std::to_string(values[i].size()) + "\t" +
                   core::sha256Hex(values[i]) + "\n";
    return listing;
}

jetwriter::StorePlan specOf(const std::vector<Bytes>& values, const std::string& password)
{
    jetwriter::StorePlan plan;
    plan.password = password;
    plan.creationDate = 45000.25;
    for (const auto& v : values) plan.records.emplace_back(v);
    return plan;
}

void writeStoreFile(const std::filesystem::path& path, const jetwriter::StorePlan& plan)
{
    writeFile(path, jetwriter::buildStore(plan));
}

}  // namespace store_test
