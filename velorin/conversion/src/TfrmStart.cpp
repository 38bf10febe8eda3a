#include "conversion/TfrmStart.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMoveEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <limits>

#include "conversion/ControlsReader.h"
#include "conversion/OutputProbe.h"
#include "conversion/PspTransfer.h"
#include "conversion/TfrmFinish.h"
#include "TitleStrip.h"
#include "core/DialogService.h"
#include "core/SysConfigure.h"
#include "core/VideoFileList.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "qtwin/qtwin.h"

namespace velorin::conv {

TfrmStart *StartForm = nullptr;

std::int32_t ConversionCompleteCallback() {
    if (StartForm) StartForm->FileConverted();
    return 0;
}

bool OpenInShell(const std::string &target, int mode) {
    bool done = false;
    if (mode == 0 || mode == 1) done = Dialogs().ShellOpen(target);
    if (!done && (mode == 0 || mode == 2)) done = platform::ShellOpen(target);
    if (!done && (mode == 0 || mode == 3)) {
        const QString text = QString::fromStdString(target);
        const QUrl url = QFileInfo::exists(text) ? QUrl::fromLocalFile(text) : QUrl::fromUserInput(text);
        done = url.isValid() && QDesktopServices::openUrl(url);
    }
    return done;
}

namespace {

QString Q(const std::string &text) { return QString::fromStdString(text); }

std::string TimeText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    seconds = std::min(seconds, double(std::numeric_limits<std::int32_t>::max()));
    return FormatTimeText(std::int32_t(seconds));
}

QString Blanks(int n) { return QString(n, QLatin1Char(' ')); }

std::string FolderOfDefault(std::optional<Category> category) {
    if (!category) return platform::HomeFolder() + "/Tarvextemp";
    return DefaultOutputFolder(*category);
}

QImage ImageOf(const JobThumbnail &picture) {
    if (picture.width <= 0 || picture.height <= 0 || picture.stride < picture.width * 4 ||
        picture.pixels.size() < std::size_t(picture.stride) * std::size_t(picture.height))
        return {};
    // Packed BGRA bytes are Qt's RGB32 on a little-endian machine; the
    // alpha byte is ignored.
    return QImage(picture.pixels.data(), picture.width, picture.height, picture.stride,
                  QImage::Format_RGB32)
        .copy();
}

// The numbered pieces the encoder wrote into a VOB job's folder since
// `since`, in order; pieces left there by an earlier run are not this job's.
QStringList VobPieces(const QString &folder, const QDateTime &since) {
    QDir dir(folder);
    QStringList names;
    for (const QFileInfo &info : dir.entryInfoList({"MPEG2_*.vob"}, QDir::Files))
        if (!since.isValid() || info.lastModified() >= since.addSecs(-2)) names << info.fileName();
    auto number = [](const QString &name) {
        return name.mid(6, name.size() - 10).toLongLong();
    };
    std::sort(names.begin(), names.end(),
              [&](const QString &a, const QString &b) { return number(a) < number(b); });
    QStringList paths;
    for (const QString &name : names) paths << dir.filePath(name);
    return paths;
}

}  // namespace

ConversionEnv DefaultConversionEnv(QWidget *mainWindow) {
    ConversionEnv env;
    env.mainWindow = mainWindow;
    env.jobs = VideoFileList;
    if (SysConfigure) {
        env.pspOutputFilenameIndex = &SysConfigure->PSPOutputFilenameIndex;
        env.outputFilenameIndex = &SysConfigure->OutputFilenameIndex;
    }
    env.graph = MakeBrantelGraph();
    return env;
}

