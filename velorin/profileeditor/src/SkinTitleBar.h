// The drawn title bar of the program's small windows: caption, minimise and
// close buttons, and dragging the window by the bar. The windows are
// frameless, as the main window is, so all of them share one look.
#pragma once

#include <QPoint>
#include <QWidget>

class QLabel;
class QToolButton;

namespace velorin {

class SkinTitleBar : public QWidget {
public:
    // The buttons get the given object names; their clicks are the caller's
    // to connect.
    SkinTitleBar(QWidget *window, const QString &caption, const char *minimiseName, const char *closeName);

    void SetCaption(const QString &caption);
    QToolButton *MinimiseButton() const { return m_minimise; }
    QToolButton *CloseButton() const { return m_close; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QWidget *m_window;
    QLabel *m_caption;
    QToolButton *m_minimise;
    QToolButton *m_close;
    QPoint m_grab;
    bool m_dragging = false;
};

// The frame and background every skinned window draws around its content.
QString SkinWindowStyle(const QString &objectName);

}  // namespace velorin
