#pragma once
// WebBrowser: the page view of the reader window, on Qt WebEngine.
#include <QString>
#include <QUrl>
#include <QWidget>
#include <memory>

class QWebEngineProfile;
class QWebEngineView;

namespace web {

class BrowserPage;

// Registers the URL scheme that serves installation paths. Must run before the
// QApplication is created.
void registerSchemes();

class WebBrowser : public QWidget {
    Q_OBJECT
public:
    explicit WebBrowser(QWidget* parent = nullptr);
    ~WebBrowser() override;

    // An installation path as the reader forms it ("<folder>\res\1p.html"), or an absolute
    // web address ("http://..."). Returns at once; the page loads in the background.
    void Navigate(const QString& url);

    // Silent: the page shows no dialog of its own (alerts, prompts, authentication,
    // certificates, downloads, script errors).
    void setSilent(bool silent);
    bool silent() const;

    // For tests: the URL last navigated to, in the browser's own form.
    QUrl currentUrl() const;

signals:
    // For tests and benchmarks only; the reader handles no browser event.
    void loadFinished(bool ok);

private:
    // Destroyed in reverse order: the view before its page, the page before its profile.
    std::unique_ptr<QWebEngineProfile> profile_;
    std::unique_ptr<BrowserPage> page_;
    std::unique_ptr<QWebEngineView> view_;
    QUrl currentUrl_;
};

}  // namespace web
