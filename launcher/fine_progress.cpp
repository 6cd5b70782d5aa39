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
    m_font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                        QStringLiteral("Sans Serif")});
    m_font.setPixelSize(12);
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
    dc.drawText(frame.adjusted(5, 2, -5, -2),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                ToQString(m_text));
}
