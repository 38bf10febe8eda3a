// The small parts of the main window: geometry and text helpers, the list
// header, the slider parts, the loading and splash windows, drawn icons.
#include "mainwindow/MainWindow.h"
#include "Icons.h"

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

#include "platform/module.h"

namespace velorin {

// ---- helpers ---------------------------------------------------------------
namespace {
// Nearest integer, halves to even (the default rounding mode).
long long RoundEven(long double value) { return std::llrint(value); }
}  // namespace

VideoRect FitVideoRect(int W, int H, int a, int b) {
    VideoRect r;
    if (a <= 0 || b <= 0 || W <= 0 || H <= 0) {
        // Nothing to fit (audio-only source): the picture area is the panel.
        r = VideoRect{0, 0, W, H};
    } else if (static_cast<long double>(a) / b <= 1.3333333333333333334L) {
        const long long w = RoundEven(static_cast<long double>(a) / (static_cast<long double>(b) / H));
        r.left = static_cast<int>(RoundEven(static_cast<long double>(W - w) / 2));
        r.top = 0;
        r.width = static_cast<int>(w);
        r.height = H;
    } else {
        const long long h = RoundEven(static_cast<long double>(b) / (static_cast<long double>(a) / W));
        r.top = static_cast<int>(RoundEven(static_cast<long double>(H - h) / 2));
        r.left = 0;
        r.width = W;
        r.height = static_cast<int>(h);
    }
    return VideoRect{r.left + 1, r.top + 1, r.width - 3, r.height};
}

int TimeBoxSeconds(const QString &text) {
    // Positions 1-2, 4-5, 7-8 hold the digits; anything else there is a blank.
    auto field = [&](int at) {
        int value = 0;
        for (int i = at; i < at + 2; ++i) {
            const QChar c = i < text.size() ? text[i] : QChar(' ');
            value = value * 10 + (c.isDigit() ? c.digitValue() : 0);
        }
        return value;
    };
    return field(0) * 3600 + field(3) * 60 + field(6);
}

const char *const kRefusedNameChars = "\\/:\"?*<>|";

std::string RefusedNameMessage() { return std::string("File name can not contain: ") + kRefusedNameChars + " "; }

const char *const kDefaultOpenFilter =
    "All Supported Files|*.avi;*.divx;*.div;*.wmv;*.xvid;*.dat;*.mpeg;*.mpg;*.rm;*.rmvb;*.asf;*.mov;*.swf|"
    "AVI(*.avi)|*.avi|Divx(*.divx,*.div)|*.divx;*.div|wmv(*.wmv)|*.wmv|xvid(*.xvid)|*.xvid|"
    "Mpeg1(*.dat)|*.dat|Mpeg2(*.mpeg,*.mpg)|*.mpeg;*.mpg|real(*.rm,*.rmvb)|*.rm;*.rmvb|Asf(*.asf)|*.asf|"
    "Mov(*.mov)|*.mov|swf(*.swf)|*.swf|*.*|*.*";

bool ResizeBitmapFile(const std::string &source, const std::string &destination, int width, int height) {
    if (width <= 0 || height <= 0) return false;
    QImage picture;
    if (!picture.load(QString::fromStdString(source), "BMP")) return false;
    QImage copy(width, height, QImage::Format_RGB32);
    QPainter painter(&copy);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(copy.rect(), picture);
    painter.end();
    return copy.save(QString::fromStdString(destination), "BMP");
}

// ---- header -------------------------------------------------------------------
namespace {
const QColor kLineColour(174, 174, 174);
}

THackVirtualTreeview::THackVirtualTreeview(QWidget *parent) : QHeaderView(Qt::Horizontal, parent) {
    setObjectName("THackVirtualTreeview");
    m_picture.load(":/mainwindow/HeaderBit.png");
    setFixedHeight(18);
    setSectionsMovable(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setHighlightSections(false);
}

void THackVirtualTreeview::paintEvent(QPaintEvent *event) {
    // Background of the whole header, also right of the last column.
    {
        QPainter painter(viewport());
        if (!m_picture.isNull()) painter.drawPixmap(viewport()->rect(), m_picture);
        painter.setPen(kLineColour);
        painter.drawLine(0, viewport()->height() - 1, viewport()->width(), viewport()->height() - 1);
    }
    QHeaderView::paintEvent(event);
}

void THackVirtualTreeview::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const {
    painter->save();
    if (!m_picture.isNull()) painter->drawPixmap(rect, m_picture);
    painter->setPen(kLineColour);
    painter->drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter->drawLine(rect.right(), rect.top() + 2, rect.right(), rect.bottom() - 2);
    const QString text = model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    painter->setPen(QColor(40, 48, 60));
    QFont font = painter->font();
    font.setPointSizeF(8.5);
    font.setBold(true);
    painter->setFont(font);
    painter->drawText(rect.adjusted(6, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
    painter->restore();
}

// ---- slider parts -----------------------------------------------------------------
TSliderPart::TSliderPart(Look look, QWidget *parent) : QWidget(parent), m_look(look) {
    setCursor(look == Look::Track ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

void TSliderPart::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    switch (m_look) {
    case Look::Track: {
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, QColor(196, 203, 212));
        g.setColorAt(1, QColor(232, 236, 241));
        p.setPen(QColor(150, 160, 172));
        p.setBrush(g);
        p.drawRoundedRect(r, 4, 4);
        break;
    }
    case Look::Bar: {
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, QColor(168, 214, 92));
        g.setColorAt(1, QColor(98, 160, 40));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRect(rect());
        break;
    }
    case Look::StartHandle:
    case Look::EndHandle: {
        // An upward arrow pointing at the range end it moves.
        QPainterPath path;
        path.moveTo(width() / 2.0, 0.5);
        path.lineTo(width() - 0.5, height() * 0.55);
        path.lineTo(width() - 0.5, height() - 0.5);
        path.lineTo(0.5, height() - 0.5);
        path.lineTo(0.5, height() * 0.55);
        path.closeSubpath();
        const QColor base = m_look == Look::StartHandle ? QColor(60, 130, 200) : QColor(210, 90, 60);
        p.setPen(base.darker(140));
        p.setBrush(base);
        p.drawPath(path);
        break;
    }
    case Look::Knob: {
        QPainterPath path;
        path.moveTo(0.5, 0.5);
        path.lineTo(width() - 0.5, 0.5);
        path.lineTo(width() - 0.5, height() * 0.6);
        path.lineTo(width() / 2.0, height() - 0.5);
        path.lineTo(0.5, height() * 0.6);
        path.closeSubpath();
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, QColor(250, 250, 250));
        g.setColorAt(1, QColor(170, 178, 190));
        p.setPen(QColor(90, 98, 110));
        p.setBrush(g);
        p.drawPath(path);
        break;
    }
    }
}

void TSliderPart::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && onMouseDown) onMouseDown(qRound(event->position().x()));
}
void TSliderPart::mouseMoveEvent(QMouseEvent *event) {
    if (onMouseMove) onMouseMove(qRound(event->position().x()));
}
void TSliderPart::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && onMouseUp) onMouseUp();
}

