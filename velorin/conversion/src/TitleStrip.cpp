#include "TitleStrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace velorin::conv {

TitleStrip::TitleStrip(QWidget *window, const QString &caption, QPushButton *minimise, QPushButton *close)
    : QWidget(window), m_window(window) {
    setObjectName(QStringLiteral("TitleStrip"));
    setGeometry(0, 0, window->width(), kHeight);
    auto *text = new QLabel(caption, this);
    text->setObjectName(QStringLiteral("lblCaption"));
    text->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
    text->setAttribute(Qt::WA_TransparentForMouseEvents);
    const QString common = QStringLiteral(
        "QPushButton { color: white; font-weight: bold; border: none; border-radius: 3px;"
        " background: transparent; padding: 0px; }");
    minimise->setParent(this);
    minimise->setStyleSheet(common + QStringLiteral("QPushButton:hover { background: rgba(255,255,255,60); }"));
    minimise->setFixedSize(24, 18);
    minimise->setFocusPolicy(Qt::NoFocus);
    minimise->setToolTip(QStringLiteral("Minimize"));
    close->setParent(this);
    close->setStyleSheet(common + QStringLiteral("QPushButton:hover { background: #c8463c; }"));
    close->setFixedSize(24, 18);
    close->setFocusPolicy(Qt::NoFocus);
    close->setToolTip(QStringLiteral("Close"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(8, 0, 2, 0);
    row->setSpacing(2);
    row->addWidget(text, 1);
    row->addWidget(minimise);
    row->addWidget(close);
}

void TitleStrip::paintEvent(QPaintEvent *) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(40, 78, 128));
    g.setColorAt(1, QColor(24, 52, 92));
    p.fillRect(rect(), g);
}

void TitleStrip::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_grab = event->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
    }
    QWidget::mousePressEvent(event);
}

void TitleStrip::mouseMoveEvent(QMouseEvent *event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton)) m_window->move(event->globalPosition().toPoint() - m_grab);
    QWidget::mouseMoveEvent(event);
}

void TitleStrip::mouseReleaseEvent(QMouseEvent *event) {
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

QString FramedWindowStyle(const QString &objectName) {
    return QStringLiteral("QDialog#%1 { background: #eef1f5; border: 1px solid #1d3a62; }").arg(objectName);
}

}  // namespace velorin::conv
