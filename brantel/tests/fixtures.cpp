#include "fixtures.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <dlfcn.h>
#include <unistd.h>

namespace brantel_test {

TempDir::TempDir() {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/brantel-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data())) path_ = buffer.data();
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

bool Shell(const std::string &command) { return std::system(command.c_str()) == 0; }

bool MakeMedia(const std::string &path, const std::string &arguments) {
    return Shell("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " '" + path + "'");
}

namespace {
std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}
const char *kVideo = "-f lavfi -i testsrc=size=320x240:rate=25";
const char *kAudio = "-f lavfi -i sine=frequency=440:sample_rate=44100";
}  // namespace

bool MakeAudioVideo(const std::string &path, double seconds, const std::string &codecs) {
    return MakeMedia(path, std::string(kVideo) + " " + kAudio + " -t " + Seconds(seconds) + " " + codecs);
}
bool MakeVideoOnly(const std::string &path, double seconds, const std::string &codecs) {
    return MakeMedia(path, std::string(kVideo) + " -t " + Seconds(seconds) + " -an " + codecs);
}
bool MakeAudioOnly(const std::string &path, double seconds, const std::string &codecs) {
    return MakeMedia(path, std::string(kAudio) + " -t " + Seconds(seconds) + " -vn " + codecs);
}

std::string Probe(const std::string &path, const std::string &selector, const std::string &entry) {
    std::string command = "ffprobe -v error ";
    if (selector.empty())
        command += "-show_entries format=" + entry;
    else if (selector == "tags")
        command += "-show_entries format_tags=" + entry;
    else
        command += "-select_streams " + selector + " -show_entries stream=" + entry;
    command += " -of default=noprint_wrappers=1:nokey=1 '" + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return {};
    std::string out;
    std::array<char, 256> chunk{};
    while (std::fgets(chunk.data(), chunk.size(), pipe.get())) out += chunk.data();
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    // Only the first line: a stream selector may match several streams.
    if (auto nl = out.find('\n'); nl != std::string::npos) out.resize(nl);
    return out;
}

double ProbeDouble(const std::string &path, const std::string &selector, const std::string &entry) {
    std::string text = Probe(path, selector, entry);
    if (text.empty() || text == "N/A") return -1.0;
    return std::strtod(text.c_str(), nullptr);
}

double KeyFrameAtOrBefore(const std::string &path, double seconds) {
    const std::string command = "ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,flags "
                                "-of csv=p=0 '" + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(command.c_str(), "r"), ::pclose);
    double best = 0.0;
    std::array<char, 256> line{};
    while (pipe && std::fgets(line.data(), line.size(), pipe.get())) {
        char *comma = std::strchr(line.data(), ',');
        if (!comma || comma[1] != 'K') continue;
        const double t = std::strtod(line.data(), nullptr);
        if (t <= seconds + 1e-6 && t > best) best = t;
    }
    return best;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t LE32(const std::vector<std::uint8_t> &b, std::size_t o) {
    return std::uint32_t(b[o]) | std::uint32_t(b[o + 1]) << 8 | std::uint32_t(b[o + 2]) << 16 | std::uint32_t(b[o + 3]) << 24;
}
std::uint16_t LE16(const std::vector<std::uint8_t> &b, std::size_t o) { return std::uint16_t(b[o] | b[o + 1] << 8); }

bool RegisterModule(const std::string &name) {
    const std::string path = BinDir() + "/" + name;
    if (!std::filesystem::exists(path)) return false;
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) return false;
    using RegisterFn = std::int32_t (*)();
    auto reg = reinterpret_cast<RegisterFn>(dlsym(module, "DllRegisterServer"));
    return reg && reg() >= 0;
}

std::string BinDir() {
    if (const char *bin = std::getenv("VELORIN_BIN"); bin && *bin) return bin;
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

}  // namespace brantel_test
