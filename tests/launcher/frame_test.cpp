// The main frame's reading of the engine's status: texts, bar, play button, closing, the stop
// question and the failure box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "launcher/app.h"
#include "launcher/main_frame.h"
#include "launcher/message_box_qt.h"
#include "launcher/qt_text.h"
#include "launcher/resource.h"
#include "platform/locale.h"
#include "platform/message_box.h"
#include "platform/string_table.h"
#include "update/status.h"

namespace {

struct Box {
    CString text;
    UINT type;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        OverrideUserLanguage(UserLanguage::English);
        previousHook = SetMessageBoxHook([this](const CString& text, UINT type) {
            boxes.push_back({text, type});
            // A modal box runs its own event loop: let timers fire meanwhile.
            QTest::qWait(boxWaitMs);
            return answer;
        });
        SetStatus(0, 0);
        g_bStop = FALSE;
        g_nSpeed = 0;
        ASSERT_TRUE(frame.LoadFrame(IDR_MAINFRAME));
        frame.show();
    }
    void TearDown() override {
        SetMessageBoxHook(previousHook);
        ClearUserLanguageOverride();
        g_bStop = FALSE;
        SetStatus(0, 0);
    }
    CString BarText() const { return frame.m_progress.m_text; }

    MessageBoxHook previousHook;
    std::vector<Box> boxes;
    int answer = IDNO;
    int boxWaitMs = 0;
    CMainFrame frame;
};

struct StatusCase {
    int status;
    const wchar_t* english;
    const wchar_t* russian;
};

// Percent 42 everywhere, speed 1,048,575 bytes/s (1023 whole kB/s).
const StatusCase kStatusTexts[] = {
    {1, L"Checking version of launcher...", L"Проверка версии загрузчика..."},
    {2, L"Updating launcher: 42%", L"Обновление загрузчика игры: 42%"},
    {3, L"Checking version of client: 42%", L"Проверка версии клиента: 42%"},
    {4, L"Downloading torrent-files...", L"Загрузка торрент-файла обновления..."},
    {5, L"Downloading patch for client: 42% (1023 kB/s)",
     L"Загрузка обновления клиента: 42% (1023 КБ/с)"},
    {6, L"Extracting patch for client: 42%", L"Распаковка обновления клиента: 42%"},
    {7, L"Installing patch for client: 42%", L"Установка обновления клиента: 42%"},
    {8, L"Extracting client's resources: 42%", L"Распаковка ресурсов клиента: 42%"},
    {9, L"Everything is ready to enter the zone!", L"Всё готово для входа в зону!"},
    {11, L"An error occurred during the update!", L"Возникла ошибка в процессе обновления!"},
};

TEST(StatusText, EveryStatusInBothLanguages) {
    for (UserLanguage language : {UserLanguage::English, UserLanguage::Russian}) {
        OverrideUserLanguage(language);
        for (const StatusCase& c : kStatusTexts) {
            CString text;
            ASSERT_TRUE(CMainFrame::FormatStatusText(c.status, 42, 1048575, text)) << c.status;
            EXPECT_EQ(
                ToQString(text),
                QString::fromWCharArray(language == UserLanguage::English ? c.english : c.russian));
        }
        for (int status : {0, 10, 12, 13}) {
            CString text;
            EXPECT_FALSE(CMainFrame::FormatStatusText(status, 42, 0, text)) << status;
        }
    }
    ClearUserLanguageOverride();
}

TEST(StatusText, SpeedIsWholeKilobytes) {
    CString text;
    CMainFrame::FormatStatusText(5, 0, 1023, text);
    EXPECT_EQ(ToQString(text), QStringLiteral("Downloading patch for client: 0% (0 kB/s)"));
}

TEST(FailureText, GivesTheNumberInLowerCaseHexadecimal) {
    CString message;
    ASSERT_TRUE(LoadStringResource(2004, UserLanguage::English, message));
    EXPECT_EQ(ToQString(CMainFrame::FormatErrorText(message, 661)),
              ToQString(message) + QStringLiteral("\n(Error 0x295)"));
    EXPECT_EQ(ToQString(CMainFrame::FormatErrorText(CString(), -1)),
              QStringLiteral("\n(Error 0xffffffff)"));
}

TEST_F(FrameTest, BeforeTheFirstStatusNothingChanges) {
    frame.OnTimer();
    EXPECT_TRUE(BarText().IsEmpty());
    EXPECT_EQ(frame.m_progress.m_value, 0);
    EXPECT_FALSE(frame.m_btnPlay.isEnabled());
}

TEST_F(FrameTest, ProgressStatusSetsTextAndBar) {
    SetStatus(STATUS_CHECK_CLIENT, 99);
    frame.OnTimer();
    EXPECT_EQ(ToQString(BarText()), QStringLiteral("Checking version of client: 99%"));
    EXPECT_EQ(frame.m_progress.m_value, 42);
    EXPECT_FALSE(frame.m_btnPlay.isEnabled());
}

