#include "SkinTitleBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>

namespace velorin {

namespace {

QIcon TitleIcon(bool close) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(245, 248, 252), 2, Qt::SolidLine, Qt::RoundCap));
    if (close) {
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    } else {
        p.drawLine(QPointF(4, 11), QPointF(12, 11));
    }
    return QIcon(pixmap);
}

QToolButton *TitleButton(QWidget *parent, const char *name, bool close, const QString &tip) {
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(TitleIcon(close));
    button->setIconSize(QSize(16, 16));
    button->setFixedSize(26, 22);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(close ? QStringLiteral("QToolButton { border: none; border-radius: 4px; }"
                                                 "QToolButton:hover { background: #c8463c; }")
                                : QStringLiteral("QToolButton { border: none; border-radius: 4px; }"
                                                 "QToolButton:hover { background: rgba(255,255,255,60); }"));
    return button;
}

}  // namespace

SkinTitleBar::SkinTitleBar(QWidget *window, const QString &caption, const char *minimiseName,
                           const char *closeName)
    : QWidget(window), m_window(window) {
    setObjectName(QStringLiteral("TitleBar"));
    setFixedHeight(30);
    m_caption = new QLabel(caption, this);
    m_caption->setObjectName(QStringLiteral("lblCaption"));
    m_caption->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
    m_caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_minimise = TitleButton(this, minimiseName, false, QStringLiteral("Minimize"));
    m_close = TitleButton(this, closeName, true, QStringLiteral("Close"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 0, 4, 0);
    row->setSpacing(2);
    row->addWidget(m_caption, 1);
    row->addWidget(m_minimise);
    row->addWidget(m_close);
}

void SkinTitleBar::SetCaption(const QString &caption) { m_caption->setText(caption); }

void SkinTitleBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(40, 78, 128));
    g.setColorAt(1, QColor(24, 52, 92));
    p.fillRect(rect(), g);
}

void SkinTitleBar::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_grab = event->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
    }
    QWidget::mousePressEvent(event);
}

void SkinTitleBar::mouseMoveEvent(QMouseEvent *event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        m_window->move(event->globalPosition().toPoint() - m_grab);
    QWidget::mouseMoveEvent(event);
}

void SkinTitleBar::mouseReleaseEvent(QMouseEvent *event) {
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

QString SkinWindowStyle(const QString &objectName) {
    return QStringLiteral("QDialog#%1 { background: #eef1f5; border: 1px solid #1d3a62; }").arg(objectName);
}

}  // namespace velorin