TfrmStart::TfrmStart(ConversionEnv env, QWidget *parent) : QDialog(parent), env_(std::move(env)) {
    if (!env_.graph) env_.graph = MakeBrantelGraph();
    if (!env_.showFinishDialog) {
        env_.showFinishDialog = [](const std::string &folder) {
            TfrmFinish finish(nullptr);
            finish.OutputFolder = folder;
            finish.exec();
            return finish.UploadRequested;
        };
    }
    setObjectName("frmStart");
    setWindowTitle(Q(ApplicationTitle()));
    setFixedSize(560, 480);

    auto label = [this](const char *name, int y) {
        auto *l = new QLabel(this);
        l->setObjectName(name);
        l->setGeometry(16, y, 528, 18);
        return l;
    };
    auto button = [this](const char *name, const QString &text, int x, int y, int w, int h) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setGeometry(x, y, w, h);
        return b;
    };

    // Frameless like the program's other windows: the caption and the two
    // window buttons sit on a drawn strip along the top edge.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(FramedWindowStyle(objectName()));
    suiImageButton1 = button("suiImageButton1", "_", 508, 0, 24, 18);
    suiImageButton2 = button("suiImageButton2", "x", 534, 0, 24, 18);
    new TitleStrip(this, windowTitle(), suiImageButton1, suiImageButton2);

    auto *folderLabel = new QLabel("Output Folder:", this);
    folderLabel->setGeometry(16, 24, 100, 22);
    txtTmpFolder = new QLineEdit(Q(platform::MapSystemPath("c:\\Tarvextemp")), this);
    txtTmpFolder->setObjectName("txtTmpFolder");
    txtTmpFolder->setGeometry(116, 24, 300, 22);
    btnTmpFolderBrowse = button("btnTmpFolderBrowse", "Browse...", 424, 24, 60, 22);
    btnDelDir = button("btnDelDir", "Delete", 488, 24, 56, 22);
    checkIfDeleteTmp = new QCheckBox("Delete temporary files when finished", this);
    checkIfDeleteTmp->setObjectName("checkIfDeleteTmp");
    checkIfDeleteTmp->setGeometry(116, 50, 300, 20);
    checkIfDeleteTmp->setChecked(true);

    lblCurrentFile = label("lblCurrentFile", 80);
    lblDestFilename = label("lblDestFilename", 100);
    lblStartTime = label("lblStartTime", 120);
    lblEndTime = label("lblEndTime", 140);
    lblDuration = label("lblDuration", 160);
    lblCurrentTime = label("lblCurrentTime", 180);
    lblElapsed = label("lblElapsed", 200);
    lblTotal = label("lblTotal", 220);
    lblBatchFile = label("lblBatchFile", 240);
    lblBatchLeft = label("lblBatchLeft", 260);

    prgFileConvert = new QProgressBar(this);
    prgFileConvert->setObjectName("prgFileConvert");
    prgFileConvert->setRange(0, 1000);
    prgFileConvert->setValue(0);
    prgFileConvert->setGeometry(16, 290, 528, 18);
    prgFileCopy = new QProgressBar(this);
    prgFileCopy->setObjectName("prgFileCopy");
    prgFileCopy->setRange(0, 1000);
    prgFileCopy->setValue(0);
    prgFileCopy->setGeometry(16, 314, 528, 18);

    btnStart = button("btnStart", "Start", 16, 336, 100, 20);
    BtnStop = button("BtnStop", "Stop", 16, 336, 100, 20);
    BtnStop->hide();
    btnUploadToPSP = button("btnUploadToPSP", "Upload to PSP", 124, 336, 120, 20);
    btnUploadToPSP->setEnabled(false);
    btnCopyToClipboard = button("btnCopyToClipboard", "Copy Log", 444, 336, 100, 20);

    memLog = new QPlainTextEdit(this);
    memLog->setObjectName("memLog");
    memLog->setReadOnly(true);
    memLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memLog->setGeometry(16, 360, 528, 103);

    timPrg = new QTimer(this);
    timPrg->setObjectName("timPrg");
    timPrg->setInterval(1000);
    timPrg->start();

    connect(btnStart, &QPushButton::clicked, this, [this] { btnStartClick(); });
    connect(BtnStop, &QPushButton::clicked, this, [this] { btnStartClick(); });
    connect(btnTmpFolderBrowse, &QPushButton::clicked, this, [this] { btnTmpFolderBrowseClick(); });
    connect(btnDelDir, &QPushButton::clicked, this, [this] { btnDelDirClick(); });
    connect(btnUploadToPSP, &QPushButton::clicked, this, [this] { UploadToPSP(); });
    connect(btnCopyToClipboard, &QPushButton::clicked, this, [this] { btnCopyToClipboardClick(); });
    connect(suiImageButton1, &QPushButton::clicked, this, [this] { showMinimized(); });
    connect(suiImageButton2, &QPushButton::clicked, this, [this] { suiImageButton2Click(); });
    connect(timPrg, &QTimer::timeout, this, [this] { timPrgTimer(); });

    lastCategory_ = ReadSelectedCategory(env_.mainWindow);
    StartForm = this;
}

