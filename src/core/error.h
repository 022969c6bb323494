#pragma once
// Errors that platform objects raise (database, browser, movie, file system).
// Anything thrown as a RuntimeError and not caught ends the program through the
// top-level guard, which reports "Run-time error N" with the description.
#include <stdexcept>
#include <string>

namespace core {

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(long number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    long number() const noexcept { return number_; }
    std::string description() const { return what(); }

private:
    long number_;
};

// Error numbers the reader itself raises.
inline constexpr long kOverflow = 6;

}  // namespace core
