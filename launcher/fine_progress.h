// The progress bar: a cross-fade from the empty bar (frame 0) to the full bar (frame 1) with a
// constant alpha, and one line of white status text over it.
#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>

#include "platform/cstring.h"

class CFineProgress : public QWidget {
    Q_OBJECT
public:
    CFineProgress();
    ~CFineProgress() override;

    // Makes the bar from strip 134 at its fixed place (30, 440) in pParent.
    BOOL Create(QWidget* pParent);

    // Written directly by the owner, which then repaints the bar at once.
    int m_value = 0;  // 0 (empty) to 255 (full); only the low byte is used
    CString m_text;

    const QFont& GetFont() const { return m_font; }
    // Where the status line goes: the bar less 5 pixels at the sides and 2 at top and bottom.
    QRect TextRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    QFont m_font;
};
