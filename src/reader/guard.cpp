#include "reader/guard.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "core/error.h"

namespace reader {
namespace {

std::function<void(const ErrorReport&)>& customHandler()
{
    static std::function<void(const ErrorReport&)> handler;
    return handler;
}

int automationTimeoutMs()
{
    const char* value = std::getenv("TALVORIN_REPORT_TIMEOUT_MS");
    if (!value)
        return 0;
    char* end = nullptr;
    const long ms = std::strtol(value, &end, 10);
    return (end != value && ms > 0 && ms < 600000) ? static_cast<int>(ms) : 0;
}

[[noreturn]] void endWithReport(const ErrorReport& report)
{
    std::fprintf(stderr, "%s\n", report.line().c_str());
    std::fflush(stderr);
    if (QApplication::instance())
        showMessageBox("Talvorin", "Run-time error " + std::to_string(report.number) + "\n\n" + report.description);
    std::fflush(nullptr);
    // At once, as the runtime ends a program after an unhandled error: no unload runs.
    std::_Exit(kUnhandledErrorExitStatus);
}

void reportUnhandled(const ErrorReport& report)
{
    if (customHandler())
        customHandler()(report);
    else
        endWithReport(report);
}

}  // namespace

std::string ErrorReport::line() const
{
    return "Run-time error " + std::to_string(number) + ": " + description;
}

void guarded(const std::function<void()>& handler) noexcept
{
    try {
        handler();
    } catch (const core::RuntimeError& error) {
        reportUnhandled({error.number(), error.description()});
    } catch (const std::bad_alloc&) {
        reportUnhandled({7, "Out of memory"});
    } catch (const std::exception& error) {
        reportUnhandled({51, std::string("Internal error: ") + error.what()});
    } catch (...) {
        reportUnhandled({51, "Internal error"});
    }
}

void setUnhandledErrorHandler(std::function<void(const ErrorReport&)> handler)
{
    customHandler() = std::move(handler);
}

void showMessageBox(const std::string& title, const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok);
    if (const int ms = automationTimeoutMs())
        QTimer::singleShot(ms, &box, &QMessageBox::accept);
    box.exec();
}

}  // namespace reader
