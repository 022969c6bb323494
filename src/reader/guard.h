#pragma once
// The top-level guard. The start-up and every event handler of the reader run inside it. An
// error that nothing else handles is reported as "Run-time error N" with its description, in a
// message box and on stderr, and the program ends with a non-zero exit status.
//
// Automation: when the environment variable TALVORIN_REPORT_TIMEOUT_MS holds a positive
// number, every message box of the program closes itself after that many milliseconds (for
// tests that run the real program without a person at the screen). Nothing else changes.
#include <functional>
#include <string>

namespace reader {

inline constexpr int kUnhandledErrorExitStatus = 1;

struct ErrorReport {
    long number;
    std::string description;
    // "Run-time error N: description", the line written to stderr.
    std::string line() const;
};

// Runs `handler`; an exception that escapes it is reported and ends the program.
void guarded(const std::function<void()>& handler) noexcept;

// Tests replace the ending (box, stderr, exit) to watch what would be reported; an empty
// function restores it.
void setUnhandledErrorHandler(std::function<void(const ErrorReport&)> handler);

// A modal message box with an exclamation icon and one OK button, honouring the automation
// switch above.
void showMessageBox(const std::string& title, const std::string& text);

}  // namespace reader
