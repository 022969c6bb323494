#pragma once
// The commands of `chapterstore`. Each returns the exit status; failures are thrown as
// exceptions that main() reports on stderr.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace chapterstore {

struct Arguments {
    std::vector<std::string> positional;  // after the command name
    std::optional<std::string> password;
    std::optional<std::string> table;
    std::optional<std::string> column;
    std::optional<std::string> out;
};

// Wrong use of the command line; main() prints the usage with it.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

int runPack(const Arguments& args);
int runList(const Arguments& args);
int runExtract(const Arguments& args);

}  // namespace chapterstore
