// Program entry: the Qt application, the window system and dialog service
// of the platform seam, the main window, and an orderly end on SIGTERM and
// SIGINT.
//
// Signals arrive on a self-pipe that a QSocketNotifier watches, so the work
// happens on the GUI thread. The shutdown closes the innermost modal window,
// lets its event loop unwind, and repeats until none is left; then it closes
// the main window as its close button does, so FormClose runs and the
// settings reach config.ini.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "core/DialogService.h"
#include "mainwindow/MainWindow.h"
#include "qtwin/qtwin.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Nothing else is async-signal-safe here; a full pipe already has a wake-up.
    [[maybe_unused]] ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

bool InstallSignalPipe() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

class Shutdown : public QObject {
public:
    bool requested = false;
    QPointer<velorin::TfrmMain> main;
    static constexpr int kPatience = 100;  // steps of 10 ms
    QPointer<QWidget> lastModal;
    int attempts = 0;

    void Request() {
        if (requested) return;
        requested = true;
        Step();
    }

    // One modal window per step; the next step runs once its loop unwound.
    // Windows are asked to close as their close button would (so a running
    // conversion stops through its own handler); message boxes, and windows
    // that keep refusing, are ended with the answer that changes nothing.
    void Step() {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            auto *dialog = qobject_cast<QDialog *>(modal);
            attempts = modal == lastModal ? attempts + 1 : 0;
            lastModal = modal;
            if (dialog && (qobject_cast<QMessageBox *>(dialog) || attempts >= kPatience))
                dialog->done(QDialog::Rejected);
            else
                modal->close();
            QTimer::singleShot(10, this, [this] { Step(); });
            return;
        }
        if (!main) return;  // not created yet: main() closes it when it is
        main->close();
        // A busy command defers the close; it closes the window when it ends.
        if (!main->FormClosed()) QTimer::singleShot(50, this, [this] { Step(); });
    }
};

}  // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velorin");
    qtwin::InstallQtWindowSystem();
    velorin::InstallDialogService(qtwin::QtDialogService());

    Shutdown shutdown;
    std::unique_ptr<QSocketNotifier> notifier;
    if (InstallSignalPipe()) {
        notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &shutdown, [&shutdown] {
            char buffer[16];
            while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
            }
            shutdown.Request();
        });
    }

    int result = 0;
    {
        // FormCreate runs in the constructor (start-up and the splash).
        velorin::TfrmMain window;
        shutdown.main = &window;
        if (shutdown.requested) {
            window.close();
        } else {
            window.show();
            result = QApplication::exec();
        }
        if (!window.FormClosed()) window.FormClose();
    }
    velorin::InstallDialogService(nullptr);
    qtwin::UninstallQtWindowSystem();
    return result;
}
