// The skinned button's state machine and the progress bar's cross-fade, checked on real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QTest>

#include "launcher/bitmap_resource.h"
#include "launcher/cute_button.h"
#include "launcher/fine_progress.h"
#include "launcher/main_frame.h"
#include "launcher/qt_text.h"
#include "launcher/resource.h"
#include "platform/locale.h"
#include "update/status.h"

namespace {

void SendMouse(QWidget* widget, QEvent::Type type, QPoint point, Qt::MouseButtons buttons) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, point, widget->mapToGlobal(point), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

class CuteButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent.resize(200, 100);
        ASSERT_TRUE(button.Create(&parent, IDC_MINIMIZE, 10, 10, IDB_MINIMIZE));
        QObject::connect(&button, &CCuteButton::Command,
                         [this](UINT nID) { commands.push_back(nID); });
        parent.show();
    }
    void Move(QPoint p, bool pressed) {
        SendMouse(&button, QEvent::MouseMove, p, pressed ? Qt::LeftButton : Qt::NoButton);
    }
    void Press(QPoint p) { SendMouse(&button, QEvent::MouseButtonPress, p, Qt::LeftButton); }
    void Release(QPoint p) { SendMouse(&button, QEvent::MouseButtonRelease, p, Qt::NoButton); }

    QWidget parent;
    CCuteButton button;
    std::vector<UINT> commands;
    const QPoint inside{5, 5};
    const QPoint outside{40, 40};
};

TEST_F(CuteButtonTest, TakesItsSizeFromOneFrameOfTheStrip) {
    EXPECT_EQ(button.geometry(), QRect(10, 10, 19, 19));
}

TEST_F(CuteButtonTest, PressOutAndBackInThenReleaseSendsOneCommand) {
    Press(inside);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_PRESSED);
    Move(outside, true);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_NORMAL);
    Move(inside, true);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_PRESSED);
    Release(inside);
    EXPECT_EQ(commands, std::vector<UINT>{IDC_MINIMIZE});
    // The pressed picture stays until the mouse moves again.
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_PRESSED);
    Move(inside, false);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_HOVER);
}

TEST_F(CuteButtonTest, ReleaseOutsideSendsNothing) {
    Press(inside);
    Move(outside, true);
    Release(outside);
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_NORMAL);
    // The capture is gone: a later move inside is a hover, not a press.
    Move(inside, false);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_HOVER);
}

TEST_F(CuteButtonTest, ReleaseOverTheButtonClicksItWhereverThePressBegan) {
    // A press elsewhere gives the button only the release.
    Release(inside);
    EXPECT_EQ(commands, std::vector<UINT>{IDC_MINIMIZE});
}

TEST_F(CuteButtonTest, DisablingWhileHoveredShowsDisabledUntilEnabled) {
    Move(inside, false);
    ASSERT_EQ(button.GetState(), CCuteButton::BTN_HOVER);
    button.setEnabled(false);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_DISABLED);
    // The hover timer must not bring a disabled button back to normal.
    QCursor::setPos(button.mapToGlobal(outside));
    QTest::qWait(120);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_DISABLED);
    button.setEnabled(true);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_NORMAL);
}

TEST_F(CuteButtonTest, HoverEndsSoonAfterTheCursorLeaves) {
    QCursor::setPos(button.mapToGlobal(inside));
    Move(inside, false);
    ASSERT_EQ(button.GetState(), CCuteButton::BTN_HOVER);
    QTest::qWait(100);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_HOVER);
    QCursor::setPos(button.mapToGlobal(outside));
    QTest::qWait(100);
    EXPECT_EQ(button.GetState(), CCuteButton::BTN_NORMAL);
}

TEST_F(CuteButtonTest, PaintsTheFrameOfItsState) {
    const QImage strip = LoadBitmapResource(IDB_MINIMIZE).convertToFormat(QImage::Format_RGB32);
    for (int state : {CCuteButton::BTN_NORMAL, CCuteButton::BTN_PRESSED}) {
        if (state == CCuteButton::BTN_PRESSED) Press(inside);
        const QImage shown = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown, strip.copy(state * 19, 0, 19, 19)) << "state " << state;
    }
}

// Bar pixels against the two frames of the strip: value v shows f0 + (f1 - f0) * v / 255.
class FineProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent.resize(640, 480);
        ASSERT_TRUE(bar.Create(&parent));
        strip = LoadBitmapResource(IDB_PROGRESS).convertToFormat(QImage::Format_RGB32);
        parent.show();
    }
    // Largest difference per channel between the shown bar and the expected mix.
    int MaxDeviation(int value) {
        bar.m_value = value;
        const QImage shown = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown.size(), QSize(312, 25));
        int worst = 0;
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < 312; ++x) {
                const QRgb empty = strip.pixel(x, y), full = strip.pixel(312 + x, y);
                const QRgb got = shown.pixel(x, y);
                auto mix = [&](int (*channel)(QRgb)) {
                    return channel(empty) + (channel(full) - channel(empty)) * (value & 0xFF) / 255;
                };
                worst = std::max({worst, std::abs(qRed(got) - mix(qRed)),
                                  std::abs(qGreen(got) - mix(qGreen)),
                                  std::abs(qBlue(got) - mix(qBlue))});
            }
        return worst;
    }

    QWidget parent;
    CFineProgress bar;
    QImage strip;
};

TEST_F(FineProgressTest, CrossFadesTheWholeBarFromEmptyToFull) {
    EXPECT_EQ(bar.geometry(), QRect(30, 440, 312, 25));
    EXPECT_EQ(MaxDeviation(0), 0);
    EXPECT_EQ(MaxDeviation(255), 0);
    EXPECT_LE(MaxDeviation(128), 2);
}

TEST_F(FineProgressTest, DrawsTheTextInWhiteOverTheBar) {
    bar.m_text = L"Checking version of launcher...";
    const QImage shown = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The empty bar is dark: light pixels are the text's.
    int light = 0;
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 312; ++x)
            if (qMin(qMin(qRed(shown.pixel(x, y)), qGreen(shown.pixel(x, y))),
                     qBlue(shown.pixel(x, y))) > 180)
                ++light;
    EXPECT_GT(light, 40);
}

TEST_F(FineProgressTest, LongestStatusLineStaysInsideTheTextArea) {
    // A fallback face would be wider: the line must be measured in the face really drawn.
    EXPECT_EQ(QFontInfo(bar.GetFont()).family().toStdString(), "Liberation Sans");
    const QFontMetrics metrics(bar.GetFont());
    for (UserLanguage language : {UserLanguage::English, UserLanguage::Russian}) {
        OverrideUserLanguage(language);
        CString text;
        CMainFrame::FormatStatusText(STATUS_DOWNLOAD_PATCH, 100, 99999u << 10, text);
        const QRect drawn = metrics.boundingRect(
            bar.TextRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, ToQString(text));
        EXPECT_TRUE(bar.TextRect().contains(drawn))
            << ToQString(text).toStdString() << ": " << drawn.width() << " pixels wide";
    }
    ClearUserLanguageOverride();
}

}  // namespace
