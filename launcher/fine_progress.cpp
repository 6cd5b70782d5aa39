#include "launcher/fine_progress.h"

#include <QPaintEvent>
#include <QPainter>

#include "launcher/bitmap_resource.h"
#include "launcher/mem_dc.h"
#include "launcher/qt_text.h"
#include "launcher/resource.h"

CFineProgress::CFineProgress() = default;

CFineProgress::~CFineProgress() = default;

BOOL CFineProgress::Create(QWidget* pParent) {
    // The bar was drawn for the narrow 8-point bitmap sans of the other platform, which does not
    // exist here; a wider fallback pushes the longest Russian status line past the gold border.
    // Liberation Sans at 11 pixels has nearly its widths (digits 6 pixels wide), and the
    // install script brings it.
    m_font.setFamily(QStringLiteral("Liberation Sans"));
    m_font.setPixelSize(11);
    m_font.setWeight(QFont::Normal);
    m_font.setStyleStrategy(QFont::PreferAntialias);
    m_image = LoadBitmapResource(IDB_PROGRESS);
    if (m_image.isNull()) return FALSE;
    m_frameWidth = m_image.width() / 2;
    m_frameHeight = m_image.height();
    setParent(pParent);
    setObjectName(QStringLiteral("progress"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(30, 440, m_frameWidth, m_frameHeight);
    show();
    return TRUE;
}

QRect CFineProgress::TextRect() const {
    return QRect(0, 0, m_frameWidth, m_frameHeight).adjusted(5, 2, -5, -2);
}

void CFineProgress::paintEvent(QPaintEvent* event) {
    QPainter paintDC(this);
    CMemDC dc(&paintDC, event->rect());
    const QRect frame(0, 0, m_frameWidth, m_frameHeight);
    dc.drawImage(QPoint(0, 0), m_image, frame);
    // The whole picture fades from empty to full; the bar never grows from one end.
    dc.setOpacity((m_value & 0xFF) / 255.0);
    dc.drawImage(QPoint(0, 0), m_image, frame.translated(m_frameWidth, 0));
    dc.setOpacity(1.0);
    dc.setPen(Qt::white);
    dc.setFont(m_font);
    dc.drawText(TextRect(),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                ToQString(m_text));
}
