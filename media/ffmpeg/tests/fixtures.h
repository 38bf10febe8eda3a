// Media fixtures for the stock-filter tests: short files made with the
// ffmpeg command in a private temporary folder, and ffprobe as the
// independent reader.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sys/stat.h>
#include <string>

namespace mediaff::fixtures {

inline std::string RunCapture(const std::string &cmd) {
    std::string out;
    FILE *p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

// One folder per test process, removed at exit.
class FixtureDir {
public:
    static FixtureDir &Get() {
        static FixtureDir dir;
        return dir;
    }
    const std::filesystem::path &Path() const { return path_; }
    ~FixtureDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }

    // Makes (once) a file from a test pattern and a tone: `seconds` long,
    // 320x240 at 25 fps, 44100 Hz stereo, with the given ffmpeg output
    // options. Returns "" when ffmpeg failed.
    std::string Make(const std::string &name, const std::string &outputOptions, double seconds = 2.0,
                     const std::string &inputs = "") {
        auto it = made_.find(name);
        if (it != made_.end()) return it->second;
        std::string path = (path_ / name).string();
        std::string in = inputs.empty()
                             ? "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -ac 2"
                             : inputs;
        std::string cmd = "ffmpeg -nostdin -loglevel error -y " + in + " -t " + std::to_string(seconds) + " " + outputOptions +
                          " '" + path + "' 2>&1";
        int rc = std::system(cmd.c_str());
        std::string result = (rc == 0 && std::filesystem::exists(path)) ? path : std::string();
        made_[name] = result;
        return result;
    }

    std::string WriteBytes(const std::string &name, const std::string &bytes) {
        std::string path = (path_ / name).string();
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::string RandomFile(const std::string &name, size_t size, unsigned seed = 7) {
        std::mt19937 rng(seed);
        std::string bytes(size, '\0');
        for (char &c : bytes) c = static_cast<char>(rng() & 0xFF);
        return WriteBytes(name, bytes);
    }

    // The first half of `source`, under a new name.
    std::string Truncated(const std::string &source, const std::string &name, double fraction = 0.5) {
        std::ifstream in(source, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * fraction));
        return WriteBytes(name, bytes);
    }

    // A copy of `source` with the middle fifth overwritten by noise.
    std::string Damaged(const std::string &source, const std::string &name) {
        std::ifstream in(source, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::mt19937 rng(99);
        for (size_t i = bytes.size() * 2 / 5; i < bytes.size() * 3 / 5; ++i) bytes[i] = static_cast<char>(rng() & 0xFF);
        return WriteBytes(name, bytes);
    }

    // A named pipe under a media name (opening it for reading would block).
    std::string Fifo(const std::string &name) {
        std::string path = (path_ / name).string();
        ::mkfifo(path.c_str(), 0600);
        return path;
    }

private:
    FixtureDir() {
        char tmpl[] = "/tmp/mediaff-test-XXXXXX";
        const char *p = ::mkdtemp(tmpl);
        path_ = p ? p : "/tmp";
    }
    std::filesystem::path path_;
    std::map<std::string, std::string> made_;
};

// ffprobe's value of one stream entry ("codec_name", "width", ...) of the
// first stream of the given type ("v" or "a").
inline std::string Probe(const std::string &path, const std::string &streamType, const std::string &entry) {
    std::string cmd = "ffprobe -v error -select_streams " + streamType + ":0 -show_entries stream=" + entry +
                      " -of default=nw=1:nk=1 '" + path + "' 2>/dev/null";
    std::string out = RunCapture(cmd);
    if (auto nl = out.find('\n'); nl != std::string::npos) out.resize(nl);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

inline double ProbeDuration(const std::string &path) {
    std::string out = RunCapture("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 '" + path + "' 2>/dev/null");
    return std::atof(out.c_str());
}

// Output options of the containers the tests cover.
struct ContainerCase {
    const char *name;       // file name, extension included
    const char *options;    // ffmpeg output options
    const char *videoCodec; // ffprobe codec_name of the video stream
};

inline const ContainerCase kContainers[] = {
    {"clip.avi", "-c:v mpeg4 -g 12 -c:a libmp3lame -b:a 128k", "mpeg4"},
    {"clip.mpg", "-c:v mpeg1video -g 12 -c:a mp2", "mpeg1video"},
    {"clip.mp4", "-c:v libx264 -preset ultrafast -g 12 -c:a aac", "h264"},
    {"clip.mov", "-c:v mpeg4 -g 12 -c:a aac", "mpeg4"},
    {"clip.wmv", "-c:v wmv2 -g 12 -c:a wmav2", "wmv2"},
    {"clip.flv", "-c:v flv -g 12 -c:a libmp3lame -ar 44100", "flv1"},
    {"clip.rm", "-c:v rv10 -g 12 -c:a ac3", "rv10"},
    {"clip.mkv", "-c:v libvpx -deadline realtime -g 12 -c:a libvorbis", "vp8"},
    {"clip.ts", "-c:v mpeg2video -g 12 -c:a mp2", "mpeg2video"},
    {"clip.3gp", "-c:v h263 -g 12 -s 352x288 -c:a aac -ar 22050 -ac 1", "h263"},
    {"clip.vob", "-f vob -c:v mpeg2video -g 12 -c:a ac3", "mpeg2video"},
    {"clip.swf", "-c:v flv -g 12 -c:a libmp3lame -ar 22050", "flv1"},
    {"clip.asf", "-c:v wmv2 -g 12 -c:a wmav2", "wmv2"},
    {"clip.webm", "-c:v libvpx -deadline realtime -g 12 -c:a libopus -ar 48000", "vp8"},
    {"clip.3g2", "-c:v h263 -g 12 -s 176x144 -c:a aac -ar 22050 -ac 1", "h263"},
};

}  // namespace mediaff::fixtures
