// Decoding through a graph against the ffmpeg command on the same file.
//
// Makes (in a temporary folder) a 30 s 640x480 MPEG-4 AVI with MP3 audio
// and a 1920x1080 MPEG-4 AVI, builds source -> splitter -> decoders and
// ends each decoder in a Null Renderer (the conversion graph's shape),
// removes the clock and runs to completion. Prints the graph's wall time,
// `ffmpeg -i <file> -f null -` on the same file, their ratio (target 1.2 or
// less), and the peak resident memory while the 1080p source decodes
// (target under 200 MB).
//
//   bench_media_decode [seconds]     (default 30)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/media.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

long StatusKb(const char *key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

bool Make(const std::string &path, const std::string &size, int seconds) {
    std::string cmd = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=" + size +
                      ":rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -ac 2 -t " + std::to_string(seconds) +
                      " -c:v mpeg4 -q:v 4 -g 12 -c:a libmp3lame -b:a 128k '" + path + "'";
    return std::system(cmd.c_str()) == 0;
}

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter *f, PIN_DIRECTION want) {
    std::vector<ComPtr<IPin>> out;
    ComPtr<IEnumPins> e;
    if (FAILED(f->EnumPins(e.PutAddr()))) return out;
    IPin *p = nullptr;
    ULONG n = 0;
    while (e->Next(1, &p, &n) == S_OK) {
        ComPtr<IPin> pin;
        pin.Attach(p);
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        if (d == want) out.push_back(pin);
    }
    return out;
}

struct Result {
    bool ok = false;
    double build = 0, run = 0;
};

// RenderFile, then every renderer replaced by a Null Renderer fed by the
// same decoder output; no clock; run to EC_COMPLETE.
Result DecodeThroughGraph(const std::string &path) {
    Result r;
    ComPtr<IGraphBuilder> g;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, g.PutVoid()))) return r;
    auto t0 = Clock::now();
    std::u16string wide = Utf8ToWide(path);
    if (g->RenderFile(wide.c_str(), nullptr) != S_OK) return r;
    std::vector<ComPtr<IBaseFilter>> renderers;
    {
        ComPtr<IEnumFilters> e;
        g->EnumFilters(e.PutAddr());
        IBaseFilter *f = nullptr;
        ULONG n = 0;
        while (e->Next(1, &f, &n) == S_OK) {
            ComPtr<IBaseFilter> keep;
            keep.Attach(f);
            if (PinsOf(f, PINDIR_OUTPUT).empty()) renderers.push_back(keep);
        }
    }
    for (auto &rf : renderers) {
        auto ins = PinsOf(rf.Get(), PINDIR_INPUT);
        if (ins.empty()) continue;
        ComPtr<IPin> upstream;
        ins[0]->ConnectedTo(upstream.PutAddr());
        g->RemoveFilter(rf.Get());
        if (!upstream) continue;
        ComPtr<IBaseFilter> null;
        if (FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, null.PutVoid()))) return r;
        g->AddFilter(null.Get(), u"Null Renderer");
        if (g->Connect(upstream.Get(), PinsOf(null.Get(), PINDIR_INPUT)[0].Get()) != S_OK) return r;
    }
    ComPtr<IMediaFilter> mf;
    g->QueryInterface(IID_IMediaFilter, mf.PutVoid());
    mf->SetSyncSource(nullptr);
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    g->QueryInterface(IID_IMediaControl, control.PutVoid());
    g->QueryInterface(IID_IMediaEvent, events.PutVoid());
    auto t1 = Clock::now();
    if (FAILED(control->Run())) return r;
    long code = 0;
    HRESULT hr = events->WaitForCompletion(600000, &code);
    auto t2 = Clock::now();
    control->Stop();
    r.ok = SUCCEEDED(hr) && code == EC_COMPLETE;
    r.build = Seconds(t0, t1);
    r.run = Seconds(t1, t2);
    return r;
}

double FfmpegNull(const std::string &path) {
    auto t0 = Clock::now();
    std::string cmd = "ffmpeg -nostdin -loglevel error -i '" + path + "' -f null - ";
    int rc = std::system(cmd.c_str());
    auto t1 = Clock::now();
    return rc == 0 ? Seconds(t0, t1) : -1;
}

}  // namespace

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    char tmpl[] = "/tmp/bench-media-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::filesystem::path dir = tmpl;
    const std::string vga = (dir / "vga.avi").string(), hd = (dir / "hd.avi").string();
    std::printf("making fixtures (%d s 640x480, 10 s 1920x1080 MPEG-4 AVI)...\n", seconds);
    std::fflush(stdout);
    if (!Make(vga, "640x480", seconds) || !Make(hd, "1920x1080", 10)) {
        std::fprintf(stderr, "ffmpeg could not make the fixtures\n");
        return 1;
    }
    CoInitialize(nullptr);
    MediaRegisterBuiltins();  // also keeps the framework library linked in

    // Memory first, so the peak belongs to the 1080p decode.
    const long before = StatusKb("VmRSS:");
    Result h = DecodeThroughGraph(hd);
    const long peak = StatusKb("VmHWM:");
    std::printf("1080p decode: %s in %.2f s; resident before %.1f MB, peak %.1f MB (target < 200 MB)\n",
                h.ok ? "complete" : "FAILED", h.run, before / 1024.0, peak / 1024.0);

    Result g = DecodeThroughGraph(vga);
    const double ff = FfmpegNull(vga);
    const double frames = seconds * 25.0;
    std::printf("graph : %s, build %.3f s, run %.3f s (%.0f frames/s)\n", g.ok ? "complete" : "FAILED", g.build, g.run, frames / g.run);
    std::printf("ffmpeg -f null: %.3f s (%.0f frames/s)\n", ff, ff > 0 ? frames / ff : 0.0);
    if (g.ok && ff > 0) std::printf("ratio graph/ffmpeg: %.2f (target <= 1.2)\n", g.run / ff);

    CoUninitialize();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return g.ok && h.ok ? 0 : 1;
}
