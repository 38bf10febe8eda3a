// Media made by the tests with the ffmpeg command in a private temporary
// folder, and an independent look at files through ffprobe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brantel_test {

// A temporary folder removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &Path() const { return path_; }
    std::string File(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs a shell command quietly; true on exit status 0.
bool Shell(const std::string &command);

// Makes `path` with ffmpeg: `inputs` are the lavfi inputs and codec
// options between "ffmpeg -y" and the output path. False when ffmpeg fails.
bool MakeMedia(const std::string &path, const std::string &arguments);

// Common fixtures: 320x240 at 25 fps with a 440 Hz tone, `seconds` long.
bool MakeAudioVideo(const std::string &path, double seconds = 2.0, const std::string &codecs = "");
bool MakeVideoOnly(const std::string &path, double seconds = 2.0, const std::string &codecs = "");
bool MakeAudioOnly(const std::string &path, double seconds = 2.0, const std::string &codecs = "");

// One value of ffprobe for the first stream matching `selector` ("v:0",
// "a:0"), for the format (empty selector) or its tags ("tags"), e.g.
// entry "codec_name".
std::string Probe(const std::string &path, const std::string &selector, const std::string &entry);
double ProbeDouble(const std::string &path, const std::string &selector, const std::string &entry);

// Time of the last video key frame at or before `seconds` (ffprobe's view).
double KeyFrameAtOrBefore(const std::string &path, double seconds);

std::vector<std::uint8_t> ReadFileBytes(const std::string &path);
std::uint32_t LE32(const std::vector<std::uint8_t> &bytes, std::size_t offset);
std::uint16_t LE16(const std::vector<std::uint8_t> &bytes, std::size_t offset);

// Loads a filter module from BinDir() and calls its DllRegisterServer, as
// the program does at start-up. False when the module is not built.
bool RegisterModule(const std::string &name);

// The folder holding the built modules (VELORIN_BIN, else the test's own).
std::string BinDir();

}  // namespace brantel_test
