#include "launcher/cute_button.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

#include "launcher/bitmap_resource.h"

namespace {
// The hover frame must not outlive the cursor's stay by more than this.
constexpr int kHoverPollMs = 40;
}  // namespace

CCuteButton::CCuteButton() {
    m_hoverTimer.setInterval(kHoverPollMs);
    connect(&m_hoverTimer, &QTimer::timeout, this, &CCuteButton::OnTimer);
}

CCuteButton::~CCuteButton() = default;

BOOL CCuteButton::Create(QWidget* pParent, UINT nID, int x, int y, UINT nBitmapId) {
    m_image = LoadBitmapResource(nBitmapId);
    if (m_image.isNull()) return FALSE;
    m_frameWidth = m_image.width() / 4;
    m_frameHeight = m_image.height();
    m_nID = nID;
    setParent(pParent);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    // Every pixel comes from the strip: no background erase.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(x, y, m_frameWidth, m_frameHeight);
    show();
    return TRUE;
}

void CCuteButton::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    dc.drawImage(QPoint(0, 0), m_image,
                 QRect(m_state * m_frameWidth, 0, m_frameWidth, m_frameHeight));
}

bool CCuteButton::PtInButton(const QPoint& point) const {
    return point.x() >= 0 && point.y() >= 0 && point.x() < m_frameWidth &&
           point.y() < m_frameHeight;
}

void CCuteButton::SetState(int state) {
    if (state == m_state) return;
    m_state = state;
    repaint();
}

void CCuteButton::OnMouseMove(const QPoint& point) {
    if (PtInButton(point)) {
        if (!m_bCapture) {
            m_hoverTimer.start();
            SetState(BTN_HOVER);
        } else {
            SetState(BTN_PRESSED);
        }
    } else {
        SetState(BTN_NORMAL);
    }
}

void CCuteButton::OnLButtonDown(const QPoint& point) {
    m_bCapture = true;
    OnMouseMove(point);
}

void CCuteButton::OnLButtonUp(const QPoint& point) {
    m_bCapture = false;
    // The pressed frame stays until the next move or the hover timer.
    repaint();
    if (PtInButton(point)) emit Command(m_nID);
}

void CCuteButton::OnTimer() {
    if (PtInButton(mapFromGlobal(QCursor::pos()))) return;
    m_hoverTimer.stop();
    if (isEnabled()) SetState(BTN_NORMAL);
}

void CCuteButton::OnEnable(bool bEnable) {
    m_state = bEnable ? BTN_NORMAL : BTN_DISABLED;
    repaint();
}

void CCuteButton::mouseMoveEvent(QMouseEvent* event) { OnMouseMove(event->position().toPoint()); }

void CCuteButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) OnLButtonDown(event->position().toPoint());
}

void CCuteButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) OnLButtonUp(event->position().toPoint());
}

void CCuteButton::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) OnEnable(isEnabled());
}
