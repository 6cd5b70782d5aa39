// An off-screen painter: everything drawn into it between construction and destruction reaches
// the wrapped painter in one copy, so layered drawing never flickers.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

class CMemDC : public QPainter {
public:
    // Buffers the part rcClip of what pDC paints on; drawing uses pDC's coordinates.
    CMemDC(QPainter* pDC, const QRect& rcClip);
    ~CMemDC();

    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

private:
    QImage m_bitmap;
    QPainter* m_pDC;
    QRect m_rect;
};