TfrmStart::~TfrmStart() {
    ++batchSerial_;
    if (env_.graph) env_.graph->Close();
    if (StartForm == this) StartForm = nullptr;
}

std::optional<Category> TfrmStart::SelectedCategory() const {
    // While the main window has all its category buttons disabled together
    // the buttons tell nothing; the last clear reading stands.
    if (const auto live = ReadSelectedCategory(env_.mainWindow)) lastCategory_ = live;
    return lastCategory_;
}

int TfrmStart::JobCount() const { return env_.jobs ? env_.jobs->Count() : 0; }

bool TfrmStart::BatchRunning() const { return running_; }

void TfrmStart::SetRunningButtons(bool running) {
    running_ = running;
    btnStart->setVisible(!running);
    BtnStop->setVisible(running);
}

void TfrmStart::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmStart::FormShow() {
    const auto category = SelectedCategory();
    if (category == Category::PSP) {
        btnUploadToPSP->setVisible(true);
        memLog->setGeometry(memLog->x(), 384, memLog->width(), 79);
    } else {
        btnUploadToPSP->setVisible(false);
        memLog->setGeometry(memLog->x(), 360, memLog->width(), 103);
    }
    txtTmpFolder->setText(Q(FolderOfDefault(category)));
}

void TfrmStart::AddLog(const QString &text) {
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    memLog->appendPlainText(locale.toString(now.date(), QLocale::ShortFormat) + " " +
                            locale.toString(now.time(), QLocale::LongFormat) + " " + text);
}

bool TfrmStart::PrepareTmpFolder() {
    QString text = txtTmpFolder->text();
    if (!text.endsWith('/')) {
        text += '/';
        txtTmpFolder->setText(text);
    }
    TmpFolder = text.toStdString();
    // An empty box would mean the file-system root: never a place to write.
    if (text.trimmed() == "/") return false;
    if (!platform::FolderExists(TmpFolder) && !platform::CreateFolders(TmpFolder)) return false;
    return platform::IsFolderWritable(TmpFolder);
}

void TfrmStart::btnStartClick() {
    if (BatchRunning()) {
        if (Dialogs().MessageBox("Are you sure to cancel progress?", "Confirm", MsgButtons::YesNo,
                                 MsgIcon::Question) == MsgResult::Yes) {
            CancelConversion();
            SetRunningButtons(false);
        }
        return;
    }
    if (uploading_) {
        AddLog(QStringLiteral("Wait for the upload to the PSP to finish first."));
        return;
    }
    if (!PrepareTmpFolder()) {
        Dialogs().MessageBox(
            QString("%1 is an invalid path.\r\nPlease select a valid path at first.")
                .arg(txtTmpFolder->text().trimmed())
                .toStdString(),
            "Error", MsgButtons::Ok, MsgIcon::Error);
        return;
    }
    SetRunningButtons(true);
    repaint();
    StartBatch();
}

void TfrmStart::StartBatch() {
    ++batchSerial_;
    JobIndex = -1;
    batchConvertedSeconds_ = 0;
    batchStartedAt_ = std::chrono::steady_clock::now();
    ConvertNextFile();
}

void TfrmStart::ConvertNextFile() {
    for (;;) {
        ++JobIndex;
        if (JobIndex >= JobCount()) {
            FinishBatch();
            return;
        }
        const FileInfo &job = env_.jobs->Jobs[std::size_t(JobIndex)];
        CurrentSource = job.SourceFile;
        CurrentOutput.clear();
        lblCurrentFile->setText("Current File Name: " + Q(CurrentSource) + Blanks(18));
        lblBatchFile->setText(QString("File %1 of %2").arg(JobIndex + 1).arg(JobCount()));
        AddLog(QStringLiteral("------Start file convert--------------"));
        AddLog("Filename: " + Q(CurrentSource) + Blanks(14));

        if (!env_.graph->OpenSource(CurrentSource)) {
            AddLog(QString("(1)Failed To Render file %1. You need to install corresponding codec.")
                       .arg(Q(CurrentSource)));
            emit fileEnded();
            continue;
        }
        env_.graph->SetNotifyWindow(qtwin::HandleOf(this));
        env_.graph->SetCompletionCallback(&ConversionCompleteCallback);

        // Messages (2), (2.5) and (3) stall the batch: the user decides.
        auto stall = [this](const char *number) {
            AddLog(QString("(%1)Failed To Render file %2. You need to install corresponding codec.")
                       .arg(QLatin1String(number), Q(CurrentSource)));
            Converting = false;
            emit fileEnded();
        };
        bool replaced = false;
        try {
            replaced = env_.graph->ReplaceRenderWithEncoder(SelectedCategory() == Category::Music);
        } catch (...) {
            replaced = false;
        }
        if (!replaced) return stall("2");
        if (!AssembleSettings(record_)) return stall("2.5");
        if (SelectedCategory() == Category::VOB && !platform::CreateFolders(CurrentOutput)) {
            AddLog("Failed to convert " + Q(CurrentSource) + ": cannot create the output folder " +
                   Q(CurrentOutput) + ".");
            env_.graph->Close();
            emit fileEnded();
            continue;
        }
        if (!ApplyEncoderSettings(record_)) return stall("3");
        AddLog(QStringLiteral("All ready for transcode."));
        StartConversion();
        return;
    }
}

