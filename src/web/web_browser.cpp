#include "web/web_browser.h"

#include "core/install_path.h"
#include "web/browser_page.h"
#include "web/install_scheme.h"

#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

namespace web {
namespace {

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return ((scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty()) ||
           url == QUrl(QStringLiteral("about:blank"));
}

}  // namespace

void registerSchemes()
{
    QWebEngineUrlScheme scheme(kInstallScheme);
    // Host syntax makes the scheme hierarchical: relative references and ".." resolve
    // as on the web. Local: web pages cannot reach into the installation. Not secure, so
    // that a page's http pictures, styles and scripts load as they always did, not blocked
    // as mixed content.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

WebBrowser::WebBrowser(QWidget* parent)
    : QWidget(parent),
      // Off the record: no disk cache or cookies kept; the book's pages are never cached.
      profile_(std::make_unique<QWebEngineProfile>()),
      page_(std::make_unique<BrowserPage>(profile_.get())),
      view_(std::make_unique<QWebEngineView>(this))
{
    profile_->installUrlSchemeHandler(kInstallScheme, new InstallSchemeHandler(profile_.get()));
    page_->setUrlRequestInterceptor(new FrameRequestMarker(page_.get()));
    // The reader moves the focus itself after every navigation; a page must not take it.
    page_->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    // The book's pages reach the web as they did in the original control (pictures, styles,
    // scripts from http); what they may not reach is this machine's files (FrameRequestMarker).
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    connect(profile_.get(), &QWebEngineProfile::downloadRequested, this, [this](QWebEngineDownloadRequest* download) {
        if (silent())
            download->cancel();
    });
    connect(page_.get(), &QWebEnginePage::loadFinished, this, &WebBrowser::loadFinished);

    view_->setPage(page_.get());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_.get());
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(view_.get());
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::Navigate(const QString& url)
{
    const QUrl asWebAddress(url.trimmed(), QUrl::StrictMode);
    currentUrl_ = isWebAddress(asWebAddress) ? asWebAddress : urlForInstallPath(url, core::applicationFolder());
    page_->load(currentUrl_);
}

void WebBrowser::setSilent(bool silent) { page_->setSilent(silent); }

bool WebBrowser::silent() const { return page_->silent(); }

QUrl WebBrowser::currentUrl() const { return currentUrl_; }

}  // namespace web
