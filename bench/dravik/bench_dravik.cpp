// Wall time of conversions through the graph (file source, splitter,
// decoders, the encoder filter) against the ffmpeg command doing the same
// work with the same codecs, bit rates, frame size and sample rate; and the
// peak memory of a 1080p conversion. Prints figures only.
//
//   bench_dravik [seconds]     (source length, default 10)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "graph.h"
#include "probe.h"

using namespace dravik;
using namespace dravik::test;

namespace {

double Seconds(std::chrono::steady_clock::time_point a) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

// Converts through the graph; returns wall seconds or -1.
double ConvertThroughGraph(const std::string &src, const Mpeg2Parameter &p) {
    auto t0 = std::chrono::steady_clock::now();
    ConversionGraph g;
    if (!g.Open(src, false)) {
        std::fprintf(stderr, "graph: %s\n", g.why.c_str());
        return -1;
    }
    g.Deliver(p);
    if (g.RunToEnd(600000) != EC_COMPLETE) return -1;
    if (FAILED(g.control->Stop())) return -1;
    return Seconds(t0);
}

double ConvertWithCommand(const std::string &args) {
    auto t0 = std::chrono::steady_clock::now();
    int status = 0;
    Shell("ffmpeg -nostdin -v error -y " + args + " 2>&1", &status);
    return status == 0 ? Seconds(t0) : -1;
}

struct Case {
    const char *name;
    Mpeg2Parameter record;
    std::string ffmpegArgs;  // after -i <src>
    std::string ours, theirs;
};

}  // namespace

int main(int argc, char **argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    TempDir dir;
    const std::string len = std::to_string(seconds);

    // Peak memory first, in a child of its own, so nothing else counts.
    const std::string hd = dir.File("hd.avi");
    Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=1920x1080:rate=25 -f lavfi -i "
          "sine=sample_rate=44100 -ac 2 -t 3 -c:v mpeg4 -q:v 4 -c:a pcm_s16le " + Quote(hd) + " 2>&1");
    pid_t pid = fork();
    if (pid == 0) {
        const std::string out = dir.File("hd-out.avi");
        Mpeg2Parameter p = ConversionGraph::Record(OutputTypes::Avi, out.c_str());
        p.FrameWidth = 1920;
        p.FrameHeight = 1080;
        p.FrameRateMode = FrameRateModes::Pal;
        p.VideoBitsPerSec = 8000000;
        _exit(ConvertThroughGraph(hd, p) > 0 ? 0 : 1);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    std::printf("1080p source to AVI at 1920x1080: %s, peak memory %.1f MB\n",
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "ok" : "FAILED", ru.ru_maxrss / 1024.0);

    const std::string src = dir.File("src.avi");
    Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=640x480:rate=30000/1001 -f lavfi -i "
          "sine=frequency=440:sample_rate=44100 -ac 2 -t " + len + " -c:v mpeg4 -q:v 4 -c:a pcm_s16le " + Quote(src) +
          " 2>&1");
    if (!std::filesystem::exists(src)) {
        std::fprintf(stderr, "cannot make the source with the ffmpeg command\n");
        return 1;
    }

    Case cases[3];
    {
        Case &c = cases[0];
        c.name = "(a) MP4 MPEG-4 320x240 900 kbps + AAC 96 kbps";
        c.ours = dir.File("a.mp4");
        c.theirs = dir.File("a-ffmpeg.mp4");
        c.record = ConversionGraph::Record(OutputTypes::Mp4, c.ours.c_str());
        c.record.VideoBitsPerSec = 900000;
        c.record.AudioBitsPerSec = 96000;
        c.record.KeepInputRatio = 0;
        c.ffmpegArgs = "-vf scale=320:240 -r 30000/1001 -c:v mpeg4 -b:v 900k -qmin 6 -qmax 6 -g 12 -bf 0 "
                       "-c:a aac -b:a 96k -ar 44100 -ac 2 " + Quote(c.theirs);
    }
    {
        Case &c = cases[1];
        c.name = "(b) DVD VOB MPEG-2 720x480 + AC-3";
        c.ours = dir.Path();
        c.theirs = dir.File("b-ffmpeg.vob");
        c.record = ConversionGraph::Record(OutputTypes::DvdVob, c.ours.c_str());
        c.record.FrameRateMode = FrameRateModes::Ntsc;
        c.ffmpegArgs = "-vf scale=720:480 -r 30000/1001 -c:v mpeg2video -b:v 6000k -maxrate 9000k -minrate 0 "
                       "-bufsize 1835008 -qmin 6 -qmax 6 -g 18 -bf 0 -c:a ac3 -b:a 192k -ar 48000 -ac 2 "
                       "-f vob -packetsize 2048 -muxrate 10080000 " + Quote(c.theirs);
    }
    {
        Case &c = cases[2];
        c.name = "(c) AVI MPEG-4 640x480 + MP3";
        c.ours = dir.File("c.avi");
        c.theirs = dir.File("c-ffmpeg.avi");
        c.record = ConversionGraph::Record(OutputTypes::Avi, c.ours.c_str());
        c.record.FrameWidth = 640;
        c.record.FrameHeight = 480;
        c.record.VideoBitsPerSec = 2500000;
        c.ffmpegArgs = "-r 30000/1001 -c:v mpeg4 -b:v 2500k -qmin 6 -qmax 6 -g 12 -bf 0 "
                       "-c:a libmp3lame -b:a 128k -ar 44100 -ac 2 " + Quote(c.theirs);
    }

    std::printf("source: %s s of 640x480 29.97 fps MPEG-4 with stereo 44.1 kHz PCM\n", len.c_str());
    std::printf("%-48s %10s %10s %8s %8s %14s\n", "case", "graph s", "ffmpeg s", "ratio", "fps", "out s (ffmpeg)");
    for (Case &c : cases) {
        double ours = ConvertThroughGraph(src, c.record);
        double theirs = ConvertWithCommand("-i " + Quote(src) + " " + c.ffmpegArgs);
        const double frames = seconds * 30000.0 / 1001.0;
        if (ours < 0 || theirs < 0) {
            std::printf("%-48s %10.2f %10.2f %8s\n", c.name, ours, theirs, "FAILED");
            continue;
        }
        // Durations of both outputs, so a short or broken output shows.
        const std::string mine = c.record.OutputType == OutputTypes::DvdVob ? dir.File("MPEG2_1.vob") : c.ours;
        std::printf("%-48s %10.2f %10.2f %8.2f %8.0f %6.2f (%5.2f)\n", c.name, ours, theirs, ours / theirs, frames / ours,
                    Probe(mine).duration, Probe(c.theirs).duration);
    }
    return 0;
}
