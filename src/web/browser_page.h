#pragma once
// The page behind WebBrowser: while silent it answers every question a page would put to
// the user (alerts, confirmations, prompts, log-ins, certificates, file pickers,
// permissions, leaving the page) itself, without showing anything. Silent or not, it goes
// nowhere a page may not request (file: and the like, see pageMayRequest).
#include <QWebEnginePage>

namespace web {

class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit BrowserPage(QWebEngineProfile* profile, QObject* parent = nullptr);

    void setSilent(bool silent) { silent_ = silent; }
    bool silent() const { return silent_; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    bool silent_ = false;
};

}  // namespace web
