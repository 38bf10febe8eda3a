// Thumbnails beside PSP outputs, finding the PSP among the mounted volumes
// and copying files to it with progress messages.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/window.h"

namespace velorin::conv {

// Posted to the conversion window while copying: wparam = percent of the
// current file (0..100) with lparam 0, or wparam 0 with lparam 1 once a
// file has been copied completely.
constexpr UINT kCopyProgressMessage = 0x046E;
// Posted by the graph when it has events queued.
constexpr UINT kGraphNotifyMessage = 0x0414;
constexpr UINT kMoveMessage = 3;

// The folder of the PSP's videos, relative to the volume's root.
constexpr const char *kPspVideoFolder = "MP_ROOT/100MNV01";
constexpr int kCopyBlockSize = 500;

class CopyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Path with its last four characters (".mp4") replaced by `extension`.
std::string ReplaceLastFour(const std::string &path, const std::string &extension);

// Loads a bitmap file and writes it as a baseline JPEG of quality 90 with
// 24-bit colour. Throws CopyError when the bitmap cannot be read or the
// JPEG cannot be written.
bool BmpToJpeg(const std::string &bitmapPath, const std::string &jpegPath);

// The first mounted removable volume holding MP_ROOT/100MNV01; the folder
// (no trailing separator) goes to `folder`.
bool FindPSPVideoFolder(std::string &folder);

// Copies in 500-byte blocks, posting kCopyProgressMessage to `window` when
// the percentage changes and processing pending GUI events after every
// block; after the last block the completion message. Throws CopyError on
// failure (source or destination cannot be opened: nothing is posted; a
// short write or read error: `onError` is called with the system's text
// first). When `abort` becomes true during the copy it stops with an error
// and without a notice.
// The partial destination stays.
void CopyFileWithProgress(const std::string &source, const std::string &destination,
                          HWND window, void (*onError)(const std::string &text) = nullptr,
                          const bool *abort = nullptr);

}  // namespace velorin::conv
