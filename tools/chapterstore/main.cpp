// chapterstore: makes and checks chapter stores, the password-protected Jet 4 files
// whose table b1 holds one chapter page per record in its long-binary column m1.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "commands.h"
#include "core/error.h"

namespace {

constexpr std::string_view kUsage =
    "Usage:\n"
    "  chapterstore pack OUT --password PW FILE...\n"
    "      Writes a new store OUT: table b1 with the long-binary column m1, one record per\n"
    "      FILE in the order given, each stored whole (0 to 16777215 bytes), protected by\n"
    "      the database password PW (up to 20 characters; \"\" for none). OUT appears only\n"
    "      when it is complete; an existing OUT is replaced.\n"
    "  chapterstore list STORE [--password PW] [--table T --column C]\n"
    "      One line per record, in the order the query returns them: the record number,\n"
    "      then for a binary column its length and SHA-256 in hex, for a text column its\n"
    "      text in UTF-8 (backslash and control characters escaped as \\\\, \\n, \\t, \\xNN),\n"
    "      or NULL. Fields are separated by tabs. Defaults: table b1, column m1.\n"
    "  chapterstore extract STORE --password PW --out DIR [--table T --column C]\n"
    "      Writes each record's bytes to its own file in DIR (created if missing), named\n"
    "      by record number with at least four digits (0001.bin, 0002.bin, ...), so that\n"
    "      the names sort in record order. Each file appears only when complete.\n"
    "\n"
    "Errors go to standard error and the exit status is not 0: 1 for a failure, 2 for a\n"
    "wrong command line. A command that fails never reports a partial result as done.\n";

int usageError(const std::string& message)
{
    std::cerr << "chapterstore: " << message << "\n\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace chapterstore;
    if (argc < 2) return usageError("no command given");
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }

    Arguments args;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg.substr(0, 2) != "--") {
            args.positional.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        std::string name(arg.substr(2));
        std::optional<std::string> value;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        }
        std::optional<std::string>* slot = name == "password" ? &args.password
                                           : name == "table"  ? &args.table
                                           : name == "column" ? &args.column
                                           : name == "out"    ? &args.out
                                                              : nullptr;
        if (!slot) return usageError("unknown option --" + name);
        if (!value) return usageError("option --" + name + " needs a value");
        if (*slot) return usageError("option --" + name + " given twice");
        *slot = std::move(value);
    }
    if (args.table.has_value() != args.column.has_value() && command != "pack")
        return usageError("--table and --column go together");

    try {
        if (command == "pack") return runPack(args);
        if (command == "list") return runList(args);
        if (command == "extract") return runExtract(args);
        return usageError("unknown command " + std::string(command));
    } catch (const UsageError& error) {
        return usageError(error.what());
    } catch (const core::RuntimeError& error) {
        std::cerr << "chapterstore: " << error.description() << " (error " << error.number() << ")\n";
    } catch (const std::exception& error) {
        std::cerr << "chapterstore: " << error.what() << "\n";
    }
    return 1;
}
