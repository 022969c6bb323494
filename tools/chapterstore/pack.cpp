#include <cerrno>
#include <cstring>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "commands.h"
#include "jetwriter.h"

namespace chapterstore {
namespace {

std::vector<std::uint8_t> readRecordFile(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error) throw FileError("cannot read " + path + ": " + error.message());
    if (!std::filesystem::is_regular_file(status)) throw FileError("cannot read " + path + ": not a regular file");
    const auto size = std::filesystem::file_size(path, error);
    if (error) throw FileError("cannot read " + path + ": " + error.message());
    if (size > jetwriter::kMaxValueSize)
        throw FileError(path + " has " + std::to_string(size) +
                        " bytes; a store holds at most 16777215 bytes per record");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError("cannot read " + path + ": " + std::strerror(errno));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    // A file that changed size while we read it would be stored cut short or without its end.
    if (in.gcount() != static_cast<std::streamsize>(bytes.size()) || in.peek() != std::ifstream::traits_type::eof())
        throw FileError("cannot read " + path + ": the file changed while it was read");
    return bytes;
}

}  // namespace

int runPack(const Arguments& args)
{
    if (args.positional.size() < 2) throw UsageError("pack needs OUT and at least one FILE");
    if (!args.password) throw UsageError("pack needs --password (an empty one is allowed)");
    if (args.table || args.column) throw UsageError("pack always writes table b1 with column m1");
    const std::string& out = args.positional[0];

    std::vector<std::vector<std::uint8_t>> contents;
    for (std::size_t i = 1; i < args.positional.size(); ++i) contents.push_back(readRecordFile(args.positional[i]));

    jetwriter::StorePlan plan;
    plan.password = *args.password;
    plan.creationDate = jetwriter::oleDateNow();
    for (const auto& bytes : contents) plan.records.emplace_back(bytes);

    // The writer checks everything before it hands out the first page, so a store that
    // cannot be made fails before any file is created.
    std::optional<AtomicFile> file;
    jetwriter::writeStore(plan, [&](std::span<const std::uint8_t> page) {
        if (!file) file.emplace(out);
        file->write(page);
    });
    file->commit();
    return 0;
}

}  // namespace chapterstore
