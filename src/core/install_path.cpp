#include "install_path.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <system_error>
#include <unistd.h>

namespace core {
namespace {

std::mutex overrideMutex;
std::optional<std::string> folderOverride;

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The entry of `dir` named `name` without regard to case. When several entries differ only
// in case ("Chapter" and "chapter" on a case-sensitive disk), the smallest name wins
// whatever the spelling asked for, so that every spelling resolves to one folder.
std::optional<std::string> findEntry(const std::filesystem::path& dir, std::string_view name)
{
    std::error_code ec;
    std::optional<std::string> found;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (equalsIgnoringCase(entry, name) && (!found || entry < *found))
            found = entry;
    }
    if (!found && std::filesystem::exists(dir / std::string(name), ec))
        return std::string(name);  // a folder that may be entered but not listed
    return found;
}

}  // namespace

std::string applicationFolder()
{
    {
        std::lock_guard lock(overrideMutex);
        if (folderOverride)
            return *folderOverride;
    }
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path().string();
    return exe.parent_path().string();
}

void overrideApplicationFolder(std::optional<std::string> folder)
{
    std::lock_guard lock(overrideMutex);
    folderOverride = std::move(folder);
}

std::filesystem::path resolveInstallPath(std::string_view installPath)
{
    std::string native(installPath);
    std::replace(native.begin(), native.end(), '\\', '/');

    std::filesystem::path result = native.starts_with('/') ? std::filesystem::path("/") : std::filesystem::path();
    bool matching = true;
    std::string_view rest(native);
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            result /= "..";  // kept: confinement is checked by the caller that needs it
            continue;
        }
        if (matching) {
            const auto dir = result.empty() ? std::filesystem::path(".") : result;
            if (auto entry = findEntry(dir, part)) {
                result /= *entry;
                continue;
            }
            matching = false;
        }
        result /= std::string(part);
    }
    return result;
}

bool staysInsideFolder(std::string_view relativePath)
{
    if (relativePath.find('\0') != std::string_view::npos)
        return false;
    while (!relativePath.empty()) {
        const auto separator = relativePath.find_first_of("/\\");
        if (relativePath.substr(0, separator) == "..")
            return false;
        if (separator == std::string_view::npos)
            break;
        relativePath.remove_prefix(separator + 1);
    }
    return true;
}

bool isInsideFolder(const std::filesystem::path& file, const std::filesystem::path& folder)
{
    std::error_code ec;
    const auto root = std::filesystem::weakly_canonical(folder, ec);
    if (ec)
        return false;
    const auto target = std::filesystem::weakly_canonical(file, ec);
    if (ec)
        return false;
    auto r = root.begin();
    auto t = target.begin();
    for (; r != root.end(); ++r, ++t) {
        if (r->empty() && std::next(r) == root.end())
            break;  // trailing separator of the root
        if (t == target.end() || *r != *t)
            return false;
    }
    return true;
}

}  // namespace core
