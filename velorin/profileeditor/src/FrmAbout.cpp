#include "profileeditor/FrmAbout.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DialogService.h"
#include "platform/module.h"
#include "SkinTitleBar.h"
#include <QToolButton>

namespace velorin {

const char *const kProjectHomepage = "https://velorin.example.org";
const char *const kProjectEmail = "support@velorin.example.org";

namespace {

const char *const kNotice =
    "Velorin converts video and audio files in batches for portable players, phones and "
    "the common file formats.\n\n"
    "Decoding and encoding are done with the FFmpeg libraries, which are licensed under "
    "the GNU Lesser General Public License. The user interface is built with Qt.\n\n"
    "This program is provided as is, without warranty of any kind.";

template <class W>
W *Named(W *widget, const char *name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel *LinkLabel(const char *name, const QString &text, QWidget *parent) {
    auto *label = Named(new QLabel(text, parent), name);
    label->setCursor(Qt::PointingHandCursor);
    label->setStyleSheet(QStringLiteral("color: #1f5fa8; text-decoration: underline;"));
    return label;
}

// The product mark at the top: a drawn tile, as on the category buttons.
class ProductMark : public QWidget {
public:
    explicit ProductMark(QWidget *parent) : QWidget(parent) { setFixedSize(56, 56); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, QColor(0x5a, 0xa6, 0xe0));
        g.setColorAt(1, QColor(0x1d, 0x5c, 0x99));
        p.setPen(QPen(QColor(0x15, 0x45, 0x72), 1.5));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(2, 2, width() - 4, height() - 4), 12, 12);
        // Two arrows: one file turned into another.
        p.setPen(QPen(QColor(250, 250, 250), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(14, 22), QPointF(40, 22));
        p.drawLine(QPointF(33, 15), QPointF(40, 22));
        p.drawLine(QPointF(42, 34), QPointF(16, 34));
        p.drawLine(QPointF(23, 41), QPointF(16, 34));
    }
};

}  // namespace

QString AboutVersionText() {
    const platform::ModuleVersion v = platform::ProgramVersion();
    return QStringLiteral("Version: %1.%2").arg(v.major).arg(v.build, 2, 10, QLatin1Char('0'));
}

TfrmAbout::TfrmAbout(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setStyleSheet(SkinWindowStyle(objectName()));
    setModal(true);
    auto *titleBar = new SkinTitleBar(this, windowTitle(), "suiImageButton1", "suiImageButton2");
    suiImageButton1 = titleBar->MinimiseButton();
    suiImageButton2 = titleBar->CloseButton();
    connect(suiImageButton1, &QToolButton::clicked, this, [this] { showMinimized(); });
    connect(suiImageButton2, &QToolButton::clicked, this, [this] { btnOKClick(); });

    auto *mark = new ProductMark(this);
    lblProduct = Named(new QLabel(QStringLiteral("Velorin"), this), "lblProduct");
    QFont big = lblProduct->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.8);
    lblProduct->setFont(big);
    lblVersion = Named(new QLabel(AboutVersionText(), this), "lblVersion");
    lblVersion->setVisible(platform::HasProgramVersion());

    Memo1 = Named(new QPlainTextEdit(QString::fromUtf8(kNotice), this), "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setMinimumHeight(110);

    lblHomepage = Named(new QLabel(QStringLiteral("Homepage: "), this), "lblHomepage");
    lblHomepageLink = LinkLabel("lblHomepageLink", QString::fromLatin1(kProjectHomepage), this);
    lblEmail = Named(new QLabel(QStringLiteral("Email: "), this), "lblEmail");
    lblEmailLink = LinkLabel("lblEmailLink", QString::fromLatin1(kProjectEmail), this);
    for (QLabel *l : {lblHomepage, lblHomepageLink, lblEmail, lblEmailLink}) {
        l->installEventFilter(this);
    }
    lblHomepage->setCursor(Qt::PointingHandCursor);
    lblEmail->setCursor(Qt::PointingHandCursor);

    btnOK = Named(new QPushButton(QStringLiteral("OK"), this), "btnOK");
    btnOK->setDefault(true);
    btnOK->setMinimumWidth(80);
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });

    auto *head = new QHBoxLayout;
    head->addWidget(mark);
    head->addSpacing(8);
    auto *names = new QVBoxLayout;
    names->addWidget(lblProduct);
    names->addWidget(lblVersion);
    head->addLayout(names, 1);

    auto *links = new QGridLayout;
    links->addWidget(lblHomepage, 0, 0);
    links->addWidget(lblHomepageLink, 0, 1);
    links->addWidget(lblEmail, 1, 0);
    links->addWidget(lblEmailLink, 1, 1);
    links->setColumnStretch(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);

    auto *frame = new QVBoxLayout(this);
    frame->setContentsMargins(1, 1, 1, 1);
    frame->setSpacing(0);
    frame->addWidget(titleBar);
    auto *outer = new QVBoxLayout;
    frame->addLayout(outer);
    outer->setContentsMargins(16, 14, 16, 12);
    outer->setSpacing(10);
    outer->addLayout(head);
    outer->addWidget(Memo1, 1);
    outer->addLayout(links);
    outer->addLayout(buttons);
    resize(400, 360);
}

void TfrmAbout::lblHomepageClick() { Dialogs().ShellOpen(kProjectHomepage); }

void TfrmAbout::lblEmailClick() { Dialogs().ShellOpen(std::string("mailto:") + kProjectEmail); }

void TfrmAbout::btnOKClick() { accept(); }

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == lblHomepage || watched == lblHomepageLink) {
            lblHomepageClick();
            return true;
        }
        if (watched == lblEmail || watched == lblEmailLink) {
            lblEmailClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ShowAboutBox(QWidget *owner) {
    TfrmAbout box(owner);
    box.exec();
}

}  // namespace velorin
