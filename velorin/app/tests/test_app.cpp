// The program as a process: SIGTERM and SIGINT end it in order, also while
// a modal window (the splash, a message box) is open, and the close handler
// writes config.ini.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdlib>

namespace {

// A copy of the program in its own folder, with links to its libraries and
// modules, so config.ini lands in the copy's folder.
class ProgramCopy {
public:
    ProgramCopy() {
        // VELORIN_BIN, else this test's own folder (the build's bin folder).
        QString bin = QString::fromLocal8Bit(std::getenv("VELORIN_BIN") ? std::getenv("VELORIN_BIN") : "");
        if (bin.isEmpty()) bin = QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
        valid = dir.isValid() && !bin.isEmpty() && QFile::copy(bin + "/velorin", Path("velorin"));
        if (!valid) return;
        QFile::setPermissions(Path("velorin"), QFile::permissions(bin + "/velorin"));
        for (const QFileInfo &entry : QDir(bin).entryInfoList({"*.so", "*.so.*", "*.ax", "help"})) {
            QFile::link(entry.absoluteFilePath(), Path(entry.fileName()));
        }
    }
    QString Path(const QString &name) const { return QDir(dir.path()).filePath(name); }

    QTemporaryDir dir;
    bool valid = false;
};

QString ReadFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

struct SignalCase {
    const char *name;
    int signal;
    int waitMs;  // before the signal: inside the splash, or after it
    const char *missingModule;  // left out of the copy: a start-up error box
};

class SignalTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalTest, EndsInOrderAndSavesTheSettings) {
    const SignalCase &c = GetParam();
    ProgramCopy program;
    ASSERT_TRUE(program.valid) << "VELORIN_BIN must name the build's bin folder";
    if (c.missingModule) QFile::remove(program.Path(c.missingModule));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(program.Path("velorin"), {});
    ASSERT_TRUE(process.waitForStarted(10000));
    QThread::msleep(c.waitMs);
    ASSERT_EQ(process.state(), QProcess::Running) << process.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(process.processId()), c.signal);
    ASSERT_TRUE(process.waitForFinished(15000)) << "the program did not end";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), 0);
    const QString ini = ReadFile(program.Path("config.ini"));
    EXPECT_TRUE(ini.contains("[AppData]")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("VideoQuality=900"));
    EXPECT_TRUE(ini.contains("OutoutType=0"));
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalTest,
                         ::testing::Values(SignalCase{"TermDuringSplash", SIGTERM, 1000, nullptr},
                                           SignalCase{"IntAfterSplash", SIGINT, 4500, nullptr},
                                           SignalCase{"TermDuringStartUpError", SIGTERM, 1000, "rmsp.ax"}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
