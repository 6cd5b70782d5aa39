// The news view: which addresses stay in it, and which page it ends on against a real server.
#include "launcher/view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <chrono>

#include "launcher/res_scheme.h"
#include "launcher/resource.h"
#include "platform/message_box.h"
#include "tests/support/update_server.h"

namespace {

using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousBrowser = CVarnholtLauncherView::ExternalBrowser();
        CVarnholtLauncherView::ExternalBrowser() = [this](const QUrl& url) {
            opened.push_back(url);
        };
        previousHook = SetMessageBoxHook([this](const CString& text, UINT) {
            boxes.push_back(text);
            return IDOK;
        });
        view.resize(628, 330);
        view.show();
    }
    void TearDown() override {
        CVarnholtLauncherView::ExternalBrowser() = previousBrowser;
        SetMessageBoxHook(previousHook);
    }
    // Waits until the view has finished loading url.
    bool WaitForPage(const QUrl& url, int timeoutMs) {
        return QTest::qWaitFor([&] { return view.url() == url && loaded.contains(url); },
                               timeoutMs);
    }
    // Whether a right click in the middle of the page opens a menu; the menu is closed again.
    bool RightClickOpensMenu() {
        QWidget* input = view.focusProxy();
        if (!input) return false;
        QTest::mouseClick(input, Qt::RightButton, Qt::NoModifier, input->rect().center());
        const bool shown = QTest::qWaitFor(
            [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
            2000);
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        return shown;
    }
    void TrackLoads() {
        QObject::connect(view.page(), &QWebEnginePage::loadingChanged,
                         [this](const QWebEngineLoadingInfo& info) {
                             if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
                                 loaded.append(info.url());
                         });
    }

    std::function<void(const QUrl&)> previousBrowser;
    MessageBoxHook previousHook;
    std::vector<QUrl> opened;
    std::vector<CString> boxes;
    QList<QUrl> loaded;
    CVarnholtLauncherView view{nullptr};
};

TEST_F(ViewTest, KeepsBuiltInPagesAndTheNewsPageAndHandsEverythingElseOut) {
    const QString news = CVarnholtLauncherView::NewsAddress();
    EXPECT_EQ(news, QStringLiteral("http://localhost:8080/news.html"));
    EXPECT_TRUE(view.OnBeforeNavigate2(QUrl(QStringLiteral("RES://launcher/136"))));
    EXPECT_TRUE(view.OnBeforeNavigate2(QUrl(news.toUpper())));
    EXPECT_TRUE(opened.empty());

    const QUrl elsewhere(QStringLiteral("http://example.org/forum?id=1"));
    EXPECT_FALSE(view.OnBeforeNavigate2(elsewhere));
    // Another page of the same server is not the news page either.
    EXPECT_FALSE(view.OnBeforeNavigate2(QUrl(QStringLiteral("http://localhost:8080/other.html"))));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], elsewhere);
}

TEST_F(ViewTest, ServerDownEndsOnTheFailurePage) {
    TrackLoads();
    view.OnInitialUpdate();
    EXPECT_TRUE(WaitForPage(CResSchemeHandler::PageUrl(IDR_HTML_NOT_RESPONDING), 20000));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ViewTest, NewsPageShowsAndItsLinksGoToTheDefaultBrowser) {
    UpdateServer server;
    server.Replies().SetNewsPage(
        "<html><body><a id=l href='http://example.org/story'>story</a>"
        "<a id=w href='http://example.org/shop' target=_blank>shop</a></body></html>");
    server.Start();
    TrackLoads();
    view.OnInitialUpdate();
    const QUrl news(CVarnholtLauncherView::NewsAddress());
    ASSERT_TRUE(WaitForPage(news, 20000));
    view.page()->runJavaScript(QStringLiteral("document.getElementById('l').click()"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.empty(); }, 5000));
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("http://example.org/story")));
    // A link that asks for a new window goes the same way.
    view.page()->runJavaScript(QStringLiteral("document.getElementById('w').click()"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.size() == 2; }, 5000));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("http://example.org/shop")));
    QTest::qWait(300);
    EXPECT_EQ(view.url(), news);
    EXPECT_FALSE(view.history()->canGoBack());
}

TEST_F(ViewTest, OnlyTheBuiltInPagesSuppressTheContextMenu) {
    UpdateServer server;
    server.Replies().SetNewsPage("<html><body><p>news</p></body></html>");
    server.Start();
    TrackLoads();
    const QUrl news(CVarnholtLauncherView::NewsAddress());
    view.load(news);
    ASSERT_TRUE(WaitForPage(news, 20000));
    EXPECT_TRUE(RightClickOpensMenu());
    for (UINT page : {IDR_HTML_SEARCHING, IDR_HTML_NOT_RESPONDING}) {
        const QUrl url = CResSchemeHandler::PageUrl(page);
        view.load(url);
        ASSERT_TRUE(WaitForPage(url, 20000));
        EXPECT_FALSE(RightClickOpensMenu()) << page;
    }
}

TEST_F(ViewTest, ErrorStatusCountsAsFailure) {
    UpdateServer server;
    server.Replies().SetReply("news.html", ServerReply::Bytes("<html>missing</html>", 404));
    server.Start();
    TrackLoads();
    view.OnInitialUpdate();
    EXPECT_TRUE(WaitForPage(CResSchemeHandler::PageUrl(IDR_HTML_NOT_RESPONDING), 20000));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ViewTest, ServerThatNeverAnswersGivesUpAfterThirtySeconds) {
    UpdateServer server;
    server.SetStalled(true);
    server.Start();
    TrackLoads();
    const auto start = std::chrono::steady_clock::now();
    view.OnInitialUpdate();
    ASSERT_TRUE(WaitForPage(CResSchemeHandler::PageUrl(IDR_HTML_NOT_RESPONDING), 45000));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::seconds(29));
    EXPECT_TRUE(boxes.empty());
    server.SetStalled(false);
}

}  // namespace