bool TfrmStart::AssembleSettings(Mpeg2Parameter &record) {
    try {
        const FileInfo &job = env_.jobs->Jobs[std::size_t(JobIndex)];
        jobValues_.outputName = job.OutputName;
        jobValues_.title = job.Title;
        jobValues_.videoWidth = job.VideoWidth;
        jobValues_.videoHeight = job.VideoHeight;
        OutputControls controls = ReadOutputControls(env_.mainWindow);
        controls.category = SelectedCategory();
        RunningNumbers numbers;
        if (env_.pspOutputFilenameIndex) numbers.pspOutputFilenameIndex = *env_.pspOutputFilenameIndex;
        if (env_.outputFilenameIndex) numbers.outputFilenameIndex = *env_.outputFilenameIndex;
        const bool ok = conv::AssembleSettings(controls, jobValues_, TmpFolder, CurrentSource,
                                               numbers, texts_, record);
        if (env_.pspOutputFilenameIndex) *env_.pspOutputFilenameIndex = numbers.pspOutputFilenameIndex;
        if (env_.outputFilenameIndex) *env_.outputFilenameIndex = numbers.outputFilenameIndex;
        CurrentOutput = texts_.currentOutput;
        return ok;
    } catch (...) {
        return false;
    }
}

bool TfrmStart::ApplyEncoderSettings(Mpeg2Parameter &record) {
    const char *reserved1 = record.Reserved1;
    const char *reserved2 = record.Reserved2;
    record.Reserved1 = "";
    record.Reserved2 = "";
    bool ok = false;
    try {
        ok = env_.graph->SetEncoderSettings(record);
    } catch (...) {
        ok = false;
    }
    record.Reserved1 = reserved1;
    record.Reserved2 = reserved2;
    return ok;
}

void TfrmStart::StartConversion() {
    StartedAt = QDateTime::currentDateTime();
    Converting = true;
    const FileInfo &job = env_.jobs->Jobs[std::size_t(JobIndex)];
    const double start = job.StartTime;
    const double stop = job.EndTime;
    env_.graph->SetStartStopPosition(start, stop);
    RangeStart = start;
    RangeStop = stop;
    RangeLength = stop - start;
    currentPosition_ = 0;
    lastPosition_ = -1;
    lastProgressAt_ = std::chrono::steady_clock::now();
    if (!env_.graph->Run()) {
        FailFile("the conversion graph could not be started");
        return;
    }
    AddLog("Start to convert file: " + Q(CurrentSource));
    timPrg->start();
}

