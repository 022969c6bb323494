#include "commands/commands.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "core/install_path.h"
#include "core/regular_file.h"

namespace commands {

std::string toLocal8Bit(std::string_view utf8Path)
{
    const char* codeset = nl_langinfo(CODESET);
    iconv_t converter = iconv_open(codeset, "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::string(utf8Path);

    std::string out;
    std::vector<char> buffer(4 * utf8Path.size() + 16);
    char* in = const_cast<char*>(utf8Path.data());
    std::size_t inLeft = utf8Path.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), static_cast<std::size_t>(outPtr - buffer.data()));
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // Not representable (or not valid UTF-8): one '?' for the whole character.
        out.push_back('?');
        std::size_t skip = 1;
        const auto lead = static_cast<unsigned char>(*in);
        if (lead >= 0xF0)
            skip = 4;
        else if (lead >= 0xE0)
            skip = 3;
        else if (lead >= 0xC0)
            skip = 2;
        skip = std::min(skip, inLeft);
        in += skip;
        inLeft -= skip;
    }
    iconv_close(converter);
    return out;
}

bool shellExecute(const std::string& localPath)
{
    const QString path = QFile::decodeName(QByteArray::fromStdString(localPath));
    const QFileInfo info(path);
    if (!core::isRegularFile(localPath))  // never a FIFO, device or folder
        return false;
    if (info.isExecutable())
        return QProcess::startDetached(path, {});
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void Help(navigation::ReaderWindow& form)
{
    const std::string path = core::applicationFolder() + std::string(kHelpProgram);
    const std::string resolved = core::resolveInstallPath(path).string();
    shellExecute(toLocal8Bit(resolved));  // the result is not looked at
    form.parkFocusOnText1();
}

void Exit()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

void WebLink(navigation::ReaderWindow& form)
{
    form.currentPage() = std::string(kPublisherPage);
    form.navigateWebBrowser1(form.currentPage());
}

}  // namespace commands
