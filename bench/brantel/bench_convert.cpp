// Converts a 10-second 640x480 MPEG-4/MP3 AVI to a 320x240 MPEG-4/AAC MP4
// through the graph library (Create, RenderFile, ReplaceRenderWithMpeg2Enc,
// SetMpeg2Parameter, SetStartStopPosition, Run, HandleEvent until the
// completion callback) and with the ffmpeg command; prints both wall times
// and their ratio. Run by hand: build/bin/bench_brantel_convert [seconds]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <dlfcn.h>

#include "brantel/brantel.h"
#include "contract/mpeg2parameter.h"
#include "fixtures.h"

using Clock = std::chrono::steady_clock;

namespace {
bool g_done = false;
std::int32_t BRANTEL_API OnComplete() {
    g_done = true;
    return 0;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
}  // namespace

int main(int argc, char **argv) {
    const double length = argc > 1 ? std::atof(argv[1]) : 10.0;
    brantel_test::TempDir dir;
    const std::string source = dir.File("source.avi");
    const std::string viaGraph = dir.File("graph.mp4");
    const std::string viaTool = dir.File("tool.mp4");
    if (!brantel_test::MakeMedia(source, "-f lavfi -i testsrc=size=640x480:rate=25 -f lavfi -i "
                                         "sine=frequency=440:sample_rate=44100 -t " + std::to_string(length) +
                                         " -c:v mpeg4 -q:v 4 -c:a mp3")) {
        std::fprintf(stderr, "could not make the source with ffmpeg\n");
        return 1;
    }
    void *encoder = dlopen((brantel_test::BinDir() + "/dravik.ax").c_str(), RTLD_NOW);
    auto reg = encoder ? reinterpret_cast<std::int32_t (*)()>(dlsym(encoder, "DllRegisterServer")) : nullptr;
    if (!reg || reg() < 0) {
        std::fprintf(stderr, "dravik.ax could not be registered\n");
        return 1;
    }
    Initialize();

    Mpeg2Parameter p;
    std::memset(&p, 0, sizeof p);
    p.SourcePath = source.c_str();
    p.OutputPath = viaGraph.c_str();
    p.OutputType = 6;
    p.FrameRateMode = 2;
    p.AspectRatio = 1;
    p.VbrType = 1;
    p.ChannelMode = 2;
    p.VideoBitsPerSec = 768000;
    p.AudioBitsPerSec = 128000;
    p.Reserved1 = p.Reserved2 = p.Title = "";
    p.FrameRate = 25;
    p.FrameRateBase = 1;
    p.FrameWidth = 320;
    p.FrameHeight = 240;
    p.OutputQuality = 6;
    p.Reversal = 1;
    p.SampleRate = 44100;
    p.VolumeScale = 256;
    p.ThreeGpSize = 3;

    const auto t0 = Clock::now();
    if (!Create() || !RenderFile(source.c_str()) || !Set_CallBackEC_COMPLETE(&OnComplete) ||
        !ReplaceRenderWithMpeg2Enc(0) || !SetMpeg2Parameter(&p) || !SetStartStopPosition(0, length) || !Run()) {
        std::fprintf(stderr, "the conversion graph could not be built\n");
        return 1;
    }
    const auto deadline = t0 + std::chrono::minutes(5);
    while (!g_done && Clock::now() < deadline) {
        HandleEvent(0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Stop();
    DeleteFilterGraph();
    const double graphTime = Seconds(Clock::now() - t0);
    if (!g_done) {
        std::fprintf(stderr, "no completion within 5 minutes\n");
        return 1;
    }

    const auto t1 = Clock::now();
    brantel_test::Shell("ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + source +
                        "' -s 320x240 -c:v mpeg4 -b:v 768k -c:a aac -b:a 128k '" + viaTool + "'");
    const double toolTime = Seconds(Clock::now() - t1);

    std::printf("source: %.1f s of 640x480 MPEG-4 + MP3\n", length);
    std::printf("graph library conversion: %.3f s (%.1f x real time), output %.2f s\n", graphTime,
                length / graphTime, brantel_test::ProbeDouble(viaGraph, "", "duration"));
    std::printf("ffmpeg command:           %.3f s (%.1f x real time)\n", toolTime, length / toolTime);
    std::printf("ratio graph/ffmpeg:       %.2f\n", graphTime / toolTime);
    Uninitialize();
    return 0;
}
