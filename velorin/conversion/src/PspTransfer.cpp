#include "conversion/PspTransfer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>

#include "platform/volumes.h"

namespace velorin::conv {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    // Closes now; false (errno set) when the close reported an error, as a
    // full device may only report it here.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string SystemText(int error) { return std::strerror(error); }

}  // namespace

std::string ReplaceLastFour(const std::string &path, const std::string &extension) {
    const std::size_t keep = path.size() >= 4 ? path.size() - 4 : 0;
    return path.substr(0, keep) + extension;
}

bool BmpToJpeg(const std::string &bitmapPath, const std::string &jpegPath) {
    QImage image;
    if (!image.load(QString::fromStdString(bitmapPath), "BMP"))
        throw CopyError("Cannot read the bitmap " + bitmapPath);
    image = image.convertToFormat(QImage::Format_RGB888);
    QImageWriter writer(QString::fromStdString(jpegPath), "jpeg");
    writer.setQuality(90);
    writer.setOptimizedWrite(false);
    writer.setProgressiveScanWrite(false);  // baseline: what the device reads
    if (!writer.write(image))
        throw CopyError("Cannot write the JPEG " + jpegPath + ": " +
                        writer.errorString().toStdString());
    return true;
}

bool FindPSPVideoFolder(std::string &folder) {
    const auto found = platform::FindRemovableFolders(kPspVideoFolder);
    if (found.empty()) return false;
    folder = found.front();
    return true;
}

void CopyFileWithProgress(const std::string &source, const std::string &destination,
                          HWND window, void (*onError)(const std::string &text),
                          const bool *abort) {
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) throw CopyError("Cannot open " + source + ": " + SystemText(errno));
    Fd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.get() < 0)
        throw CopyError("Cannot create " + destination + ": " + SystemText(errno));

    const off_t size = ::lseek(in.get(), 0, SEEK_END);
    ::lseek(in.get(), 0, SEEK_SET);

    auto fail = [&](const std::string &text) {
        if (onError) onError(text);
        throw CopyError(text);
    };

    std::uint64_t sum = 0;
    int lastPercent = -1;
    char block[kCopyBlockSize];
    for (;;) {
        if (abort && *abort) throw CopyError("The copy was cancelled.");
        const ssize_t got = ::read(in.get(), block, sizeof block);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(SystemText(errno));
        }
        if (got == 0) break;
        ssize_t written = 0;
        while (written < got) {
            const ssize_t n = ::write(out.get(), block + written, std::size_t(got - written));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) fail(n < 0 ? SystemText(errno) : std::string("Error copying file"));
            written += n;
        }
        sum += std::uint64_t(got);
        const int percent = size > 0 ? int(sum * 100 / std::uint64_t(size)) : 100;
        // One message per percent step: the same value again tells nothing.
        if (percent != lastPercent) {
            platform::PostMessage(window, kCopyProgressMessage, WPARAM(percent), 0);
            lastPercent = percent;
        }
        QCoreApplication::processEvents();
    }
    if (!out.Close()) fail(SystemText(errno));
    in.Close();
    platform::PostMessage(window, kCopyProgressMessage, 0, 1);
}

}  // namespace velorin::conv
