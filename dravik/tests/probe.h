// Test helpers: run a command, read a file's streams with ffprobe, decode
// with the ffmpeg command, and make synthetic pictures and tones.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace dravik::test {

inline std::string Shell(const std::string &cmd, int *status = nullptr) {
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = pclose(p);
    if (status) *status = st;
    return out;
}

inline std::string Quote(const std::string &s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

struct StreamInfo {
    std::string type, codec;
    int width = 0, height = 0, sampleRate = 0, channels = 0;
    double frameRate = 0;  // avg_frame_rate, else r_frame_rate
};

struct ProbeInfo {
    bool ok = false;
    std::string format;
    double duration = -1;
    std::vector<StreamInfo> streams;
    const StreamInfo *Find(const std::string &type) const {
        for (const auto &s : streams)
            if (s.type == type) return &s;
        return nullptr;
    }
};

inline double Rate(const std::string &r) {
    auto slash = r.find('/');
    if (slash == std::string::npos) return std::atof(r.c_str());
    double d = std::atof(r.c_str() + slash + 1);
    return d == 0 ? 0 : std::atof(r.substr(0, slash).c_str()) / d;
}

inline ProbeInfo Probe(const std::string &file) {
    ProbeInfo info;
    std::string out = Shell("ffprobe -v error -show_entries "
                          "format=format_name,duration:stream=codec_type,codec_name,width,height,avg_frame_rate,"
                          "r_frame_rate,sample_rate,channels -of flat " + Quote(file) + " 2>/dev/null");
    std::map<std::string, std::string> kv;
    std::size_t pos = 0;
    while (pos < out.size()) {
        std::size_t nl = out.find('\n', pos);
        if (nl == std::string::npos) nl = out.size();
        std::string line = out.substr(pos, nl - pos);
        pos = nl + 1;
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string v = line.substr(eq + 1);
        if (v.size() >= 2 && v.front() == '"') v = v.substr(1, v.size() - 2);
        kv[line.substr(0, eq)] = v;
    }
    if (!kv.count("format.format_name")) return info;
    info.ok = true;
    info.format = kv["format.format_name"];
    if (kv.count("format.duration") && kv["format.duration"] != "N/A") info.duration = std::atof(kv["format.duration"].c_str());
    for (int i = 0; kv.count("streams.stream." + std::to_string(i) + ".codec_type"); ++i) {
        std::string p = "streams.stream." + std::to_string(i) + ".";
        StreamInfo s;
        s.type = kv[p + "codec_type"];
        s.codec = kv[p + "codec_name"];
        s.width = std::atoi(kv[p + "width"].c_str());
        s.height = std::atoi(kv[p + "height"].c_str());
        s.sampleRate = std::atoi(kv[p + "sample_rate"].c_str());
        s.channels = std::atoi(kv[p + "channels"].c_str());
        s.frameRate = Rate(kv[p + "avg_frame_rate"]);
        if (s.frameRate <= 0) s.frameRate = Rate(kv[p + "r_frame_rate"]);
        info.streams.push_back(s);
    }
    // Some containers (swf) carry no duration: count the pictures.
    if (info.duration < 0) {
        if (const StreamInfo *v = info.Find("video"); v && v->frameRate > 0) {
            std::string n = Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                  "stream=nb_read_frames -of csv=p=0 " + Quote(file) + " 2>/dev/null");
            info.duration = std::atoi(n.c_str()) / v->frameRate;
        }
    }
    return info;
}

// Decodes the whole file; returns what the ffmpeg command reports as errors.
inline std::string DecodeErrors(const std::string &file) {
    return Shell("ffmpeg -nostdin -v error -i " + Quote(file) + " -f null - 2>&1");
}

// Number of decoded video frames.
inline int CountFrames(const std::string &file) {
    std::string out = Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                          "-of csv=p=0 " + Quote(file) + " 2>/dev/null");
    return std::atoi(out.c_str());
}

// Luma of the first decoded frame at `seconds` (gray, width x height bytes).
inline std::vector<std::uint8_t> DecodeGray(const std::string &file, double seconds = 0) {
    std::string raw = file + ".gray";
    Shell("ffmpeg -nostdin -v error -y -ss " + std::to_string(seconds) + " -i " + Quote(file) +
        " -frames:v 1 -f rawvideo -pix_fmt gray " + Quote(raw) + " 2>&1");
    std::vector<std::uint8_t> bytes;
    if (FILE *f = fopen(raw.c_str(), "rb")) {
        std::uint8_t buf[65536];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
        fclose(f);
    }
    std::filesystem::remove(raw);
    return bytes;
}

// Mean volume in dB of the first audio stream (the volumedetect filter).
inline double MeanVolume(const std::string &file) {
    std::string out = Shell("ffmpeg -nostdin -i " + Quote(file) + " -af volumedetect -vn -f null - 2>&1");
    auto p = out.find("mean_volume:");
    if (p == std::string::npos) return -1000;
    return std::atof(out.c_str() + p + 12);
}

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/dravik-test-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string &name) const { return path_ + "/" + name; }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

// A bottom-up 32-bit BGRX picture: a moving diagonal gradient.
inline std::vector<std::uint8_t> Bgrx(int w, int h, int index) {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t *px = &p[(static_cast<std::size_t>(y) * w + x) * 4];
            px[0] = static_cast<std::uint8_t>(x + index * 3);
            px[1] = static_cast<std::uint8_t>(y * 2);
            px[2] = static_cast<std::uint8_t>((x + y) / 2 + index);
            px[3] = 0;
        }
    return p;
}

// Interleaved 16-bit stereo sine samples starting at sample `first`.
inline std::vector<std::int16_t> Tone(int rate, int channels, std::int64_t first, int count, double amp = 8000,
                                      double freq = 440) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(count) * channels);
    for (int i = 0; i < count; ++i) {
        double v = amp * std::sin(2 * M_PI * freq * static_cast<double>(first + i) / rate);
        for (int c = 0; c < channels; ++c) s[static_cast<std::size_t>(i) * channels + c] = static_cast<std::int16_t>(v);
    }
    return s;
}

}  // namespace dravik::test
