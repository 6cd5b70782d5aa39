#include "launcher/mem_dc.h"

CMemDC::CMemDC(QPainter* pDC, const QRect& rcClip)
    : m_bitmap(rcClip.size(), QImage::Format_RGB32), m_pDC(pDC), m_rect(rcClip) {
    begin(&m_bitmap);
    translate(-m_rect.topLeft());
}

CMemDC::~CMemDC() {
    end();
    m_pDC->drawImage(m_rect.topLeft(), m_bitmap);
}
