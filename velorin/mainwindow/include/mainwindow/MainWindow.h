// The main window: the job list and its commands, the name box, the preview
// player with the trim slider and time boxes, the snapshot button, and the
// start of the conversion run. The category bar and the output-settings
// controls are the TOutputSettings panel (settings/OutputSettings.h), placed
// here and called where the window's commands need them.
//
// Ownership and threads. Everything runs on the GUI thread. The window owns
// the first graph instance of the graph library between runs (through a
// PreviewGraph, the library itself unless a test passes a double): after an
// add, a row click or a finished run it holds the current job's file,
// paused, with its video surface inside Panel1. The job list, the settings
// and the profile store are the program-wide objects of core/SysConfigure.h;
// the window reads and writes them in place.
//
// The current job (CurrentIndex) is the job whose file the preview shows and
// whose range the trim controls edit. The window keeps it on a job that
// exists: after Remove it moves to the selected row (or to none when the
// list is empty), and whatever makes another row current also opens that
// row's file in the preview.
#pragma once

#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "core/VideoFileList.h"
#include "mainwindow/PreviewGraph.h"

class QMenu;
class QPushButton;
class QTimer;
class QToolButton;

namespace velorin {

class TOutputSettings;

// ---- pure helpers (tested on their own) -------------------------------------
struct VideoRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const VideoRect &) const = default;
};
// Places a picture of width a and height b in a client area of W x H: 4:3 or
// narrower fills the height, wider fills the width; centred; then shifted by
// one pixel and narrowed by three to stay inside the panel's frame. Halves
// round to even. A picture without a size (audio) gets the whole area.
VideoRect FitVideoRect(int clientWidth, int clientHeight, int pictureWidth, int pictureHeight);
// Seconds of a time box text "HH:MM:SS": blanks count as 0, fields are
// taken as they are (00:99:99 gives 6039).
int TimeBoxSeconds(const QString &text);
// The nine characters a file name cannot contain, in the order the notice
// lists them, and the notice.
extern const char *const kRefusedNameChars;  // "\\/:\"?*<>|"
std::string RefusedNameMessage();
// The open dialog's built-in filter.
extern const char *const kDefaultOpenFilter;
// Resizes a bitmap file to exactly width x height (proportions not kept).
bool ResizeBitmapFile(const std::string &source, const std::string &destination, int width, int height);

// ---- window parts --------------------------------------------------------------
// The job list's header: a stretched picture with a line along its bottom
// edge and the column dividers, all in RGB(174, 174, 174).
class THackVirtualTreeview : public QHeaderView {
    Q_OBJECT
public:
    explicit THackVirtualTreeview(QWidget *parent = nullptr);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};

// A slider part that reports its mouse events in its own coordinates.
class TSliderPart : public QWidget {
    Q_OBJECT
public:
    enum class Look { Track, Bar, StartHandle, EndHandle, Knob };
    TSliderPart(Look look, QWidget *parent);

    std::function<void(int x)> onMouseDown, onMouseMove;
    std::function<void()> onMouseUp;

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    Look m_look;
};

class TfrmLoadingMedia : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLoadingMedia(QWidget *owner);
    QLabel *Label1;
    QProgressBar *LoadBar;
};

class TfrmSplash : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget *parent = nullptr);
    QLabel *lblBuild;
    QTimer *Timer1;

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseDoubleClickEvent(QMouseEvent *) override;
};

// ---- the window ----------------------------------------------------------------------
class TfrmMain : public QWidget, private JobListView {
    Q_OBJECT
public:
    struct Options {
        PreviewGraph *graph = nullptr;  // null: the graph library
        bool showSplash = true;
        // Start-up options for core's StartUp (tests pass a temporary folder).
        std::string programFolder;
        bool registerFilterModules = true;
    };

    // Runs FormCreate.
    TfrmMain();
    explicit TfrmMain(const Options &options);
    ~TfrmMain() override;

    static constexpr int kSliderPixels = 239;
    static constexpr UINT kGraphNotifyMessage = 0x0414;
    static constexpr UINT kMoveMessage = 3;

    // ---- Part of the window seam ----
    void FormCreate();
    void FormShow();
    // Idempotent: runs once, at the first close.
    void FormClose();
    bool FormClosed() const { return m_formClosed; }

    // ---- job list commands ----
    void btnAddClick();
    void btnDelClick();
    void btnClearClick();
    void btnUpClick();
    void btnDownClick();
    void VTMouseUp();
    void txtVideoTitleChange();
    // True when the key was refused.
    bool txtVideoTitleKeyPress(const QString &typed);
    void btnStartClick();
    void suiImageButton1Click();  // minimise
    void suiImageButton2Click();  // close
    void suiImageButton3Click();  // about
    void suiImageButton5Click();  // help
    void suiImageButton7Click();  // website