// ---- loading window ----------------------------------------------------------------
TfrmLoadingMedia::TfrmLoadingMedia(QWidget *owner) : QDialog(owner) {
    setObjectName("frmLoadingMedia");
    setWindowTitle("Loading");
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    Label1 = new QLabel("Loading media file, please wait...", this);
    Label1->setObjectName("Label1");
    LoadBar = new QProgressBar(this);
    LoadBar->setObjectName("LoadBar");
    LoadBar->setRange(0, 1000);
    LoadBar->setValue(0);
    LoadBar->setTextVisible(true);
    LoadBar->setFormat("%p%");
    layout->addWidget(Label1);
    layout->addWidget(LoadBar);
    setFixedSize(320, 90);
    if (owner) move(owner->geometry().center() - rect().center());
}

// ---- splash -----------------------------------------------------------------------------
TfrmSplash::TfrmSplash(QWidget *parent) : QDialog(parent) {
    setObjectName("frmSplash");
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(350, 200);
    lblBuild = new QLabel(this);
    lblBuild->setObjectName("lblBuild");
    lblBuild->setGeometry(16, 170, 200, 18);
    lblBuild->setStyleSheet("color: rgba(255,255,255,200); font-size: 11px;");
    if (platform::HasProgramVersion()) {
        lblBuild->setText(QString::fromStdString(platform::FormatBuildLabel(platform::ProgramVersion())));
    } else {
        lblBuild->hide();
    }
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(3000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &QDialog::accept);
    Timer1->start();
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TfrmSplash::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width(), height());
    g.setColorAt(0, QColor(24, 58, 104));
    g.setColorAt(0.6, QColor(36, 100, 160));
    g.setColorAt(1, QColor(70, 160, 190));
    p.fillRect(rect(), g);
    // A film strip sweeping across the picture.
    p.save();
    p.translate(250, 40);
    p.rotate(-18);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRoundedRect(QRectF(-40, 0, 200, 56), 6, 6);
    p.setBrush(QColor(255, 255, 255, 70));
    for (int i = 0; i < 10; ++i) {
        p.drawRect(QRectF(-34 + i * 19, 5, 9, 7));
        p.drawRect(QRectF(-34 + i * 19, 44, 9, 7));
    }
    p.restore();
    // Play mark and product name.
    QPainterPath play;
    play.moveTo(30, 62);
    play.lineTo(30, 106);
    play.lineTo(68, 84);
    play.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(198, 226, 82));
    p.drawPath(play);
    QFont font = p.font();
    font.setPixelSize(44);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(80, 52, 260, 64), Qt::AlignVCenter | Qt::AlignLeft, "Velorin");
    font.setPixelSize(13);
    font.setBold(false);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 210));
    p.drawText(QRect(82, 112, 260, 20), Qt::AlignLeft, "Batch video converter");
    p.setPen(QColor(255, 255, 255, 60));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TfrmSplash::mousePressEvent(QMouseEvent *) { accept(); }
void TfrmSplash::mouseDoubleClickEvent(QMouseEvent *) { accept(); }

}  // namespace velorin