void TfrmStart::timPrgTimer() {
    if (!Converting) return;
    double position = 0;
    if (env_.graph->IsCreated()) {
        if (!env_.graph->GetCurrentPosition(&position) || !std::isfinite(position)) position = 0;
        int p = RangeLength > 0 ? int(std::clamp(prgFileConvert->maximum() * position / RangeLength,
                                                 0.0, 1e6))
                                : 0;
        if (p > 1000) p = 990;
        if (p != prgFileConvert->value()) prgFileConvert->setValue(p);
    }
    currentPosition_ = position;
    const qint64 elapsed = std::max<qint64>(0, StartedAt.secsTo(QDateTime::currentDateTime()));
    lblElapsed->setText("Time Elapsed: " + Q(TimeText(double(elapsed))));
    if (position > 0) {
        const double total = std::max(std::trunc(RangeLength / position * double(elapsed)),
                                      double(elapsed));
        lblTotal->setText("Total Time: " + Q(TimeText(total)));
    }
    lblCurrentFile->setText("Current File Name: " + Q(CurrentSource) + Blanks(2));
    lblCurrentFile->setToolTip(Q(CurrentSource));
    lblDestFilename->setText("Destination File Name: " + Q(CurrentOutput) + Blanks(2));
    lblDestFilename->setToolTip(Q(CurrentOutput));
    lblStartTime->setText("Video Start Time: " + Q(TimeText(std::trunc(RangeStart))) + Blanks(2));
    lblEndTime->setText("Video End Time: " + Q(TimeText(std::trunc(RangeStop))) + Blanks(2));
    lblDuration->setText("Video Duration: " + Q(TimeText(std::trunc(RangeLength))) + Blanks(2));
    lblCurrentTime->setText("Video Current Time: " +
                            Q(TimeText(std::trunc(position + RangeStart))) + Blanks(2));

    // The whole batch: what is left of this file and of the jobs after it,
    // at the speed of the batch so far.
    const auto now = std::chrono::steady_clock::now();
    const double batchElapsed = std::chrono::duration<double>(now - batchStartedAt_).count();
    const double done = batchConvertedSeconds_ + std::max(0.0, position);
    lblBatchFile->setText(QString("File %1 of %2").arg(JobIndex + 1).arg(JobCount()));
    if (done > 0 && batchElapsed > 0) {
        const double left = std::max(0.0, RangeLength - position) + RemainingRangeAfter(JobIndex);
        lblBatchLeft->setText("Batch Time Left: " + Q(TimeText(left / (done / batchElapsed))));
    }

    // Watchdog: a graph that stopped with an error never completes.
    if (position != lastPosition_) {
        lastPosition_ = position;
        lastProgressAt_ = now;
    } else if (now - lastProgressAt_ >= env_.watchdog) {
        FailFile(QString("no progress for %1 seconds, the conversion was given up")
                     .arg(qint64(env_.watchdog.count()))
                     .toStdString());
    }
}

double TfrmStart::RemainingRangeAfter(int jobIndex) const {
    double sum = 0;
    for (int i = jobIndex + 1; i < JobCount(); ++i) {
        const FileInfo &job = env_.jobs->Jobs[std::size_t(i)];
        sum += std::max(0.0, job.EndTime - job.StartTime);
    }
    return sum;
}

QStringList TfrmStart::WrittenOutputs() const {
    if (CurrentOutput.empty()) return {};
    if (SelectedCategory() == Category::VOB) return VobPieces(Q(CurrentOutput), StartedAt);
    if (!QFileInfo(Q(CurrentOutput)).isFile()) return {};
    return {Q(CurrentOutput)};
}

void TfrmStart::LogOutputReport(const std::string &output, double convertedRange) {
    const auto probed = ProbeOutputFile(output);
    if (!probed) {
        AddLog("Output " + Q(output) + " was not written.");
        return;
    }
    if (!probed->duration) {
        AddLog(QString("Output %1: %2 bytes, its duration cannot be read.")
                   .arg(Q(output))
                   .arg(qulonglong(probed->bytes)));
        return;
    }
    AddLog(QString("Output %1: %2 bytes, duration %3 s.")
               .arg(Q(output))
               .arg(qulonglong(probed->bytes))
               .arg(*probed->duration, 0, 'f', 2));
    if (convertedRange - *probed->duration > 1.0)
        AddLog(QString("Warning: output %1 is %2 s shorter than the converted range of %3 s.")
                   .arg(Q(output))
                   .arg(convertedRange - *probed->duration, 0, 'f', 2)
                   .arg(convertedRange, 0, 'f', 2));
}

void TfrmStart::FileConverted() {
    // A completion after a cancel, or a second one for the same file.
    if (!Converting) return;
    Converting = false;
    env_.graph->Stop();
    prgFileConvert->setValue(prgFileConvert->maximum());
    AddLog("Transcode done " + Q(CurrentSource));
    const QStringList written = WrittenOutputs();
    // The graph library reports errors of the graph only as an early end,
    // so a missing or short output is what tells of one.
    if (written.isEmpty())
        AddLog("Failed to convert " + Q(CurrentSource) + ": the encoder wrote no output file " +
               Q(CurrentOutput) + ".");
    if (written.size() == 1) {
        LogOutputReport(written.front().toStdString(), RangeLength);
    } else {
        for (const QString &piece : written) LogOutputReport(piece.toStdString(), 0);
    }
    OutputFiles << written;
    batchConvertedSeconds_ += std::max(0.0, RangeLength);
    QueueAdvance(!written.isEmpty());
}

