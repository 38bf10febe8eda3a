// The drawn caption strip of the conversion window and the finish dialog.
// Both windows are frameless, like the program's other windows, so the strip
// carries the caption and the window's own minimise and close buttons and
// lets the user drag the window by it.
#pragma once

#include <QPoint>
#include <QWidget>

class QLabel;
class QPushButton;

namespace velorin::conv {

class TitleStrip : public QWidget {
public:
    static constexpr int kHeight = 22;

    // Spans the top of window; minimise and close are moved onto the strip
    // and restyled; their click connections stay the caller's.
    TitleStrip(QWidget *window, const QString &caption, QPushButton *minimise, QPushButton *close);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QWidget *m_window;
    QPoint m_grab;
    bool m_dragging = false;
};

// The frame and background of the two windows, matching the other windows.
QString FramedWindowStyle(const QString &objectName);

}  // namespace velorin::conv
