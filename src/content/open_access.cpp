#include "content/open_access.h"

#include "core/install_path.h"

namespace content {

std::string connectionText(std::string_view applicationFolder)
{
    std::string text = "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source=";
    text += applicationFolder;
    text += "\\res\\chapter\\qvd.dll ;Jet OLEDB:Database Password=38pondwick71";
    return text;
}

std::string OpenAccess(std::shared_ptr<jet::Connection>& adocnaccess,
                       const std::function<void()>& connectionFailed)
{
    if (!adocnaccess)
        adocnaccess = std::make_shared<jet::Connection>();
    if (adocnaccess->State() == jet::adStateOpen)
        return {};
    adocnaccess->ConnectionString = connectionText(core::applicationFolder());
    adocnaccess->ConnectionTimeout = 5;
    adocnaccess->Open("", "", "", -1);
    if (adocnaccess->State() == jet::adStateOpen)
        return std::string(kConnectionOpened);
    connectionFailed();
    return {};
}

}  // namespace content
