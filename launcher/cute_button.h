// A push button painted from a horizontal strip of four state pictures.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "platform/types.h"

class CCuteButton : public QWidget {
    Q_OBJECT
public:
    // Frame indexes of the strip, and the button's states.
    enum { BTN_NORMAL = 0, BTN_HOVER = 1, BTN_PRESSED = 2, BTN_DISABLED = 3 };

    CCuteButton();
    ~CCuteButton() override;

    // Loads strip nBitmapId and makes the button a visible child of pParent at (x, y), one frame
    // in size. FALSE when the strip cannot be loaded.
    BOOL Create(QWidget* pParent, UINT nID, int x, int y, UINT nBitmapId);

    int GetState() const { return m_state; }
    UINT GetDlgCtrlID() const { return m_nID; }

signals:
    // A click (press and release, the release inside), delivered synchronously to the owner.
    void Command(UINT nID);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void OnMouseMove(const QPoint& point);
    void OnLButtonDown(const QPoint& point);
    void OnLButtonUp(const QPoint& point);
    void OnTimer();
    void OnEnable(bool bEnable);
    bool PtInButton(const QPoint& point) const;
    void SetState(int state);

    int m_state = BTN_NORMAL;
    QImage m_image;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    UINT m_nID = 0;
    // The mouse "capture": held from a press on the button until the release, wherever the
    // cursor goes meanwhile (Qt's implicit grab delivers those moves to us).
    bool m_bCapture = false;
    QTimer m_hoverTimer;
};
