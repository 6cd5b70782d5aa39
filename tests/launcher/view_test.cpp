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

// Counts the pixels of the view's picture that pass test. Where nothing is drawn yet, the
// window behind the view would show: magenta here, not a grab's light grey window background.
int CountPixels(CVarnholtLauncherView& view, bool (*test)(QRgb)) {
    QImage shown(view.size(), QImage::Format_RGB32);
    shown.fill(Qt::magenta);
    view.render(&shown, QPoint(), QRegion(), QWidget::DrawChildren);
    int count = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) count += test(shown.pixel(x, y));
    return count;
}

TEST_F(ViewTest, IsBlackFromItsFirstFrameUntilTheWaitingPageShows) {
    // The news server keeps the waiting page up.
    UpdateServer server;
    server.SetStalled(true);
    server.Start();
    view.OnInitialUpdate();
    QTest::qWait(1);  // the first frame is drawn from the event loop
    const auto white = [](QRgb p) { return qMin(qMin(qRed(p), qGreen(p)), qBlue(p)) > 225; };
    const auto grey = [](QRgb p) {
        return qMin(qMin(qRed(p), qGreen(p)), qBlue(p)) > 60 &&
               qMax(qMax(qRed(p), qGreen(p)), qBlue(p)) < 200;
    };
    int frames = 0, whiteFrames = 0;
    const bool bWaitingPageShown = QTest::qWaitFor(
        [&] {
            ++frames;
            whiteFrames += CountPixels(view, white) > 0;
            return CountPixels(view, grey) > 20;  // the grey "SEARCH NEWS SERVER ..."
        },
        10000);
    EXPECT_TRUE(bWaitingPageShown);
    EXPECT_EQ(whiteFrames, 0) << "of " << frames << " frames";
    server.SetStalled(false);
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
