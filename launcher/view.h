// The news view: the built-in waiting page, then the update server's news page without history
// or cache, the built-in failure page when the news page cannot be had, and every other address
// handed to the user's default browser.
#pragma once

#include <QTimer>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <QWebEngineView>
#include <functional>

#include "platform/types.h"

class QWebEngineProfile;

class CVarnholtLauncherView : public QWebEngineView {
    Q_OBJECT
public:
    explicit CVarnholtLauncherView(QWidget* pParent);
    ~CVarnholtLauncherView() override;

    // Shows the waiting page and starts loading the news page.
    void OnInitialUpdate();

    // Where addresses that leave the launcher go; the user's default browser unless replaced.
    static std::function<void(const QUrl&)>& ExternalBrowser();
    // The news page's address, put together from the server base as configured.
    static QString NewsAddress();
    // How long the news server may take to answer before the failure page shows.
    static constexpr int kNewsTimeoutMs = 30000;

    // TRUE lets the navigation go on; anything but res:// and the news page goes to the default
    // browser and the view stays where it is.
    BOOL OnBeforeNavigate2(const QUrl& url);
    void OnNavigateError(const QUrl& url);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    void LoadFromResource(UINT nId);
    void RefreshBackgroundColor();
    void NavigateToNews();
    void OnLoadingChanged(const QWebEngineLoadingInfo& info);
    void OnNewsTimeout();

    QWebEngineProfile* m_pProfile;
    QTimer m_newsTimeout;
    bool m_bNewsRequested = false;
    bool m_bNewsPending = false;
};

// Case-insensitive whole-text comparison, as addresses are compared here.
bool IsSameAddress(const QString& left, const QString& right);
