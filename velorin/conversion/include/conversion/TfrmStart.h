// The conversion window: runs the job list through the conversion graph,
// one file after another, with progress, a time-stamped log, cancel, and
// the PSP thumbnails and upload.
//
// The batch is a small state machine driven from the GUI thread only:
//   Idle --start--> Running(converting) --completion--> next file ... --> Idle
//   Running(converting) --open/start failure, abort, watchdog--> next file
//   Running(stalled: encoder missing or refused settings) --stop--> Idle
// A file ends when the graph's completion callback arrives (inside the
// handling of the graph's posted message), when it fails to start, or when
// the watchdog sees no progress for a long time. The step to the next file
// is queued behind the current message, so the graph library never sees its
// instance deleted from inside its own event handling.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "contract/mpeg2parameter.h"
#include "conversion/ConversionGraph.h"
#include "conversion/EncoderSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace velorin {
class TVideoFileList;
}

namespace velorin::conv {

// What the window works on. The program's default takes the job list and
// the running numbers of the program-wide objects and the graph library.
struct ConversionEnv {
    QWidget *mainWindow = nullptr;         // output controls are read here
    TVideoFileList *jobs = nullptr;        // not owned
    std::int32_t *pspOutputFilenameIndex = nullptr;  // not owned
    std::int32_t *outputFilenameIndex = nullptr;     // not owned
    std::unique_ptr<ConversionGraph> graph;
    // Shows the finish dialog for the folder; true when the upload was
    // asked for. Default: TfrmFinish, modal.
    std::function<bool(const std::string &folder)> showFinishDialog;
    // A file whose position has not moved for this long is given up.
    std::chrono::seconds watchdog{180};
};

ConversionEnv DefaultConversionEnv(QWidget *mainWindow);

class TfrmStart : public QDialog {
    Q_OBJECT
public:
    TfrmStart(ConversionEnv env, QWidget *parent = nullptr);
    ~TfrmStart() override;

    // Components.
    QLineEdit *txtTmpFolder;
    QPushButton *btnTmpFolderBrowse;
    QPushButton *btnDelDir;
    QCheckBox *checkIfDeleteTmp;
    QPushButton *btnStart;
    QPushButton *BtnStop;
    QPushButton *btnUploadToPSP;
    QPushButton *btnCopyToClipboard;
    QProgressBar *prgFileConvert;
    QProgressBar *prgFileCopy;
    QPlainTextEdit *memLog;
    QLabel *lblCurrentFile;
    QLabel *lblDestFilename;
    QLabel *lblStartTime;
    QLabel *lblEndTime;
    QLabel *lblDuration;
    QLabel *lblCurrentTime;
    QLabel *lblElapsed;
    QLabel *lblTotal;
    QLabel *lblBatchFile;  // "File 2 of 5"
    QLabel *lblBatchLeft;  // estimate for the whole batch
    QTimer *timPrg;
    QPushButton *suiImageButton1;
    QPushButton *suiImageButton2;

    // Fields.
    std::string TmpFolder;
    std::int32_t JobIndex = -1;
    std::string CurrentSource;
    std::string CurrentOutput;
    bool Converting = false;
    double RangeStart = 0;
    double RangeStop = 0;
    double RangeLength = 0;
    QStringList OutputFiles;
    QDateTime StartedAt;

    // Handlers and steps (public so tests can drive them).
    void FormShow();
    bool PrepareTmpFolder();
    void btnStartClick();  // also BtnStop's
    void btnTmpFolderBrowseClick();
    void btnDelDirClick();
    void btnCopyToClipboardClick();
    void suiImageButton2Click();
    void StartBatch();
    void ConvertNextFile();
    bool AssembleSettings(Mpeg2Parameter &record);
    bool ApplyEncoderSettings(Mpeg2Parameter &record);
    void StartConversion();
    void timPrgTimer();
    void FileConverted();
    void CancelConversion();
    void FinishBatch();
    void MakePSPPreviewFiles();
    void UploadToPSP();
    void AddLog(const QString &text);
    void AddLog(const std::string &text) { AddLog(QString::fromStdString(text)); }
    void HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam);
    // Closing (title-bar button, Escape, the window manager): asks the cancel
    // question while a batch runs; stops an upload first.
    void reject() override;

    // True while a batch runs (BtnStop shown), stalled or not.
    bool BatchRunning() const;
    bool Uploading() const { return uploading_; }
    std::optional<Category> SelectedCategory() const;
    ConversionGraph &Graph() { return *env_.graph; }

signals:
    // After every file has ended in one way or another, and when the batch
    // has finished; tests wait on these.
    void fileEnded();
    void batchFinished();

protected:
    bool event(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void SetRunningButtons(bool running);
    void FailFile(const std::string &reason);
    void QueueAdvance(bool madeOutput);
    void AdvanceBatch(bool madeOutput);
    void LogOutputReport(const std::string &output, double convertedRange);
    QStringList WrittenOutputs() const;
    double RemainingRangeAfter(int jobIndex) const;
    int JobCount() const;

    ConversionEnv env_;
    JobValues jobValues_;  // the record points at its title until the next job
    bool running_ = false;
    mutable std::optional<Category> lastCategory_;
    bool closeAfterUpload_ = false;
    Mpeg2Parameter record_{};
    AssembledTexts texts_;
    std::uint64_t batchSerial_ = 0;  // bumped on cancel/new batch; queued steps check it
    bool uploading_ = false;
    bool abortUpload_ = false;
    // Watchdog and batch estimate.
    double lastPosition_ = -1;
    std::chrono::steady_clock::time_point lastProgressAt_;
    std::chrono::steady_clock::time_point batchStartedAt_;
    double batchConvertedSeconds_ = 0;
    double currentPosition_ = 0;
};

// The open conversion window, or null.
extern TfrmStart *StartForm;
// The graph's completion callback: FileConverted on StartForm.
std::int32_t ConversionCompleteCallback();

// Opens a path or address with the desktop: mode 0 tries every way in turn,
// 1 the dialog service's shell open, 2 the platform's opener, 3 Qt's desktop
// services. True when a way succeeded.
bool OpenInShell(const std::string &target, int mode);

}  // namespace velorin::conv
