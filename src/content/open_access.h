#pragma once
// Opening the chapter store: the connection text and the open sequence of the data module.
// Free of Qt; the data module supplies the failure box.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "jet/ado.h"

namespace content {

// The text returned when this call opened the connection.
inline constexpr std::string_view kConnectionOpened = "数据库连接成功";

// "Provider=...;Data Source=<folder>\res\chapter\qvd.dll ;Jet OLEDB:Database Password=..."
// The blank before the semicolon is part of the installation's connection text; the
// provider trims it from the data source.
std::string connectionText(std::string_view applicationFolder);

// Creates `adocnaccess` when empty; returns "" when it is open already; otherwise sets the
// connection text and a 5-second time-out, opens it synchronously and returns
// kConnectionOpened. An error of the provider propagates. When Open returns without an error
// but the connection is still not open, `connectionFailed` runs (it ends the program) and ""
// is returned should it ever come back.
std::string OpenAccess(std::shared_ptr<jet::Connection>& adocnaccess,
                       const std::function<void()>& connectionFailed);

}  // namespace content
