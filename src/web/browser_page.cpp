#include "web/browser_page.h"

#include "web/install_scheme.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QWebEngineCertificateError>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>

namespace web {
namespace {

// The engine asks whether to leave a page with a beforeunload handler through
// javaScriptConfirm, with this text.
QString leavePageQuestion()
{
    return QCoreApplication::translate(
        "QWebEnginePage", "Are you sure you want to leave this page? Changes that you made may not be saved.");
}

}  // namespace

BrowserPage::BrowserPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent)
{
    // An unanswered log-in leaves the authenticator empty, which cancels it.
    connect(this, &QWebEnginePage::authenticationRequired, this, [this](const QUrl&, QAuthenticator* auth) {
        if (silent_)
            *auth = QAuthenticator();
    });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl&, QAuthenticator* auth, const QString&) {
                if (silent_)
                    *auth = QAuthenticator();
            });
    connect(this, &QWebEnginePage::certificateError, this, [this](QWebEngineCertificateError error) {
        if (silent_)
            error.rejectCertificate();
    });
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl& origin, QWebEnginePage::Feature feature) {
                if (silent_)
                    setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
            });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this, [this](QWebEngineFileSystemAccessRequest request) {
        if (silent_)
            request.reject();
    });
    connect(this, &QWebEnginePage::quotaRequested, this, [this](QWebEngineQuotaRequest request) {
        if (silent_)
            request.reject();
    });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [this](QWebEngineRegisterProtocolHandlerRequest request) {
                if (silent_)
                    request.reject();
            });
}

bool BrowserPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (!pageMayRequest(url))
        return false;
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

void BrowserPage::javaScriptAlert(const QUrl& securityOrigin, const QString& msg)
{
    if (!silent_)
        QWebEnginePage::javaScriptAlert(securityOrigin, msg);
}

bool BrowserPage::javaScriptConfirm(const QUrl& securityOrigin, const QString& msg)
{
    if (!silent_)
        return QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
    // Unasked, a page may always be left; any other question is declined.
    return msg == leavePageQuestion();
}

bool BrowserPage::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                                   QString* result)
{
    if (!silent_)
        return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
    return false;
}

void BrowserPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                           int lineNumber, const QString& sourceID)
{
    if (!silent_)
        QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}

QStringList BrowserPage::chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                                     const QStringList& acceptedMimeTypes)
{
    if (silent_)
        return {};
    return QWebEnginePage::chooseFiles(mode, oldFiles, acceptedMimeTypes);
}

}  // namespace web