TEST_F(FrameTest, ReadyEnablesPlayAndKeepsTheWindow) {
    SetStatus(STATUS_READY, -1);
    for (int tick = 0; tick < 2; ++tick) {
        frame.OnTimer();
        EXPECT_TRUE(frame.m_btnPlay.isEnabled());
        EXPECT_EQ(frame.m_btnPlay.GetState(), CCuteButton::BTN_NORMAL);
        EXPECT_EQ(frame.m_progress.m_value, 255);
        EXPECT_TRUE(frame.isVisible());
    }
}

TEST_F(FrameTest, StoppedAndRestartCloseTheWindow) {
    for (int status : {STATUS_STOPPED, STATUS_RESTART}) {
        CMainFrame other;
        ASSERT_TRUE(other.LoadFrame(IDR_MAINFRAME));
        other.show();
        SetStatus(STATUS_CHECK_LAUNCHER, -1);
        SetStatus(status, -1);
        other.OnTimer();
        EXPECT_FALSE(other.isVisible()) << status;
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FrameTest, FailureShowsItsBoxOnceAndKeepsTheWindow) {
    CString message;
    LoadStringResource(2004, UserLanguage::English, message);
    g_strError = message;
    g_nErrorCode = 661;
    SetStatus(STATUS_ERROR, -1);
    // The box stays up longer than two timer periods.
    boxWaitMs = 1200;
    frame.OnTimer();
    QTest::qWait(1100);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(ToQString(boxes[0].text), ToQString(message) + QStringLiteral("\n(Error 0x295)"));
    EXPECT_EQ(boxes[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(ToQString(BarText()), QStringLiteral("An error occurred during the update!"));
    EXPECT_TRUE(frame.isVisible());
    EXPECT_FALSE(frame.m_btnPlay.isEnabled());
    // After a failure a close request ends at once.
    frame.OnCloseRequest();
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(boxes.size(), 1u);
    g_nErrorCode = -1;
    g_strError.Empty();
}

TEST_F(FrameTest, CloseDuringTheUpdateAsksBeforeStopping) {
    SetStatus(STATUS_CHECK_CLIENT, 10);
    answer = IDNO;
    frame.OnCloseRequest();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    CString question;
    LoadStringResource(IDS_CONFIRM_STOP, UserLanguage::English, question);
    EXPECT_EQ(ToQString(boxes[0].text), ToQString(question));
    EXPECT_FALSE(g_bStop);
    EXPECT_TRUE(frame.isVisible());

    // The window manager's close asks the same and Yes only requests the stop.
    answer = IDYES;
    frame.close();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(g_bStop);
    EXPECT_TRUE(frame.isVisible());
    // The engine unwinds to status 10 and the next tick closes the window.
    SetStatus(STATUS_STOPPED, -1);
    frame.OnTimer();
    EXPECT_FALSE(frame.isVisible());
}

TEST_F(FrameTest, PressOnTheBackgroundAndReleaseOverCloseIsAClick) {
    SetStatus(STATUS_READY, -1);
    const QPoint background(300, 200 + 96), overClose(615, 15);
    QMouseEvent press(QEvent::MouseButtonPress, background, frame.mapToGlobal(background),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, overClose, frame.mapToGlobal(overClose),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &release);
    EXPECT_FALSE(frame.isVisible());
}

TEST_F(FrameTest, CloseWhenReadyClosesAtOnce) {
    SetStatus(STATUS_READY, -1);
    frame.close();
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(frame.isVisible());
}

// Shows a real box and answers it as soon as it is up; returns the box's owner.
QWidget* OwnerOfTheNextBox() {
    QWidget* owner = nullptr;
    bool bShown = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* pWidget : QApplication::topLevelWidgets())
            if (auto* pBox = qobject_cast<QMessageBox*>(pWidget); pBox && pBox->isVisible()) {
                bShown = true;
                owner = pBox->parentWidget();
                pBox->defaultButton()->click();
            }
    });
    AfxMessageBox(L"Do you really want to stop the update?", MB_YESNO | MB_ICONQUESTION);
    EXPECT_TRUE(bShown);
    return owner;
}

TEST(QtMessageBox, OpensOverTheMainWindowWhileItShows) {
    const MessageBoxHook previousHook = SetMessageBoxHook({});
    InstallQtMessageBox();
    CMainFrame frame;
    ASSERT_TRUE(frame.LoadFrame(IDR_MAINFRAME));
    EXPECT_EQ(OwnerOfTheNextBox(), nullptr);
    theApp.m_pMainWnd = &frame;
    frame.show();
    EXPECT_EQ(OwnerOfTheNextBox(), &frame);
    frame.showMinimized();
    EXPECT_EQ(OwnerOfTheNextBox(), nullptr);
    theApp.m_pMainWnd = nullptr;
    SetMessageBoxHook(previousHook);
}

}  // namespace