    // ---- preview routines (also used by the conversion run) ----
    void ClosePreviewGraph();
    bool OpenPreviewSource(const std::string &path);
    bool RefreshJobInfo(FileInfo &job, bool resetRange, bool resetNames);
    void ShowPreviewAt(const std::string &path, double seconds);
    bool GrabThumbnail(const std::string &path);

    // ---- player and trim controls ----
    void ShowJobRange();
    void UpdateRangeTexts();
    void SeekPreview(double fraction);
    void SaveSnapshot();
    void btnPlayClick();
    void btnStopPlayClick();
    void timPlayTimer();
    void btnPSPPreviewClick();
    void sImgBtn1MouseDown(int x);
    void sImgBtn1MouseMove(int x);
    void sImgBtn1MouseUp();
    void sImgBtn2MouseDown(int x);
    void sImgBtn2MouseMove(int x);
    void sImgBtn2MouseUp();
    void sPanelChildMouseDown(int x);
    void sPanelChildMouseMove(int x);
    void sPanelChildMouseUp();
    void suiImageButton6MouseDown(int x);
    void suiImageButton6MouseMove(int x);
    void suiImageButton6MouseUp();
    void medtStartExit();
    void medtEndExit();

    // ---- state ----
    int CurrentIndex = 0;
    double DurationCopy = 0;
    double StartFraction = 0;
    double EndFraction = 0;
    double PositionFraction = 0;
    bool Dragging = false;
    int DragStartX = 0;

    // Index of the selected row, or -1.
    int SelectedRow() const;
    void SelectRowAt(int row);
    // The open dialog's filter in force (built-in or "OpenFileFilter.dat").
    const std::string &OpenFilter() const { return m_openFilter; }
    PreviewGraph &Graph() const { return *m_graph; }
    // The file the preview graph holds ("" when none).
    const std::string &PreviewPath() const { return m_previewPath; }

    // ---- controls (component names as object names) ----
    QWidget *TitleBar;
    QLabel *lblTitle;
    QToolButton *suiImageButton1, *suiImageButton2;
    TOutputSettings *Settings;
    QTreeWidget *VT;
    THackVirtualTreeview *VTHeader;
    QMenu *VTPM;
    QToolButton *btnAdd, *btnDel, *btnClear, *btnUp, *btnDown;
    QWidget *Panel1;
    QWidget *ssPanel;
    TSliderPart *sPanel, *sImgBtn1, *sImgBtn2, *sPanelChild, *suiImageButton6;
    QToolButton *btnPlay, *btnStopPlay, *btnPSPPreview;
    QLabel *lblCurrent, *Label16, *lblStart, *lblEnd;
    QLineEdit *medtStart, *medtEnd;
    QTimer *timPlay;
    QWidget *Panel2;
    QLabel *Image3;
    QLabel *Label10;
    QLineEdit *txtVideoTitle;
    QPushButton *btnStart;
    QToolButton *suiImageButton5, *suiImageButton3, *suiImageButton7;

signals:
    // The add command created its loading window (tests watch the bar).
    void loadingWindowShown(velorin::TfrmLoadingMedia *window);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // JobListView
    void ClearRows() override;
    void AppendRow(const std::string &sourceFile, const std::string &infoText,
                   const std::string &rangeText) override;
    void SelectRow(int row) override;

    void BuildWindow();
    void BuildSlider();
    FileInfo *CurrentJob();
    FileInfo *SelectedJob();
    bool IsPSPSelected() const;
    void SetNameBoxFor(const FileInfo *job);
    // Makes `index` the current job: name box, preview at 0, trim controls.
    void AdoptJob(int index);
    // After Remove/Clear: the selected row becomes current, or nothing.
    void AfterListShrank();
    void ResetPreviewArea();
    void RefreshAfterRangeChange();
    void LayoutBar();
    void SetBoxColour(QLineEdit *box, bool dragging);
    void RefuseFile(const std::string &path, int errorNumber);
    // Busy commands defer a close that arrives meanwhile (signals, nested
    // event loops) until they are done.
    class BusyScope {
    public:
        explicit BusyScope(TfrmMain *window) : m_window(window) { ++m_window->m_busy; }
        ~BusyScope() { m_window->EndBusy(); }
        BusyScope(const BusyScope &) = delete;
        BusyScope &operator=(const BusyScope &) = delete;

    private:
        TfrmMain *m_window;
    };
    void EndBusy();

    Options m_options;
    PreviewGraph *m_graph;
    std::string m_openFilter;
    std::string m_previewPath;
    bool m_shown = false;
    bool m_formClosed = false;
    int m_busy = 0;
    bool m_closePending = false;
    bool m_settingNameBox = false;
    bool m_adding = false;
    int m_h1 = 0, m_h2 = kSliderPixels;
    QPoint m_dragOffset;
    bool m_windowDrag = false;
};

}  // namespace velorin
