// The main window: construction, layout, the form events, the job list and
// its commands, the name box, the start command and the small buttons.
#include "mainwindow/MainWindow.h"
#include "Icons.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <exception>

#include "core/DialogService.h"
#include "core/SysConfigure.h"
#include "platform/paths.h"
#include "qtwin/qtwin.h"
#include "settings/OutputSettings.h"

#ifdef VELORIN_HAVE_CONVERSION
#include "conversion/Conversion.h"
#endif
#if __has_include("profileeditor/FrmAbout.h")
#include "profileeditor/FrmAbout.h"
#define VELORIN_HAVE_ABOUT 1
#endif

namespace velorin {

namespace {

// Every job is one file; the table behind the list has this many slots.
constexpr int kJobLimit = TVideoFileList::kCapacity;

const QColor kEvenRow(238, 238, 238);
const QColor kOddRow(204, 204, 204);

// Row background in the alternating greys, row height 22.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(22);
        return size;
    }
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        // Paths keep their file name visible.
        if (index.column() == 0) option->textElideMode = Qt::ElideLeft;
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        // VTBeforeItemErase: the background by row parity.
        painter->fillRect(option.rect, index.row() % 2 == 0 ? kEvenRow : kOddRow);
        QStyledItemDelegate::paint(painter, option, index);
    }
};

