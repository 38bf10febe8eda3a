// The preview player of the main window: opening and measuring sources,
// the still frame in Panel1, thumbnails and snapshots, the play timer, the
// trim slider and the time boxes.
#include "mainwindow/MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "core/DialogService.h"
#include "core/SysConfigure.h"
#include "qtwin/qtwin.h"
#include "settings/OutputSettings.h"

namespace velorin {

namespace {

const char *const kNormalBoxStyle = "background: rgb(235, 246, 255);";
const char *const kDraggingBoxStyle = "background: rgb(198, 226, 82);";

int RoundEven(double value) { return static_cast<int>(std::nearbyint(value)); }

std::string LowerExtension(const std::string &path) {
    const QFileInfo info(QString::fromStdString(path));
    return info.suffix().toLower().toStdString();
}

// A picture file in the system's temporary folder, unique to this process.
std::string TemporaryPicture(const char *stem) {
    return QDir(QDir::tempPath())
        .filePath(QString("velorin-%1-%2.bmp").arg(stem).arg(QCoreApplication::applicationPid()))
        .toStdString();
}

}  // namespace

// ---- the slider widgets ----------------------------------------------------------------
void TfrmMain::BuildSlider() {
    ssPanel = new QWidget(this);
    ssPanel->setObjectName("ssPanel");
    ssPanel->setGeometry(566, 300, 252, 40);
    sPanel = new TSliderPart(TSliderPart::Look::Track, ssPanel);
    sPanel->setObjectName("sPanel");
    sPanel->setGeometry(4, 16, 243, 11);
    sPanelChild = new TSliderPart(TSliderPart::Look::Bar, ssPanel);
    sPanelChild->setObjectName("sPanelChild");
    sImgBtn1 = new TSliderPart(TSliderPart::Look::StartHandle, ssPanel);
    sImgBtn1->setObjectName("sImgBtn1");
    sImgBtn2 = new TSliderPart(TSliderPart::Look::EndHandle, ssPanel);
    sImgBtn2->setObjectName("sImgBtn2");
    suiImageButton6 = new TSliderPart(TSliderPart::Look::Knob, ssPanel);
    suiImageButton6->setObjectName("suiImageButton6");
    suiImageButton6->setGeometry(0, 1, 12, 14);
    m_h1 = 0;
    m_h2 = kSliderPixels;
    LayoutBar();

    sImgBtn1->onMouseDown = [this](int x) { sImgBtn1MouseDown(x); };
    sImgBtn1->onMouseMove = [this](int x) { sImgBtn1MouseMove(x); };
    sImgBtn1->onMouseUp = [this] { sImgBtn1MouseUp(); };
    sImgBtn2->onMouseDown = [this](int x) { sImgBtn2MouseDown(x); };
    sImgBtn2->onMouseMove = [this](int x) { sImgBtn2MouseMove(x); };
    sImgBtn2->onMouseUp = [this] { sImgBtn2MouseUp(); };
    sPanelChild->onMouseDown = [this](int x) { sPanelChildMouseDown(x); };
    sPanelChild->onMouseMove = [this](int x) { sPanelChildMouseMove(x); };
    sPanelChild->onMouseUp = [this] { sPanelChildMouseUp(); };
    suiImageButton6->onMouseDown = [this](int x) { suiImageButton6MouseDown(x); };
    suiImageButton6->onMouseMove = [this](int x) { suiImageButton6MouseMove(x); };
    suiImageButton6->onMouseUp = [this] { suiImageButton6MouseUp(); };
}

// Handles at h1 and h2, the bar between them.
void TfrmMain::LayoutBar() {
    sImgBtn1->setGeometry(m_h1, 27, 12, 11);
    sImgBtn2->setGeometry(m_h2, 27, 12, 11);
    sPanelChild->setGeometry(m_h1 + 6, 18, std::max(0, m_h2 - m_h1), 7);
}

void TfrmMain::SetBoxColour(QLineEdit *box, bool dragging) {
    box->setStyleSheet(dragging ? kDraggingBoxStyle : kNormalBoxStyle);
}

// ---- preview routines ----------------------------------------------------------------------
void TfrmMain::ClosePreviewGraph() {
    if (m_graph->IsGraphCreated()) {
        m_graph->Stop();
        m_graph->SetNotifyWindow(nullptr);
        m_graph->DeleteFilterGraph();
    }
    m_previewPath.clear();
}

bool TfrmMain::OpenPreviewSource(const std::string &path) {
    ClosePreviewGraph();
    if (!m_graph->Create()) return false;
    const bool ok = m_graph->RenderFile(path);
    if (ok) m_previewPath = path;
    return ok;
}

bool TfrmMain::RefreshJobInfo(FileInfo &job, bool resetRange, bool resetNames) {
    if (!m_graph->IsGraphCreated()) OpenPreviewSource(job.SourceFile);
    double duration = 0;
    if (m_graph->GetDuration(&duration)) job.Duration = duration;
    std::int32_t width = 0, height = 0;
    if (m_graph->GetVideoSize(&width, &height)) {
        job.VideoWidth = width;
        job.VideoHeight = height;
    }
    if (resetRange) {
        job.StartTime = 0;
        job.EndTime = job.Duration;
    }
    if (resetNames) {
        job.Title = DefaultJobName(job.SourceFile);
        job.OutputName = job.Title;
    }
    job.InfoText = MakeInfoText(job.VideoWidth, job.VideoHeight, job.Duration);
    job.RangeText = MakeRangeText(job.StartTime, job.EndTime);
    return true;
}

void TfrmMain::ShowPreviewAt(const std::string &path, double seconds) {
    m_graph->SetDisplayWindow(qtwin::HandleOf(Panel1));
    m_graph->SetNotifyWindow(qtwin::HandleOf(this));
    const FileInfo *job = CurrentJob();
    const VideoRect r =
        FitVideoRect(Panel1->width(), Panel1->height(), job ? job->VideoWidth : 0, job ? job->VideoHeight : 0);
    m_graph->ResizeVideoWindow(r.left, r.top, r.width, r.height);
    m_graph->SetCurrentPosition(seconds);
    m_graph->Pause();
}

bool TfrmMain::GrabThumbnail(const std::string &path) {
    if (!m_graph->IsGraphCreated()) return false;
    // A writable temporary folder: the program's own folder may be read-only.
    const std::string picture = TemporaryPicture("thumbnail");
    m_graph->SnapshotBitmap(picture);
    const std::string ext = LowerExtension(path);
    // MPEG sources show the frame of the last seek only on the second grab.
    if (ext == "mpg" || ext == "mpeg") m_graph->SnapshotBitmap(picture);
    bool ok = ResizeBitmapFile(picture, picture, 160, 120);
    FileInfo *job = CurrentJob();
    if (ok && job) {
        QImage image;
        ok = image.load(QString::fromStdString(picture), "BMP");
        if (ok) {
            image = image.convertToFormat(QImage::Format_RGB32);
            JobThumbnail thumbnail;
            thumbnail.width = image.width();
            thumbnail.height = image.height();
            thumbnail.stride = thumbnail.width * 4;
            thumbnail.pixels.resize(static_cast<size_t>(thumbnail.stride) * thumbnail.height);
            for (int y = 0; y < image.height(); ++y)
                std::copy_n(image.constScanLine(y), thumbnail.stride,
                            thumbnail.pixels.data() + static_cast<size_t>(y) * thumbnail.stride);
            job->Thumbnail = std::move(thumbnail);
        }
    } else {
        ok = false;
    }
    QFile::remove(QString::fromStdString(picture));
    return ok;
}

// ---- trim controls -------------------------------------------------------------------------------
void TfrmMain::ShowJobRange() {
    const FileInfo *job = CurrentJob();
    suiImageButton6->move(0, 1);
    PositionFraction = 0;
    const double duration = job ? job->Duration : 0;
    if (job && duration > 0) {
        StartFraction = job->StartTime / duration;
        EndFraction = job->EndTime / duration;
    } else {
        StartFraction = 0;
        EndFraction = job ? 0 : 1;
    }
    DurationCopy = duration;
    m_h1 = RoundEven(StartFraction * kSliderPixels);
    m_h2 = RoundEven(EndFraction * kSliderPixels);
    LayoutBar();
    sPanelChild->resize(std::max(0, RoundEven((EndFraction - StartFraction) * kSliderPixels)), 7);
    medtStart->setText(QString::fromStdString(FormatTimeText(RoundSeconds(duration * StartFraction))));
    medtEnd->setText(QString::fromStdString(FormatTimeText(RoundSeconds(duration * EndFraction))));
    Label16->setText(QString::fromStdString(
        "Current Length: " + FormatTimeText(RoundSeconds((EndFraction - StartFraction) * duration))));
}

void TfrmMain::UpdateRangeTexts() {
    medtStart->setText(QString::fromStdString(FormatTimeText(RoundSeconds(DurationCopy * StartFraction))));
    medtEnd->setText(QString::fromStdString(FormatTimeText(RoundSeconds(DurationCopy * EndFraction))));
    Label16->setText(QString::fromStdString(
        "Current Length: " + FormatTimeText(RoundSeconds((EndFraction - StartFraction) * DurationCopy))));
}

void TfrmMain::SeekPreview(double fraction) {
    if (!m_graph->IsGraphCreated()) return;
    const FileInfo *job = CurrentJob();
    m_graph->SetCurrentPosition((job ? job->Duration : DurationCopy) * fraction);
    if (!m_graph->IsRunning()) m_graph->Pause();
}

void TfrmMain::RefreshAfterRangeChange() {
    FileInfo *job = CurrentJob();
    if (!job) return;
    const int selected = std::max(0, SelectedRow());
    RefreshJobInfo(*job, false, false);
    VideoFileList->RefreshView();
    SelectRowAt(selected);
    VT->setFocus();
}

// Mouse-down on a slider part: the selected row becomes the current job (its
// file is opened in the preview when it was not the current one); without a
// selected row there is no current job and no drag.
#define VELORIN_SLIDER_DOWN(boxes)                                      \
    do {                                                                \
        const int row = SelectedRow();                                  \
        if (row < 0 || !VideoFileList || row > VideoFileList->LastIndex) { \
            CurrentIndex = -1;                                          \
            return;                                                     \
        }                                                               \
        if (row != CurrentIndex) AdoptJob(row);                         \
        CurrentIndex = row;                                             \
        DurationCopy = VideoFileList->Jobs[row].Duration;               \
        Dragging = true;                                                \
        DragStartX = x;                                                 \
        boxes;                                                          \
    } while (0)

void TfrmMain::sImgBtn1MouseDown(int x) { VELORIN_SLIDER_DOWN(SetBoxColour(medtStart, true)); }

void TfrmMain::sImgBtn1MouseMove(int x) {
    if (!Dragging) return;
    const int candidate = sImgBtn1->x() + (x - DragStartX);
    m_h1 = std::max(0, std::min(candidate, m_h2 - 5));
    LayoutBar();
    StartFraction = static_cast<double>(m_h1) / kSliderPixels;
    UpdateRangeTexts();
}

void TfrmMain::sImgBtn1MouseUp() {
    Dragging = false;
    SetBoxColour(medtStart, false);
    FileInfo *job = CurrentJob();
    if (CurrentIndex == -1 || !job) return;
    SeekPreview(StartFraction);
    job->StartTime = StartFraction * job->Duration;
    RefreshAfterRangeChange();
}

void TfrmMain::sImgBtn2MouseDown(int x) { VELORIN_SLIDER_DOWN(SetBoxColour(medtEnd, true)); }

void TfrmMain::sImgBtn2MouseMove(int x) {
    if (!Dragging) return;
    const int candidate = sImgBtn2->x() + (x - DragStartX);
    m_h2 = std::min(kSliderPixels, std::max(candidate, m_h1 + 5));
    LayoutBar();
    EndFraction = static_cast<double>(m_h2) / kSliderPixels;
    UpdateRangeTexts();
}

void TfrmMain::sImgBtn2MouseUp() {
    Dragging = false;
    SetBoxColour(medtEnd, false);
    FileInfo *job = CurrentJob();
    if (CurrentIndex == -1 || !job) return;
    SeekPreview(EndFraction);
    job->EndTime = EndFraction * job->Duration;
    RefreshAfterRangeChange();
}

void TfrmMain::sPanelChildMouseDown(int x) {
    VELORIN_SLIDER_DOWN(SetBoxColour(medtStart, true); SetBoxColour(medtEnd, true));
}

void TfrmMain::sPanelChildMouseMove(int x) {
    if (!Dragging) return;
    const int width = sPanelChild->width();
    const int candidate = sPanelChild->x() + (x - DragStartX);
    // Track left + 2 .. track width - bar width + 2: the range keeps its length.
    const int left = std::max(sPanel->x() + 2, std::min(candidate, sPanel->width() - width + 2));
    m_h1 = left - 6;
    m_h2 = left + width - 6;
    LayoutBar();
    StartFraction = static_cast<double>(m_h1) / kSliderPixels;
    EndFraction = static_cast<double>(m_h2) / kSliderPixels;
    UpdateRangeTexts();
}

void TfrmMain::sPanelChildMouseUp() {
    Dragging = false;
    SetBoxColour(medtStart, false);
    SetBoxColour(medtEnd, false);
    FileInfo *job = CurrentJob();
    if (CurrentIndex == -1 || !job) return;
    SeekPreview(StartFraction);
    job->StartTime = StartFraction * job->Duration;
    job->EndTime = EndFraction * job->Duration;
    RefreshAfterRangeChange();
}

void TfrmMain::suiImageButton6MouseDown(int x) { VELORIN_SLIDER_DOWN((void)0); }

void TfrmMain::suiImageButton6MouseMove(int x) {
    if (!Dragging) return;
    const double candidate = suiImageButton6->x() + static_cast<double>(x - DragStartX);
    const double clamped = std::clamp(candidate, 0.0, static_cast<double>(kSliderPixels));
    suiImageButton6->move(RoundEven(clamped), 1);
    PositionFraction = static_cast<double>(suiImageButton6->x()) / kSliderPixels;
    const FileInfo *job = CurrentJob();
    const double duration = job ? job->Duration : DurationCopy;
    lblCurrent->setText(QString::fromStdString(FormatTimeText(RoundSeconds(duration * PositionFraction))));
}

void TfrmMain::suiImageButton6MouseUp() {
    Dragging = false;
    if (CurrentIndex == -1) return;
    SeekPreview(PositionFraction);
}

#undef VELORIN_SLIDER_DOWN

void TfrmMain::medtStartExit() {
    FileInfo *job = CurrentJob();
    if (CurrentIndex == -1 || !job) return;
    const int t = TimeBoxSeconds(medtStart->displayText());
    if (DurationCopy <= 0 || t >= DurationCopy || t / DurationCopy > EndFraction) {
        StartFraction = 0;
        medtStart->setText("00:00:00");
    } else {
        StartFraction = t / DurationCopy;
    }
    m_h1 = RoundEven(StartFraction * kSliderPixels);
    SeekPreview(StartFraction);
    LayoutBar();
    job->StartTime = StartFraction * job->Duration;
    medtStart->setModified(false);
    Label16->setText(QString::fromStdString(
        "Current Length: " + FormatTimeText(RoundSeconds((EndFraction - StartFraction) * DurationCopy))));
    RefreshAfterRangeChange();
}

void TfrmMain::medtEndExit() {
    FileInfo *job = CurrentJob();
    if (CurrentIndex == -1 || !job) return;
    const int t = TimeBoxSeconds(medtEnd->displayText());
    if (DurationCopy <= 0 || t >= DurationCopy || t / DurationCopy < StartFraction) {
        EndFraction = 1;
        medtEnd->setText(QString::fromStdString(FormatTimeText(RoundSeconds(job->Duration))));
    } else {
        EndFraction = t / DurationCopy;
    }
    m_h2 = RoundEven(EndFraction * kSliderPixels);
    SeekPreview(EndFraction);
    LayoutBar();
    job->EndTime = EndFraction * job->Duration;
    medtEnd->setModified(false);
    Label16->setText(QString::fromStdString(
        "Current Length: " + FormatTimeText(RoundSeconds((EndFraction - StartFraction) * DurationCopy))));
    RefreshAfterRangeChange();
}

// ---- player ------------------------------------------------------------------------------------------
void TfrmMain::btnPlayClick() {
    const FileInfo *job = CurrentJob();
    const double duration = job ? job->Duration : DurationCopy;
    const double at = duration * suiImageButton6->x() / kSliderPixels;
    lblCurrent->setText(QString::fromStdString(FormatTimeText(static_cast<std::int32_t>(std::trunc(at)))));
    if (m_graph->IsGraphCreated()) {
        m_graph->Run();
        timPlay->start();
        return;
    }
    const int row = SelectedRow();
    if (row < 0) return;
    const std::string path = QString(VT->topLevelItem(row)->text(0)).trimmed().toStdString();
    if (OpenPreviewSource(path)) {
        ShowPreviewAt(path, at);
        m_graph->Run();
        timPlay->start();
    }
}

void TfrmMain::btnStopPlayClick() {
    if (!m_graph->IsGraphCreated()) return;
    if (m_graph->Stop()) timPlay->stop();
}

void TfrmMain::timPlayTimer() {
    if (!m_graph->IsGraphCreated()) return;
    double position = 0;
    if (!m_graph->GetCurrentPosition(&position)) position = 0;
    lblCurrent->setText(QString::fromStdString(FormatTimeText(RoundSeconds(position))));
    double duration = 1;
    if (!m_graph->GetDuration(&duration) || duration <= 0) duration = 1;
    const int knob = RoundEven(std::clamp(position * kSliderPixels / duration, 0.0, double(kSliderPixels)));
    // The user's hand on the knob wins over the clock.
    if (knob != suiImageButton6->x() && !Dragging) suiImageButton6->move(knob, 1);
    PositionFraction = static_cast<double>(suiImageButton6->x()) / kSliderPixels;
    // The end of the source: back to the first frame, player stopped. A
    // position past the end counts too (the last timestamp may overshoot).
    if (position >= duration) {
        suiImageButton6->move(0, 1);
        PositionFraction = 0;
        SeekPreview(0);
        btnStopPlayClick();
    }
}

void TfrmMain::btnPSPPreviewClick() {
    if (IsPSPSelected()) {
        const FileInfo *job = CurrentJob();
        const bool ok = job && GrabThumbnail(job->SourceFile);
        ShowAppMessage(ok ? "PSP thumbnail image setted successful." : "PSP thumbnail image setted failed.", false);
        return;
    }
    SaveSnapshot();
}

void TfrmMain::SaveSnapshot() {
    if (!m_graph->IsGraphCreated()) return;
    BusyScope busy(this);
    bool paused = false;
    if (m_graph->IsRunning()) {
        m_graph->Pause();
        paused = true;
    }
    // The frame is taken first, so the picture is the one on screen at the
    // click, then the user names the file.
    const std::string picture = TemporaryPicture("snapshot");
    const bool taken = m_graph->SnapshotBitmap(picture);
    if (!taken) {
        QFile::remove(QString::fromStdString(picture));
        ShowAppMessage("The current frame could not be captured.", true);
    } else {
        FileDialogRequest request;
        request.title = "Save current frame to a bitmap picture";
        request.filter = "bmp file(*.bmp)|*.bmp";
        request.filterIndex = 1;
        std::string chosen = Dialogs().SaveFile(request);
        if (!chosen.empty()) {
            if (QFileInfo(QString::fromStdString(chosen)).suffix().isEmpty()) chosen += ".bmp";
            const QString target = QString::fromStdString(chosen);
            QFile::remove(target);
            if (!QFile::copy(QString::fromStdString(picture), target))
                ShowAppMessage("The picture could not be saved as " + chosen + ".", true);
        }
        QFile::remove(QString::fromStdString(picture));
    }
    if (paused && !m_formClosed) m_graph->Run();
}

}  // namespace velorin
