#include "web/web_browser.h"

#include "core/install_path.h"

#include <QVBoxLayout>
#include <QWebEngineView>

namespace web {

void registerSchemes() {}

namespace {
QWebEngineView* viewOf(QWidget* w) { return w->findChild<QWebEngineView*>(); }
bool silentFlag = false;
}  // namespace

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new QWebEngineView(this);
    layout->addWidget(view);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(view);
    connect(view, &QWebEngineView::loadFinished, this, &WebBrowser::loadFinished);
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::Navigate(const QString& url)
{
    const QUrl parsed(url);
    if (parsed.scheme() == "http" || parsed.scheme() == "https")
        viewOf(this)->load(parsed);
    else
        viewOf(this)->load(QUrl::fromLocalFile(
            QString::fromStdString(core::resolveInstallPath(url.toStdString()).string())));
}

void WebBrowser::setSilent(bool silent) { silentFlag = silent; }
bool WebBrowser::silent() const { return silentFlag; }
QUrl WebBrowser::currentUrl() const { return viewOf(const_cast<WebBrowser*>(this))->url(); }

}  // namespace web