void TfrmStart::FailFile(const std::string &reason) {
    AddLog("Failed to convert " + Q(CurrentSource) + ": " + Q(reason) + ".");
    Converting = false;
    env_.graph->Close();
    QueueAdvance(false);
}

void TfrmStart::QueueAdvance(bool madeOutput) {
    const std::uint64_t serial = batchSerial_;
    QTimer::singleShot(0, this, [this, serial, madeOutput] {
        emit fileEnded();
        if (serial == batchSerial_ && BatchRunning()) AdvanceBatch(madeOutput);
    });
}

void TfrmStart::AdvanceBatch(bool madeOutput) {
    if (madeOutput && SelectedCategory() == Category::PSP) MakePSPPreviewFiles();
    ConvertNextFile();
}

void TfrmStart::CancelConversion() {
    ++batchSerial_;
    const bool wasConverting = Converting;
    // Stopping the graph lets the encoder finish the file with its trailer.
    env_.graph->Close();
    Converting = false;
    if (wasConverting) {
        AddLog("Conversion of " + Q(CurrentSource) + " cancelled.");
        for (const QString &piece : WrittenOutputs()) {
            AddLog("The partial output " + piece + " was kept.");
            LogOutputReport(piece.toStdString(), 0);
        }
    }
}

void TfrmStart::FinishBatch() {
    env_.graph->Close();
    Converting = false;
    SetRunningButtons(false);
    AddLog(QStringLiteral("All convert done."));
    if (SelectedCategory() == Category::PSP) {
        btnUploadToPSP->setEnabled(true);
        const bool upload = env_.showFinishDialog(txtTmpFolder->text().toStdString());
        emit batchFinished();
        if (upload) UploadToPSP();
        return;
    }
    OpenInShell(txtTmpFolder->text().trimmed().toStdString(), 0);
    emit batchFinished();
}

void TfrmStart::MakePSPPreviewFiles() {
    const std::string bmp = ReplaceLastFour(CurrentOutput, ".bmp");
    const std::string thm = ReplaceLastFour(CurrentOutput, ".THM");
    bool ok = false;
    try {
        const FileInfo &job = env_.jobs->Jobs[std::size_t(JobIndex)];
        if (job.Thumbnail) {
            const QImage image = ImageOf(*job.Thumbnail);
            if (!image.isNull() && image.save(Q(bmp), "BMP")) ok = BmpToJpeg(bmp, thm);
        }
    } catch (...) {
        ok = false;
    }
    platform::DeleteFileAt(bmp);
    if (ok)
        AddLog(QString("Generate psp preview file %1 successful.").arg(Q(thm)));
    else
        AddLog(QString("Failed to generate psp preview file %1.").arg(Q(thm)));
}

namespace {
void CopyErrorNotice(const std::string &text) { ShowAppMessage(text, false); }
}  // namespace

void TfrmStart::UploadToPSP() {
    // The copy pumps the event loop, so the button can be pressed again
    // while it runs.
    if (uploading_) {
        AddLog(QStringLiteral("An upload to the PSP is already running."));
        return;
    }
    std::string folder;
    if (!FindPSPVideoFolder(folder)) {
        ShowAppMessage("Faild to find PSP device.", false);
        return;
    }
    uploading_ = true;
    abortUpload_ = false;
    AddLog("Find video folder on PSP: " + Q(folder));
    const HWND self = qtwin::HandleOf(this);
    auto copyOne = [&](const std::string &source) {
        const std::string destination = folder + "/" + platform::FileNamePart(source);
        lblCurrentFile->setText("Current File Name: " + Q(source));
        lblDestFilename->setText("Destination File Name: " + Q(destination));
        try {
            CopyFileWithProgress(source, destination, self, &CopyErrorNotice, &abortUpload_);
            AddLog(QString("Copy %1 to %2 successful.").arg(Q(source), Q(destination)));
        } catch (const std::exception &) {
            AddLog(QString("Copy %1 to %2 failed.").arg(Q(source), Q(destination)));
        }
    };
    const QStringList files = OutputFiles;  // the list may grow while we copy
    for (const QString &file : files) {
        if (abortUpload_) break;
        copyOne(file.toStdString());
        if (abortUpload_) break;
        copyOne(ReplaceLastFour(file.toStdString(), ".THM"));
    }
    uploading_ = false;
    if (abortUpload_) {
        AddLog(QStringLiteral("The upload to the PSP was cancelled."));
    } else {
        ShowAppMessage("Copy to PSP device successful.", false);
    }
    if (closeAfterUpload_) {
        closeAfterUpload_ = false;
        reject();
    }
}

