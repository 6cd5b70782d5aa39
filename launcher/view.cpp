#include "launcher/view.h"

#include <QChildEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "launcher/res_scheme.h"
#include "launcher/resource.h"
#include "platform/platform.h"
#include "update/constants.h"

namespace {

// Routes the page's navigation requests through the view's rule.
class CLauncherPage : public QWebEnginePage {
public:
    CLauncherPage(QWebEngineProfile* pProfile, CVarnholtLauncherView* pView, bool bPopup = false)
        : QWebEnginePage(pProfile, pView), m_pView(pView), m_bPopup(bPopup) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (!m_bPopup) return m_pView->OnBeforeNavigate2(url);
        // A page asked for as a new window is shown nowhere: its address only goes through the
        // view's rule, so a link to another site ends in the default browser too.
        m_pView->OnBeforeNavigate2(url);
        deleteLater();
        return false;
    }
    QWebEnginePage* createWindow(WebWindowType) override {
        return new CLauncherPage(profile(), m_pView, true);
    }

private:
    CVarnholtLauncherView* m_pView;
    const bool m_bPopup;
};

bool IsBrowserShortcut(const QKeyEvent* event) {
    const auto modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const int key = event->key();
    return modifiers != Qt::NoModifier || (key >= Qt::Key_F1 && key <= Qt::Key_F35) ||
           key == Qt::Key_Back || key == Qt::Key_Forward || key == Qt::Key_Refresh ||
           key == Qt::Key_Reload || key == Qt::Key_Stop;
}

}  // namespace

bool IsSameAddress(const QString& left, const QString& right) {
    return left.compare(right, Qt::CaseInsensitive) == 0;
}

std::function<void(const QUrl&)>& CVarnholtLauncherView::ExternalBrowser() {
    static std::function<void(const QUrl&)> hook = [](const QUrl& url) {
        QDesktopServices::openUrl(url);
    };
    return hook;
}

QString CVarnholtLauncherView::NewsAddress() {
    const CString address = kServerUrl + kNewsPage;
    return QString::fromWCharArray(address.GetString(), address.GetLength());
}

CVarnholtLauncherView::CVarnholtLauncherView(QWidget* pParent)
    : QWebEngineView(pParent), m_pProfile(new QWebEngineProfile(this)) {
    // An off-the-record profile without cache: nothing of the news page is kept between runs.
    m_pProfile->setHttpCacheType(QWebEngineProfile::NoCache);
    m_pProfile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_pProfile->installUrlSchemeHandler(QByteArrayLiteral("res"), new CResSchemeHandler(this));
    setPage(new CLauncherPage(m_pProfile, this));
    setObjectName(QStringLiteral("news"));
    connect(page(), &QWebEnginePage::loadingChanged, this,
            &CVarnholtLauncherView::OnLoadingChanged);
    m_newsTimeout.setSingleShot(true);
    m_newsTimeout.setInterval(kNewsTimeoutMs);
    connect(&m_newsTimeout, &QTimer::timeout, this, &CVarnholtLauncherView::OnNewsTimeout);
}

CVarnholtLauncherView::~CVarnholtLauncherView() {
    // The page uses the profile; it must go first.
    delete page();
}

void CVarnholtLauncherView::OnInitialUpdate() {
    LoadFromResource(IDR_HTML_SEARCHING);
    m_bNewsRequested = true;
}

// The browser paints its background colour until a page has drawn itself, and between pages.
// For the built-in pages that is their own black, so the view never flashes white before
// them; a news page without a background of its own gets the browser's usual white.
void CVarnholtLauncherView::LoadFromResource(UINT nId) {
    page()->setBackgroundColor(Qt::black);
    load(CResSchemeHandler::PageUrl(nId));
}

void CVarnholtLauncherView::NavigateToNews() {
    m_bNewsPending = true;
    m_newsTimeout.start();
    page()->setBackgroundColor(Qt::white);
    load(QUrl(NewsAddress()));
}

BOOL CVarnholtLauncherView::OnBeforeNavigate2(const QUrl& url) {
    const QString address = url.toString();
    if (address.left(6).compare(QStringLiteral("res://"), Qt::CaseInsensitive) == 0) return TRUE;
    if (IsSameAddress(address, NewsAddress())) return TRUE;
    ExternalBrowser()(url);
    return FALSE;
}

void CVarnholtLauncherView::OnNavigateError(const QUrl& url) {
    if (IsSameAddress(url.toString(), NewsAddress())) {
        LoadFromResource(IDR_HTML_NOT_RESPONDING);
        return;
    }
    AfxMessageBox(L"Unknown URL detected", MB_ICONERROR);
}

void CVarnholtLauncherView::OnLoadingChanged(const QWebEngineLoadingInfo& info) {
    const bool bNews = IsSameAddress(info.url().toString(), NewsAddress());
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) return;
    if (bNews) {
        if (!m_bNewsPending) return;  // already given up on by the time-out
        m_bNewsPending = false;
        m_newsTimeout.stop();
    }
    // A server's error status counts as a failure even when it sends a page along. The news
    // page ending stopped (a download, say) counts too: the view must not stay on the waiting
    // page. Other stopped loads were replaced by a newer navigation of ours.
    const bool bStopped = info.status() == QWebEngineLoadingInfo::LoadStoppedStatus;
    const bool bFailed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus ||
                         (bNews && bStopped) ||
                         (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain &&
                          info.errorCode() >= 400);
    if (bFailed)
        OnNavigateError(info.url());
    else if (bNews && !bStopped)
        history()->clear();
    // The news page is asked for once the waiting page is up, so the player sees it meanwhile.
    if (m_bNewsRequested && !bNews) {
        m_bNewsRequested = false;
        NavigateToNews();
    }
}

void CVarnholtLauncherView::OnNewsTimeout() {
    if (!m_bNewsPending) return;
    m_bNewsPending = false;
    triggerPageAction(QWebEnginePage::Stop);
    LoadFromResource(IDR_HTML_NOT_RESPONDING);
}

void CVarnholtLauncherView::childEvent(QChildEvent* event) {
    QWebEngineView::childEvent(event);
    // The browser's input widget is made lazily; it gets the keyboard and mouse filter as it
    // comes.
    if (event->added() && event->child()->isWidgetType()) {
        event->child()->installEventFilter(this);
        // A new render widget starts out white: the page passes its background colour on only
        // to the widget it had when the colour was set.
        RefreshBackgroundColor();
    }
}

void CVarnholtLauncherView::RefreshBackgroundColor() {
    // The page ignores a colour that it already has, so it goes round by a neighbouring one.
    const QColor colour = page()->backgroundColor();
    page()->setBackgroundColor(QColor(colour.red() ^ 1, colour.green(), colour.blue()));
    page()->setBackgroundColor(colour);
}

bool CVarnholtLauncherView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            if (IsBrowserShortcut(static_cast<QKeyEvent*>(event))) return true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: {
            const auto button = static_cast<QMouseEvent*>(event)->button();
            if (button == Qt::BackButton || button == Qt::ForwardButton) return true;
            break;
        }
        case QEvent::Wheel:
            if (static_cast<QWheelEvent*>(event)->modifiers() & Qt::ControlModifier) return true;
            break;
        default:
            break;
    }
    return QWebEngineView::eventFilter(watched, event);
}