QToolButton *MakeToolButton(QWidget *parent, const char *name, IconKind icon, const QString &hint,
                            const QString &text = {}) {
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(DrawnIcon(icon));
    button->setIconSize(QSize(18, 18));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    if (!text.isEmpty()) {
        button->setText(text);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

std::string Trimmed(const std::string &text) { return QString::fromStdString(text).trimmed().toStdString(); }

}  // namespace

// A command that may run nested event loops (dialogs, the loading loop)
// holds a BusyScope; a close that arrives meanwhile runs when the last ends.
void TfrmMain::EndBusy() {
    if (--m_busy == 0 && m_closePending) {
        m_closePending = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

TfrmMain::TfrmMain() : TfrmMain(Options{}) {}

TfrmMain::TfrmMain(const Options &options)
    : QWidget(nullptr), m_options(options), m_graph(options.graph ? options.graph : &BrantelGraph()) {
    setObjectName("frmMain");
    BuildWindow();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    if (!m_formClosed) FormClose();
}

// ---- layout ------------------------------------------------------------------------
void TfrmMain::BuildWindow() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setFixedSize(840, 600);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setStyleSheet(
        "QWidget#frmMain { background: #eef1f5; }"
        "QToolButton { color: #28303c; }"
        "QToolButton:hover { background: #dde6f0; border-radius: 4px; }"
        "QLineEdit { background: rgb(235, 246, 255); border: 1px solid #a9b6c6; border-radius: 3px; padding: 1px 3px; }"
        "QPushButton#btnStart { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #6cb33f, stop:1 #3f8a22);"
        " color: white; font-weight: bold; font-size: 15px; border: 1px solid #2f6b18; border-radius: 6px; }"
        "QPushButton#btnStart:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #7cc54d, stop:1 #4a9a2a); }"
        "QPushButton#btnStart:pressed { background: #3f8a22; }");

    // Title bar with the product name and the two title-bar buttons.
    TitleBar = new QWidget(this);
    TitleBar->setObjectName("TitleBar");
    TitleBar->setGeometry(0, 0, 840, 30);
    TitleBar->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    TitleBar->installEventFilter(this);
    lblTitle = new QLabel(TitleBar);
    lblTitle->setObjectName("lblTitle");
    lblTitle->setGeometry(12, 0, 400, 30);
    lblTitle->setStyleSheet("color: white; font-weight: bold; font-size: 14px;");
    lblTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    suiImageButton1 = MakeToolButton(TitleBar, "suiImageButton1", IconKind::Minimise, "Minimize");
    suiImageButton1->setGeometry(776, 3, 26, 24);
    suiImageButton2 = MakeToolButton(TitleBar, "suiImageButton2", IconKind::Close, "Close");
    suiImageButton2->setGeometry(806, 3, 26, 24);
    for (QToolButton *b : {suiImageButton1, suiImageButton2})
        b->setStyleSheet("QToolButton:hover { background: rgba(255,255,255,60); border-radius: 4px; }");
    connect(suiImageButton1, &QToolButton::clicked, this, &TfrmMain::suiImageButton1Click);
    connect(suiImageButton2, &QToolButton::clicked, this, &TfrmMain::suiImageButton2Click);

    // Category bar and output settings (the settings panel owns both).
    Settings = new TOutputSettings(this);
    Settings->setObjectName("OutputSettings");
    TCategoryBar *bar = Settings->CategoryBar();
    bar->setParent(this);
    bar->setGeometry(0, 30, 840, 70);
    bar->show();
    Settings->SetCategoryChangedHandler([this](OutputCategory) { SetNameBoxFor(CurrentJob()); });
    Settings->SetSelectedJobProvider([this]() -> const FileInfo * { return SelectedJob(); });

    // List commands.
    btnAdd = MakeToolButton(this, "btnAdd", IconKind::Add, "Add Files", "Add");
    btnDel = MakeToolButton(this, "btnDel", IconKind::Remove, "Remove File", "Remove");
    btnClear = MakeToolButton(this, "btnClear", IconKind::Clear, "Clear Files", "Clear");
    btnUp = MakeToolButton(this, "btnUp", IconKind::Up, "Move File Up", "Up");
    btnDown = MakeToolButton(this, "btnDown", IconKind::Down, "Move File Down", "Down");
    int x = 8;
    for (QToolButton *b : {btnAdd, btnDel, btnClear, btnUp, btnDown}) {
        b->setGeometry(x, 104, 86, 28);
        x += 90;
    }
    connect(btnAdd, &QToolButton::clicked, this, &TfrmMain::btnAddClick);
    connect(btnDel, &QToolButton::clicked, this, &TfrmMain::btnDelClick);
    connect(btnClear, &QToolButton::clicked, this, &TfrmMain::btnClearClick);
    connect(btnUp, &QToolButton::clicked, this, &TfrmMain::btnUpClick);
    connect(btnDown, &QToolButton::clicked, this, &TfrmMain::btnDownClick);

    // The job list.
    VT = new QTreeWidget(this);
    VT->setObjectName("VT");
    VT->setGeometry(8, 136, 534, 282);
    VT->setColumnCount(3);
    VT->setHeaderLabels({"Clip Name", "Clip Information", "Clip Duration"});
    VT->setRootIsDecorated(false);
    VT->setItemsExpandable(false);
    VT->setUniformRowHeights(true);
    VT->setSelectionMode(QAbstractItemView::SingleSelection);
    VT->setSelectionBehavior(QAbstractItemView::SelectRows);
    VT->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    VT->setItemDelegate(new RowDelegate(VT));
    VT->setContextMenuPolicy(Qt::CustomContextMenu);
    VT->setStyleSheet("QTreeWidget { border: 1px solid #a9b6c6; background: rgb(238,238,238); }"
                      "QTreeWidget::item:selected { background: rgb(92, 140, 200); color: white; }");
    VTHeader = nullptr;  // owner-drawn header comes with FormShow
    VT->viewport()->installEventFilter(this);

    VTPM = new QMenu(this);
    VTPM->setObjectName("VTPM");
    VTPM->addAction("Add", this, &TfrmMain::btnAddClick);
    VTPM->addSeparator();
    VTPM->addAction("Remove", this, &TfrmMain::btnDelClick);
    VTPM->addAction("Clear", this, &TfrmMain::btnClearClick);
    VTPM->addSeparator();
    VTPM->addAction("Move Up", this, &TfrmMain::btnUpClick);
    VTPM->addAction("Move Down", this, &TfrmMain::btnDownClick);
    connect(VT, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { VTPM->popup(VT->viewport()->mapToGlobal(at)); });

    // Preview panel: the video surface is a child of Panel1.
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(573, 136, 238, 160);
    Panel1->setAttribute(Qt::WA_StyledBackground);
    Panel1->setStyleSheet("QWidget#Panel1 { background: black; border: 1px solid #46505e; }");
    Panel1->hide();

    BuildSlider();

    btnPlay = MakeToolButton(this, "btnPlay", IconKind::Play, "Play");
    btnStopPlay = MakeToolButton(this, "btnStopPlay", IconKind::Stop, "Stop");
    btnPSPPreview = MakeToolButton(this, "btnPSPPreview", IconKind::Camera, "Grab PSP thumbnail image.");
    btnPlay->setGeometry(566, 344, 28, 26);
    btnStopPlay->setGeometry(596, 344, 28, 26);
    btnPSPPreview->setGeometry(626, 344, 28, 26);
    connect(btnPlay, &QToolButton::clicked, this, &TfrmMain::btnPlayClick);
    connect(btnStopPlay, &QToolButton::clicked, this, &TfrmMain::btnStopPlayClick);
    connect(btnPSPPreview, &QToolButton::clicked, this, &TfrmMain::btnPSPPreviewClick);
    lblCurrent = new QLabel("00:00:00", this);
    lblCurrent->setObjectName("lblCurrent");
    lblCurrent->setGeometry(740, 344, 78, 26);
    lblCurrent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCurrent->setStyleSheet("font-family: monospace; font-size: 13px; color: #1d2733;");

    lblStart = new QLabel("Start:", this);
    lblStart->setObjectName("lblStart");
    lblStart->setGeometry(566, 376, 36, 22);
    medtStart = new QLineEdit(this);
    medtStart->setObjectName("medtStart");
    medtStart->setGeometry(602, 376, 72, 22);
    lblEnd = new QLabel("End:", this);
    lblEnd->setObjectName("lblEnd");
    lblEnd->setGeometry(690, 376, 30, 22);
    medtEnd = new QLineEdit(this);
    medtEnd->setObjectName("medtEnd");
    medtEnd->setGeometry(720, 376, 72, 22);
    for (QLineEdit *box : {medtStart, medtEnd}) {
        // Two digits per field, colons fixed; blanks show as '_' and count 0.
        box->setInputMask("99:99:99;_");
        box->setMaxLength(8);
        box->setText("00:00:00");
        box->installEventFilter(this);
    }
    Label16 = new QLabel("Current Length: 00:00:00", this);
    Label16->setObjectName("Label16");
    Label16->setGeometry(566, 400, 250, 18);

    timPlay = new QTimer(this);
    timPlay->setObjectName("timPlay");
    timPlay->setInterval(1000);
    connect(timPlay, &QTimer::timeout, this, &TfrmMain::timPlayTimer);

    // Empty-list cover over the list, the preview and the trim area.
    Panel2 = new QWidget(this);
    Panel2->setObjectName("Panel2");
    Panel2->setGeometry(8, 136, 824, 284);
    Panel2->setAttribute(Qt::WA_StyledBackground);
    Panel2->setStyleSheet("QWidget#Panel2 { background: white; border: 1px solid #a9b6c6; }");
    Image3 = new QLabel(Panel2);
    Image3->setObjectName("Image3");
    Image3->setGeometry(1, 1, 822, 282);
    {
        QPixmap picture(822, 282);
        picture.fill(Qt::white);
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 0, 282);
        g.setColorAt(0, QColor(250, 252, 255));
        g.setColorAt(1, QColor(226, 234, 244));
        p.fillRect(picture.rect(), g);
        // A film frame with a plus sign.
        p.setPen(QPen(QColor(150, 168, 190), 3));
        p.setBrush(QColor(255, 255, 255));
        p.drawRoundedRect(QRectF(351, 60, 120, 90), 10, 10);
        p.setBrush(QColor(150, 168, 190));
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 6; ++i) {
            p.drawRect(QRectF(361 + i * 18, 66, 8, 8));
            p.drawRect(QRectF(361 + i * 18, 136, 8, 8));
        }
        p.setPen(QPen(QColor(76, 160, 70), 8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(411, 86), QPointF(411, 124));
        p.drawLine(QPointF(392, 105), QPointF(430, 105));
        QFont font = p.font();
        font.setPixelSize(18);
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(60, 72, 90));
        p.drawText(QRect(0, 166, 822, 28), Qt::AlignCenter, "Click [Add] to add video or audio files");
        font.setPixelSize(13);
        font.setBold(false);
        p.setFont(font);
        p.setPen(QColor(110, 122, 140));
        p.drawText(QRect(0, 196, 822, 22), Qt::AlignCenter,
                   "Then choose an output format above, trim each file and press Start to Convert.");
        p.end();
        Image3->setPixmap(picture);
    }
    Panel2->raise();

    // Output settings, name box, start.
    Settings->setGeometry(8, 424, 592, 144);
    Label10 = new QLabel("Output File Name:", this);
    Label10->setObjectName("Label10");
    Label10->setGeometry(612, 428, 220, 20);
    txtVideoTitle = new QLineEdit(this);
    txtVideoTitle->setObjectName("txtVideoTitle");
    txtVideoTitle->setGeometry(612, 450, 220, 24);
    txtVideoTitle->installEventFilter(this);
    connect(txtVideoTitle, &QLineEdit::textChanged, this, &TfrmMain::txtVideoTitleChange);
    btnStart = new QPushButton("Start to Convert", this);
    btnStart->setObjectName("btnStart");
    btnStart->setGeometry(612, 500, 220, 52);
    btnStart->setCursor(Qt::PointingHandCursor);
    connect(btnStart, &QPushButton::clicked, this, &TfrmMain::btnStartClick);

    suiImageButton5 = MakeToolButton(this, "suiImageButton5", IconKind::Help, "Help", "Help");
    suiImageButton3 = MakeToolButton(this, "suiImageButton3", IconKind::About, "About", "About");
    suiImageButton7 = MakeToolButton(this, "suiImageButton7", IconKind::Web, "Website", "Website");
    suiImageButton5->setGeometry(8, 570, 80, 26);
    suiImageButton3->setGeometry(92, 570, 80, 26);
    suiImageButton7->setGeometry(176, 570, 90, 26);
    connect(suiImageButton5, &QToolButton::clicked, this, &TfrmMain::suiImageButton5Click);
    connect(suiImageButton3, &QToolButton::clicked, this, &TfrmMain::suiImageButton3Click);
    connect(suiImageButton7, &QToolButton::clicked, this, &TfrmMain::suiImageButton7Click);

    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmMain::paintEvent(QPaintEvent *event) {
    QWidget::paintEvent(event);
    QPainter p(this);
    QLinearGradient g(0, 0, 0, 30);
    g.setColorAt(0, QColor(40, 78, 128));
    g.setColorAt(1, QColor(24, 52, 92));
    p.fillRect(QRect(0, 0, width(), 30), g);
    p.setPen(QColor(190, 200, 214));
    p.drawLine(8, 421, 832, 421);
    p.drawLine(8, 566, 832, 566);
    p.setPen(QColor(24, 52, 92));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event) {
    // The title bar moves the frameless window.
    if (watched == TitleBar) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
            m_windowDrag = true;
            m_dragOffset = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        if (event->type() == QEvent::MouseMove && m_windowDrag) {
            move(mouse->globalPosition().toPoint() - m_dragOffset);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) m_windowDrag = false;
        return false;
    }
    if (watched == VT->viewport() && event->type() == QEvent::MouseButtonRelease) {
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            QTimer::singleShot(0, this, &TfrmMain::VTMouseUp);
        return false;
    }
    if (watched == txtVideoTitle && event->type() == QEvent::KeyPress) {
        return txtVideoTitleKeyPress(static_cast<QKeyEvent *>(event)->text());
    }
    if (watched == medtStart || watched == medtEnd) {
        const bool enter = event->type() == QEvent::KeyPress &&
                           (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Return ||
                            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Enter);
        // Leaving a box the user did not edit keeps the job's exact range.
        const bool left = event->type() == QEvent::FocusOut && static_cast<QLineEdit *>(watched)->isModified();
        if (enter || left) {
            if (watched == medtStart)
                medtStartExit();
            else
                medtEndExit();
            return enter;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- form events ------------------------------------------------------------------------
void TfrmMain::FormCreate() {
    StartUpOptions startUp;
    startUp.programFolder = m_options.programFolder;
    startUp.registerFilterModules = m_options.registerFilterModules;
    StartUp(startUp);
    SetApplicationTitle("Velorin");
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName("Velorin");
    setWindowTitle(QString::fromStdString(ApplicationTitle()));
    lblTitle->setText(windowTitle());

    m_openFilter = kDefaultOpenFilter;
    const std::string filter = LoadOpenFileFilter();
    if (!filter.empty()) m_openFilter = filter;

    if (m_options.showSplash) {
        TfrmSplash splash;
        splash.exec();
    }
}

void TfrmMain::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmMain::FormShow() {
    Settings->cbbResolution->clear();
    Settings->cbbResolution->addItems({"Original Size", "Costom Size", "320 X 240", "480 X 320", "640 X 480",
                                       "800 X 600", "1024 X 768", "1280 X 1024"});
    Settings->cbbResolution->setCurrentIndex(0);
    Settings->BtnAVIClick();
    if (VideoFileList) {
        VideoFileList->BindView(this);
        VideoFileList->ClearJobs();
    }
    CurrentIndex = -1;
    if (SysConfigure) {
        QComboBox *profiles = Settings->cbProfiles;
        const int remembered = SysConfigure->iPSPConfigCount;
        profiles->setCurrentIndex(remembered < profiles->count() ? remembered : profiles->count() - 1);
        Settings->cbProfilesSelect();

        auto select = [](QComboBox *box, int index) {
            if (index >= 0 && index < box->count()) box->setCurrentIndex(index);
        };
        select(Settings->cbbResolution, SysConfigure->VideoResolution);
        select(Settings->cbbFrameRate, SysConfigure->VideoFrameRate);
        Settings->edtVideoBit->setValue(SysConfigure->VideoQuality);
        Settings->edtAudioBit->setValue(SysConfigure->AudioQuality);
        Settings->trckbrVolume->setValue(SysConfigure->Volume);
        select(Settings->cbbChannels, SysConfigure->AudioChannels);
        select(Settings->cbbKeepAspect, SysConfigure->Addletterboxtokeepaspectratio ? 1 : 0);
        select(Settings->cbbVideoCode, SysConfigure->VideoCode);
        select(Settings->cbbOutoutType, SysConfigure->OutoutType);
    }
    Settings->trckbrVolumeChange();
    // The size boxes follow the remembered resolution from the start.
    Settings->cbbResolutionChange();

    if (!VTHeader) {
        VTHeader = new THackVirtualTreeview(VT);
        VT->setHeader(VTHeader);
        VTHeader->resizeSection(0, 150);
        VTHeader->resizeSection(1, 178);
        VTHeader->resizeSection(2, 188);
        VTHeader->setStretchLastSection(false);
        // Made after the list was shown: a new child starts hidden.
        VTHeader->show();
    }
    Panel2->setVisible(VideoFileList == nullptr || VideoFileList->Count() == 0);
}

void TfrmMain::closeEvent(QCloseEvent *event) {
    if (m_busy > 0) {
        // A command is inside a nested loop (a dialog, the loading loop): let
        // it finish first, then close.
        m_closePending = true;
        event->ignore();
        return;
    }
    timPlay->stop();
    FormClose();
    event->accept();
}

void TfrmMain::FormClose() {
    if (m_formClosed) return;
    m_formClosed = true;
    timPlay->stop();
    m_graph->DeleteFilterGraph();
    m_previewPath.clear();
    // Controls that were never loaded (closed before the first show, e.g. by a
    // signal during the splash) would overwrite the settings with blanks.
    if (SysConfigure && m_shown) {
        SysConfigure->VideoResolution = Settings->cbbResolution->currentIndex();
        SysConfigure->VideoFrameRate = Settings->cbbFrameRate->currentIndex();
        // Number boxes always hold integers; an empty box keeps the value.
        bool ok = false;
        int value = Settings->edtVideoBit->text().toInt(&ok);
        if (ok) SysConfigure->VideoQuality = value;
        value = Settings->edtAudioBit->text().toInt(&ok);
        if (ok) SysConfigure->AudioQuality = value;
        SysConfigure->Volume = Settings->trckbrVolume->value();
        SysConfigure->AudioChannels = Settings->cbbChannels->currentIndex();
        SysConfigure->Addletterboxtokeepaspectratio = Settings->cbbKeepAspect->currentIndex() != 0;
        SysConfigure->VideoCode = Settings->cbbVideoCode->currentIndex();
        SysConfigure->OutoutType = Settings->cbbOutoutType->currentIndex();
    }
    if (VideoFileList && VideoFileList->View() == this) VideoFileList->BindView(nullptr);
    ShutDown();
}

bool TfrmMain::event(QEvent *event) {
    if (event->type() == qtwin::WindowMessageEvent::EventType()) {
        auto *message = static_cast<qtwin::WindowMessageEvent *>(event);
        if (message->message == kGraphNotifyMessage && !m_formClosed) m_graph->HandleEvent(message->wparam, message->lparam);
        return true;
    }
    return QWidget::event(event);
}

void TfrmMain::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    // WMMove: the video window follows its owner.
    if (m_formClosed) return;
    const QPoint at = pos();
    const LPARAM lparam = static_cast<LPARAM>((static_cast<std::uint32_t>(at.y() & 0xFFFF) << 16) |
                                              static_cast<std::uint32_t>(at.x() & 0xFFFF));
    m_graph->NotifyOwnerMessage(qtwin::HandleOf(this), kMoveMessage, 0, lparam);
}

// ---- the list view seam ---------------------------------------------------------------
void TfrmMain::ClearRows() { VT->clear(); }

void TfrmMain::AppendRow(const std::string &sourceFile, const std::string &infoText, const std::string &rangeText) {
    auto *item = new QTreeWidgetItem(VT);
    item->setText(0, QString::fromStdString(sourceFile));
    item->setText(1, QString::fromStdString(infoText));
    item->setText(2, QString::fromStdString(rangeText));
    item->setToolTip(0, QString::fromStdString(sourceFile));
}

void TfrmMain::SelectRow(int row) { SelectRowAt(row); }

int TfrmMain::SelectedRow() const {
    const QList<QTreeWidgetItem *> items = VT->selectedItems();
    if (items.isEmpty()) return -1;
    return VT->indexOfTopLevelItem(items.first());
}

void TfrmMain::SelectRowAt(int row) {
    QTreeWidgetItem *item = VT->topLevelItem(row);
    if (!item) {
        VT->clearSelection();
        return;
    }
    VT->setCurrentItem(item);
    item->setSelected(true);
    VT->scrollToItem(item);
}

FileInfo *TfrmMain::CurrentJob() {
    if (!VideoFileList || CurrentIndex < 0 || CurrentIndex > VideoFileList->LastIndex) return nullptr;
    return &VideoFileList->Jobs[CurrentIndex];
}

FileInfo *TfrmMain::SelectedJob() {
    const int row = SelectedRow();
    if (!VideoFileList || row < 0 || row > VideoFileList->LastIndex) return nullptr;
    return &VideoFileList->Jobs[row];
}

bool TfrmMain::IsPSPSelected() const { return Settings->SelectedCategory() == OutputCategory::PSP; }

// ---- name box -------------------------------------------------------------------------------
void TfrmMain::SetNameBoxFor(const FileInfo *job) {
    const bool psp = IsPSPSelected();
    Label10->setText(psp ? "Video Title:" : "Output File Name:");
    // Filling the box is not an edit: nothing is stored back.
    m_settingNameBox = true;
    txtVideoTitle->setText(job ? QString::fromStdString(psp ? job->Title : job->OutputName) : QString());
    m_settingNameBox = false;
}

void TfrmMain::txtVideoTitleChange() {
    if (m_settingNameBox) return;
    FileInfo *job = SelectedJob();
    if (!job) return;
    const bool psp = IsPSPSelected();
    Label10->setText(psp ? "Video Title:" : "Output File Name:");
    (psp ? job->Title : job->OutputName) = txtVideoTitle->text().toStdString();
}

bool TfrmMain::txtVideoTitleKeyPress(const QString &typed) {
    if (typed.size() != 1 || !QString(kRefusedNameChars).contains(typed[0])) return false;
    QApplication::beep();
    Dialogs().MessageBox(RefusedNameMessage(), "Information", MsgButtons::Ok, MsgIcon::Information);
    return true;
}

// ---- list commands ------------------------------------------------------------------------------
void TfrmMain::RefuseFile(const std::string &path, int errorNumber) {
    const std::string text = "Can't add the file " + path +
                             " at this time.\nyou need to install corresponding codec.\r\n"
                             "You can download codec from our homepage.\r\n"
                             "Do you want to download codec now?\r\nError number: " +
                             std::to_string(errorNumber);
    if (Dialogs().MessageBox(text, "Confirm", MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes) return;
    // Our own pages say which distribution packages bring the decoders.
    const std::string ext = QString::fromStdString(path).section('.', -1).toLower().toStdString();
    const bool real = path.find('.') != std::string::npos && (ext == "rm" || ext == "rmvb");
    const std::string page = platform::ExecutableFolder() + (real ? "help/codecs-realmedia.html" : "help/codecs.html");
    Dialogs().ShellOpen(page);
}

void TfrmMain::btnAddClick() {
    // The loading loop lets the window work meanwhile; a second add started
    // from there would interleave its files with the first one's.
    if (m_adding) return;
    m_adding = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{m_adding};
    BusyScope busy(this);
    FileDialogRequest request;
    request.title = "Open";
    request.filter = m_openFilter;
    request.filterIndex = 1;
    request.multiSelect = true;
    const std::vector<std::string> files = Dialogs().OpenFiles(request);
    if (!files.empty() && VideoFileList && !m_formClosed) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        auto loading = std::make_unique<TfrmLoadingMedia>(this);
        loading->show();
        emit loadingWindowShown(loading.get());
        QCoreApplication::processEvents();
        struct Restore {
            ~Restore() { QApplication::restoreOverrideCursor(); }
        } restore;
        const int n = static_cast<int>(files.size());
        for (int k = 1; k <= n; ++k) {
            const std::string &path = files[k - 1];
            // A close request (window button, signal) ends the add early.
            if (m_formClosed || m_closePending) break;
            if (VideoFileList->Count() >= kJobLimit) {
                loading->LoadBar->setValue(1000);
                Dialogs().MessageBox("The job list is full: it holds at most " + std::to_string(kJobLimit) +
                                         " files. " + path + " and the files after it were not added.",
                                     "Information", MsgButtons::Ok, MsgIcon::Information);
                break;
            }
            int refused = 0;
            try {
                if (!OpenPreviewSource(path))
                    refused = 1;
                else if (!m_graph->ReplaceRenderWithMpeg2Enc(0))
                    refused = 2;
                else if (!OpenPreviewSource(path))
                    refused = 1;
            } catch (...) {
                refused = refused ? refused : 1;
            }
            if (refused == 0) {
                try {
                    const int index = VideoFileList->AddJob(path);
                    RefreshJobInfo(VideoFileList->Jobs[index], true, true);
                    VideoFileList->RefreshView();
                    SelectRowAt(VT->topLevelItemCount() - 1);
                    VT->setFocus();
                    CurrentIndex = VT->topLevelItemCount() - 1;
                    SetNameBoxFor(CurrentJob());
                    lblCurrent->setText("00:00:00");
                    Panel1->setVisible(true);
                    ShowPreviewAt(path, 0);
                    GrabThumbnail(path);
                    QCoreApplication::processEvents();
                } catch (const std::exception &error) {
                    // A failure after acceptance ends the command; the loading
                    // window and the cursor are restored on the way out.
                    ShowAppMessage(std::string("Adding ") + path + " failed: " + error.what(), true);
                    break;
                }
            } else {
                // The failed probe may have left a half-built graph behind.
                ClosePreviewGraph();
                RefuseFile(path, refused);
                // The preview goes back to the current job's file.
                if (FileInfo *job = CurrentJob()) {
                    if (OpenPreviewSource(job->SourceFile)) ShowPreviewAt(job->SourceFile, 0);
                }
            }
            if (k == n) {
                loading->LoadBar->setValue(1000);
                QThread::msleep(100);
            } else {
                loading->LoadBar->setValue(static_cast<int>(std::nearbyint(k * 1000.0 / n)));
            }
            if (VideoFileList->Count() >= 1) {
                Panel2->hide();
                QCoreApplication::processEvents();
            }
        }
        if (!m_formClosed) ShowJobRange();
        loading->close();
    }
    if (!m_formClosed) Settings->cbbResolutionChange();
}

void TfrmMain::btnDelClick() {
    const int row = SelectedRow();
    if (row < 0 || !VideoFileList) return;
    BusyScope busy(this);
    if (Dialogs().MessageBox("Are you sure to remove selected file from the list?", "Confirm", MsgButtons::YesNo,
                             MsgIcon::Question) != MsgResult::Yes)
        return;
    if (m_formClosed) return;
    const int removed = row;
    VideoFileList->DeleteJob(removed);
    txtVideoTitle->clear();
    if (VideoFileList->Count() == 0) {
        AfterListShrank();
        return;
    }
    // The row now at the removed place (or the new last row) is selected and
    // becomes the current job, with its file in the preview.
    SelectRowAt(std::min(removed, VideoFileList->LastIndex));
    AfterListShrank();
}

void TfrmMain::btnClearClick() {
    if (!VideoFileList || VideoFileList->Count() == 0) return;
    BusyScope busy(this);
    if (Dialogs().MessageBox("Are you sure to remove all files from the list?", "Confirm", MsgButtons::YesNo,
                             MsgIcon::Question) != MsgResult::Yes)
        return;
    if (m_formClosed) return;
    VideoFileList->ClearJobs();
    txtVideoTitle->clear();
    AfterListShrank();
}

void TfrmMain::AfterListShrank() {
    const int row = SelectedRow();
    if (row < 0) {
        ResetPreviewArea();
        if (VideoFileList->Count() == 0) Panel2->show();
        return;
    }
    AdoptJob(row);
}

void TfrmMain::ResetPreviewArea() {
    timPlay->stop();
    ClosePreviewGraph();
    CurrentIndex = -1;
    Panel1->hide();
    SetNameBoxFor(nullptr);
    lblCurrent->setText("00:00:00");
    ShowJobRange();
}

void TfrmMain::AdoptJob(int index) {
    if (!VideoFileList || index < 0 || index > VideoFileList->LastIndex) return;
    FileInfo &job = VideoFileList->Jobs[index];
    CurrentIndex = index;
    SetNameBoxFor(&job);
    const std::string path = Trimmed(job.SourceFile);
    if (m_previewPath != path || !m_graph->IsGraphCreated()) {
        timPlay->stop();
        if (OpenPreviewSource(path)) {
            lblCurrent->setText("00:00:00");
            ShowPreviewAt(path, 0);
        }
    }
    Panel1->setVisible(true);
    ShowJobRange();
}

void TfrmMain::btnUpClick() {
    const int row = SelectedRow();
    if (row < 0 || !VideoFileList) return;
    VideoFileList->MoveJobUp(row);
    const int selected = SelectedRow();
    CurrentIndex = selected >= 0 ? selected : 0;
    // The preview keeps up with the job that became current.
    AdoptJob(CurrentIndex);
}

void TfrmMain::btnDownClick() {
    const int row = SelectedRow();
    if (row < 0 || !VideoFileList) return;
    VideoFileList->MoveJobDown(row);
    const int selected = SelectedRow();
    CurrentIndex = selected >= 0 ? selected : 0;
    AdoptJob(CurrentIndex);
}

void TfrmMain::VTMouseUp() {
    const int row = SelectedRow();
    if (row < 0 || m_formClosed) return;
    if (CurrentIndex >= 0 && CurrentIndex == row) return;
    FileInfo *job = SelectedJob();
    if (!job) return;
    SetNameBoxFor(job);
    CurrentIndex = row;
    const std::string path = Trimmed(VT->topLevelItem(row)->text(0).toStdString());
    if (OpenPreviewSource(path)) {
        ShowPreviewAt(path, 0);
        ShowJobRange();
    }
}

void TfrmMain::btnStartClick() {
    if (!VideoFileList || VideoFileList->Count() == 0) {
        Dialogs().MessageBox("Please click [Add] button to add a file before this operation.", "Information",
                             MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    BusyScope busy(this);
    btnStopPlayClick();
#ifdef VELORIN_HAVE_CONVERSION
    ShowConversionWindow(this);
#endif
    if (m_formClosed) return;
    update();
    QCoreApplication::processEvents();
    const int row = SelectedRow();
    if (row >= 0) {
        // The run used the graph; the selected job becomes the preview again.
        lblCurrent->setText("00:00:00");
        const std::string path = Trimmed(VT->topLevelItem(row)->text(0).toStdString());
        m_previewPath.clear();
        if (OpenPreviewSource(path)) ShowPreviewAt(path, 0);
        CurrentIndex = row;
        SetNameBoxFor(CurrentJob());
        ShowJobRange();
        QCoreApplication::processEvents();
    }
}

void TfrmMain::suiImageButton1Click() { showMinimized(); }
void TfrmMain::suiImageButton2Click() { close(); }

void TfrmMain::suiImageButton3Click() {
    BusyScope busy(this);
#ifdef VELORIN_HAVE_ABOUT
    ShowAboutBox(this);
#endif
}

void TfrmMain::suiImageButton5Click() {
    const std::string help = platform::ExecutableFolder() + "help/index.html";
    if (!platform::FileExists(help) || !Dialogs().ShellOpen(help))
        ShowAppMessage("The help document " + help + " could not be opened.", true);
}

void TfrmMain::suiImageButton7Click() {
#ifdef VELORIN_HAVE_ABOUT
    Dialogs().ShellOpen(kProjectHomepage);
#else
    Dialogs().ShellOpen("https://velorin.example.org");
#endif
}

}  // namespace velorin