void TfrmStart::btnCopyToClipboardClick() {
    QApplication::clipboard()->setText(memLog->toPlainText());
}

void TfrmStart::btnTmpFolderBrowseClick() {
    const std::string folder = Dialogs().SelectFolder("Select path", "");
    if (!folder.empty()) txtTmpFolder->setText(Q(folder));
}

void TfrmStart::btnDelDirClick() {
    const std::string folder = txtTmpFolder->text().toStdString();
    if (!platform::FolderExists(folder)) {
        Dialogs().MessageBox(QString("%1 does not existent.").arg(Q(folder)).toStdString(),
                             "Infomation", MsgButtons::Ok, MsgIcon::None);
        return;
    }
    // The desktop's delete would ask first; so do we, and never for the
    // root or the home folder itself.
    const QString clean = QDir::cleanPath(Q(folder));
    const bool refused = clean == "/" || clean == QDir::cleanPath(QDir::homePath());
    if (!refused &&
        Dialogs().MessageBox(QString("Delete the folder %1 and everything in it?").arg(Q(folder)).toStdString(),
                             "Confirm", MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return;
    if (!refused && platform::DeleteFolderTree(folder))
        Dialogs().MessageBox(QString("Delete folder %1 Successful.").arg(Q(folder)).toStdString(),
                             "Successful", MsgButtons::Ok, MsgIcon::None);
    else
        Dialogs().MessageBox(QString("Delete folder %1 Failed.").arg(Q(folder)).toStdString(),
                             "Failed", MsgButtons::Ok, MsgIcon::None);
}

void TfrmStart::suiImageButton2Click() {
    if (!BatchRunning())
        reject();
    else
        btnStartClick();
}

void TfrmStart::reject() {
    if (BatchRunning()) {
        btnStartClick();  // the cancel question; the window stays open
        return;
    }
    if (uploading_) {
        abortUpload_ = true;
        closeAfterUpload_ = true;
        return;
    }
    ++batchSerial_;
    env_.graph->Close();
    QDialog::reject();
}

void TfrmStart::closeEvent(QCloseEvent *event) { QDialog::closeEvent(event); }

void TfrmStart::HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case kGraphNotifyMessage:
        env_.graph->HandleEvent(wparam, lparam);
        break;
    case kCopyProgressMessage:
        if (lparam == 1)
            prgFileCopy->setValue(prgFileCopy->maximum());
        else if (lparam == 0)
            prgFileCopy->setValue(int(std::int64_t(prgFileCopy->maximum()) *
                                      std::int64_t(std::min<WPARAM>(wparam, 100)) / 100));
        break;
    case kMoveMessage:
        env_.graph->NotifyOwnerMessage(qtwin::HandleOf(this), kMoveMessage, wparam, lparam);
        break;
    default:
        break;
    }
}

bool TfrmStart::event(QEvent *event) {
    if (event->type() == qtwin::WindowMessageEvent::EventType()) {
        auto *message = static_cast<qtwin::WindowMessageEvent *>(event);
        HandleWindowMessage(message->message, message->wparam, message->lparam);
        return true;
    }
    return QDialog::event(event);
}

void TfrmStart::moveEvent(QMoveEvent *event) {
    QDialog::moveEvent(event);
    if (env_.graph && env_.graph->IsCreated()) {
        const LPARAM packed = LPARAM((std::uint32_t(event->pos().y() & 0xFFFF) << 16) |
                                     std::uint32_t(event->pos().x() & 0xFFFF));
        HandleWindowMessage(kMoveMessage, 0, packed);
    }
}

}  // namespace velorin::conv
