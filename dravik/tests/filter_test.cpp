// The filter between fake upstream pins: media types, settings, state
// changes, turn taking, end of stream, stop at any moment.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>

#include "contract/mpeg2parameter.h"
#include "fakesource.h"
#include "filter.h"
#include "probe.h"

using namespace dravik;
using namespace dravik::test;
using namespace std::chrono_literals;

namespace {

ComPtr<IBaseFilter> NewEncoder() {
    HRESULT hr = S_OK;
    CUnknown *obj = EncoderObject::CreateInstance(nullptr, &hr);
    ComPtr<IBaseFilter> f;
    EXPECT_EQ(ComFinishCreate(obj, hr, IID_IBaseFilter, f.PutVoid()), S_OK);
    return f;
}

ComPtr<IPin> PinAt(IBaseFilter *f, int index) {
    ComPtr<IEnumPins> e;
    f->EnumPins(e.PutAddr());
    ComPtr<IPin> pin;
    for (int i = 0; i <= index; ++i) {
        ULONG got = 0;
        if (e->Next(1, pin.PutAddr(), &got) != S_OK) return nullptr;
    }
    return pin;
}

std::string PinName(IPin *p) {
    PIN_INFO info{};
    p->QueryPinInfo(&info);
    if (info.pFilter) info.pFilter->Release();
    return WideToUtf8(std::u16string(info.achName));
}

FillFn VideoFill(int w, int h, int frames, REFERENCE_TIME frameTime = 333667) {
    return [=](int i, BYTE *buf, long size, REFERENCE_TIME *st, REFERENCE_TIME *en) -> long {
        if (i >= frames) return -1;
        auto pic = Bgrx(w, h, i);
        std::memcpy(buf, pic.data(), std::min<std::size_t>(pic.size(), size));
        *st = i * frameTime;
        *en = (i + 1) * frameTime;
        return static_cast<long>(pic.size());
    };
}

FillFn AudioFill(int rate, double seconds, int chunk = 1024) {
    const std::int64_t total = static_cast<std::int64_t>(seconds * rate);
    return [=](int i, BYTE *buf, long, REFERENCE_TIME *st, REFERENCE_TIME *en) -> long {
        const std::int64_t first = static_cast<std::int64_t>(i) * chunk;
        if (first >= total) return -1;
        const int n = static_cast<int>(std::min<std::int64_t>(chunk, total - first));
        auto pcm = Tone(rate, 2, first, n);
        std::memcpy(buf, pcm.data(), pcm.size() * 2);
        *st = first * 10000000 / rate;
        *en = (first + n) * 10000000 / rate;
        return static_cast<long>(pcm.size() * 2);
    };
}

// One encoder with up to two fake upstreams.
struct Rig {
    ComPtr<IBaseFilter> encoder = NewEncoder();
    ComPtr<IFFEncoderSettings> settings;
    ComPtr<IFFEncoderInfo> info;
    ComPtr<IPin> audioIn = PinAt(encoder.Get(), 0);
    ComPtr<IPin> videoIn = PinAt(encoder.Get(), 1);
    FakeSource *video = nullptr;
    FakeSource *audio = nullptr;

    Rig() {
        encoder.As(IID_IFFEncoderSettings, &settings);
        encoder.As(IID_IFFEncoderInfo, &info);
    }
    ~Rig() {
        for (FakeSource *s : {video, audio}) {
            if (!s) continue;
            s->Stop();
            s->Join();
            s->Output()->Disconnect();
        }
        encoder->Stop();
        if (videoIn) videoIn->Disconnect();
        if (audioIn) audioIn->Disconnect();
        if (video) video->Destroy();
        if (audio) audio->Destroy();
    }
    HRESULT AddVideo(int w, int h, int frames, const GUID &subtype = MEDIASUBTYPE_RGB32) {
        video = new FakeSource(MakeVideoType(subtype, w, h, 333667), w * h * 4, VideoFill(w, h, frames));
        return video->Output()->Connect(videoIn.Get(), nullptr);
    }
    HRESULT AddAudio(double seconds, int rate = 44100) {
        audio = new FakeSource(MakePcmType(2, rate), 65536, AudioFill(rate, seconds));
        return audio->Output()->Connect(audioIn.Get(), nullptr);
    }
    void Configure(int type, const std::string &path) {
        settings->SetOutputType(type);
        settings->SetOutputPath(path.c_str());
        settings->SetFrameRateMode(1);
        settings->SetFrameRate(30000);
        settings->SetFrameRateBase(1001);
        settings->SetFrameWidth(320);
        settings->SetFrameHeight(240);
        settings->SetKeepInputRatio(1);
    }
    HRESULT Pause() {
        HRESULT hr = encoder->Pause();
        if (FAILED(hr)) return hr;
        for (FakeSource *s : {video, audio})
            if (s) s->Pause();
        return hr;
    }
    HRESULT Run() {
        HRESULT hr = encoder->Run(0);
        if (FAILED(hr)) return hr;
        for (FakeSource *s : {video, audio})
            if (s) {
                s->Run(0);
                s->Start();
            }
        return hr;
    }
    void WaitSources() {
        for (FakeSource *s : {video, audio})
            if (s) s->Join();
    }
    // Stops downstream first, as the graph does.
    HRESULT Stop() {
        HRESULT hr = encoder->Stop();
        for (FakeSource *s : {video, audio})
            if (s) {
                s->Stop();
                s->Join();
            }
        return hr;
    }
};

}  // namespace

TEST(Filter, ModuleRegistersAndCreatesByClassId) {
    const char *bin = std::getenv("VELORIN_BIN");
    std::string path = std::string(bin ? bin : ".") + "/dravik.ax";
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    void *module = dlopen(path.c_str(), RTLD_NOW);
    ASSERT_NE(module, nullptr) << dlerror();
    auto reg = reinterpret_cast<DllRegisterServerFn>(dlsym(module, "DllRegisterServer"));
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), S_OK);
    RegisteredFilter entry;
    ASSERT_TRUE(FilterMapperLookup(CLSID_FFEncoder, &entry));
    EXPECT_EQ(entry.name, u"Dravik");
    EXPECT_EQ(entry.merit, MERIT_DO_NOT_USE);
    ASSERT_EQ(entry.pins.size(), 2u);
    EXPECT_EQ(entry.pins[0].name, u"Video Input Pin");
    EXPECT_EQ(entry.pins[1].name, u"Audio Input Pin");
    // Never a candidate for automatic graph building.
    for (const auto &f : FilterMapperMatch({{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}}, false, true))
        EXPECT_NE(f.clsid, CLSID_FFEncoder);

    CoInitialize(nullptr);
    {
        ComPtr<IBaseFilter> f;
        ASSERT_EQ(CoCreateInstance(CLSID_FFEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid()), S_OK);
        ComPtr<IFFEncoderInfo> info;
        ASSERT_EQ(f.As(IID_IFFEncoderInfo, &info), S_OK);
        char version[32];
        std::memset(version, 'x', sizeof version);
        EXPECT_EQ(info->GetVersionText(version), S_OK);
        EXPECT_STREQ(version, "Version2008101A)");
        EXPECT_EQ(version[17], 'x');
        CLSID clsid{};
        f->GetClassID(&clsid);
        EXPECT_EQ(clsid, CLSID_FFEncoder);
    }
    CoUninitialize();
    auto unreg = reinterpret_cast<DllRegisterServerFn>(dlsym(module, "DllUnregisterServer"));
    EXPECT_EQ(unreg(), S_OK);
    EXPECT_FALSE(FilterMapperLookup(CLSID_FFEncoder, &entry));
}

TEST(Filter, InterfacesPinsAndPages) {
    ComPtr<IBaseFilter> f = NewEncoder();
    struct Q { const IID *iid; bool ok; } queries[] = {
        {&IID_IUnknown, true},           {&IID_IBaseFilter, true},     {&IID_IMediaFilter, true},
        {&IID_IPersist, true},           {&IID_IFFEncoderSettings, true}, {&IID_IFFEncoderInfo, true},
        {&IID_ISpecifyPropertyPages, true}, {&IID_IMediaSeeking, true}, {&IID_IMediaPosition, true},
        {&IID_IPin, false},              {&IID_IMemInputPin, false},
    };
    for (const auto &q : queries) {
        ComPtr<IUnknown> u;
        EXPECT_EQ(SUCCEEDED(f->QueryInterface(*q.iid, u.PutVoid())), q.ok) << GuidToString(*q.iid);
    }
    EXPECT_EQ(f->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // COM identity: every interface leads back to one IUnknown.
    ComPtr<IUnknown> a, b;
    ComPtr<IFFEncoderSettings> s;
    f.As(IID_IFFEncoderSettings, &s);
    f->QueryInterface(IID_IUnknown, a.PutVoid());
    s->QueryInterface(IID_IUnknown, b.PutVoid());
    EXPECT_EQ(a.Get(), b.Get());

    EXPECT_EQ(PinName(PinAt(f.Get(), 0).Get()), "Audio Input");
    EXPECT_EQ(PinName(PinAt(f.Get(), 1).Get()), "Video Input");
    EXPECT_FALSE(PinAt(f.Get(), 2));

    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(f.As(IID_ISpecifyPropertyPages, &pages), S_OK);
    EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
    CAUUID uuids{};
    ASSERT_EQ(pages->GetPages(&uuids), S_OK);
    ASSERT_EQ(uuids.cElems, 1u);
    EXPECT_EQ(uuids.pElems[0], CLSID_FFEncoderPropertyPage);
    CoTaskMemFree(uuids.pElems);

    ComPtr<IFFEncoderInfo> info;
    f.As(IID_IFFEncoderInfo, &info);
    LONGLONG pos = 5, dur = 5;
    info->GetEncodedPosition(&pos);
    info->GetSourceDuration(&dur);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(dur, -1);
}

TEST(Filter, SettingsDefaultsAndRecordDelivery) {
    ComPtr<IBaseFilter> f = NewEncoder();
    ComPtr<IFFEncoderSettings> s;
    ASSERT_EQ(f.As(IID_IFFEncoderSettings, &s), S_OK);
    char text[kEncoderTextSize];
    LONG v = 0;
    s->GetOutputPath(text);
    EXPECT_STREQ(text, "./output.mpg");
    s->GetMaxFileSize(&v);
    EXPECT_EQ(v, 1062207488);
    s->GetThreeGpSize(&v);
    EXPECT_EQ(v, 3);
    s->GetReversal(&v);
    EXPECT_EQ(v, 1);

    // Velorin's record, delivered field by field as Brantel does.
    Mpeg2Parameter p;
    std::memset(&p, 0, sizeof p);
    std::string title(1023, 't');
    p.OutputPath = "/tmp/x.avi";
    p.Reserved1 = p.Reserved2 = "";
    p.Title = title.c_str();
    p.OutputType = 3;
    p.MaxFileSize = static_cast<std::int32_t>(3145728000u);
    p.KeepInputRatio = 1;
    p.Reserved4 = 1;
    p.Reversal = 1;
    p.Padding = 0xFF;
    p.SampleRate = 22050;
    p.VolumeScale = 512;
    s->SetOutputType(p.OutputType);
    s->SetOutputPath(p.OutputPath);
    s->SetTitle(p.Title);
    s->SetMaxFileSize(p.MaxFileSize);
    s->SetKeepInputRatio(p.KeepInputRatio);
    s->SetReserved4(p.Reserved4);
    s->SetReversal(p.Reversal);
    s->SetSampleRate(p.SampleRate);
    s->SetVolumeScale(p.VolumeScale);
    struct G { HRESULT (STDMETHODCALLTYPE IFFEncoderSettings::*get)(LONG *); LONG want; } gets[] = {
        {&IFFEncoderSettings::GetOutputType, 3},     {&IFFEncoderSettings::GetMaxFileSize, -1149239296},
        {&IFFEncoderSettings::GetKeepInputRatio, 1}, {&IFFEncoderSettings::GetReserved4, 1},
        {&IFFEncoderSettings::GetReversal, 1},       {&IFFEncoderSettings::GetSampleRate, 22050},
        {&IFFEncoderSettings::GetVolumeScale, 512},
    };
    for (const auto &g : gets) {
        LONG got = 0x7777;
        EXPECT_EQ(((*s).*g.get)(&got), S_OK);
        EXPECT_EQ(got, g.want);
    }
    s->GetTitle(text);
    EXPECT_EQ(std::string(text), title);
    std::string longer(2000, 'L');
    s->SetReserved1(longer.c_str());
    s->GetReserved1(text);
    EXPECT_EQ(std::strlen(text), 1023u);
}

TEST(Filter, MediaTypesAcceptedAndRefused) {
    struct VCase { GUID sub; bool ok; } vcases[] = {
        {MEDIASUBTYPE_RGB32, true}, {MEDIASUBTYPE_RGB24, true}, {MEDIASUBTYPE_RGB565, true},
        {MEDIASUBTYPE_RGB555, true}, {MEDIASUBTYPE_YV12, true}, {MEDIASUBTYPE_IYUV, true},
        {MEDIASUBTYPE_YUY2, true},  {MEDIASUBTYPE_YUYV, true},  {MEDIASUBTYPE_NV12, false},
        {MEDIASUBTYPE_UYVY, false}, {MEDIASUBTYPE_YVYU, false}, {MEDIASUBTYPE_ARGB32, false},
    };
    ComPtr<IBaseFilter> f = NewEncoder();
    ComPtr<IPin> vin = PinAt(f.Get(), 1), ain = PinAt(f.Get(), 0);
    for (const auto &c : vcases) {
        CMediaType mt = MakeVideoType(c.sub, 720, 576);
        EXPECT_EQ(vin->QueryAccept(&mt) == S_OK, c.ok) << SubtypeName(c.sub);
    }
    CMediaType wrongMajor = MakeVideoType(MEDIASUBTYPE_RGB32, 64, 48);
    wrongMajor.SetType(&MEDIATYPE_Audio);
    EXPECT_NE(vin->QueryAccept(&wrongMajor), S_OK);

    ComPtr<IFFEncoderSettings> s;
    f.As(IID_IFFEncoderSettings, &s);
    LONG w = 0, h = 0;
    s->GetFrameWidth(&w);
    s->GetFrameHeight(&h);
    EXPECT_EQ(w, 720);
    EXPECT_EQ(h, 576);

    struct ACase { int ch, rate, bits; bool ok; } acases[] = {
        {2, 44100, 16, true}, {2, 48000, 16, false}, {1, 44100, 16, false}, {6, 44100, 16, false}, {2, 44100, 8, false},
    };
    for (const auto &c : acases) {
        CMediaType mt = MakePcmType(c.ch, c.rate, c.bits);
        EXPECT_EQ(ain->QueryAccept(&mt) == S_OK, c.ok) << c.ch << "ch " << c.rate;
    }
    s->SetSampleRate(48000);
    CMediaType at48 = MakePcmType(2, 48000);
    EXPECT_EQ(ain->QueryAccept(&at48), S_OK);
    CMediaType truncated = MakePcmType(2, 48000);
    truncated.ReallocFormatBuffer(10);
    EXPECT_NE(ain->QueryAccept(&truncated), S_OK);
}

TEST(Filter, ConvertsBothInputsAndReportsProgress) {
    TempDir dir;
    Rig rig;
    ASSERT_EQ(rig.AddVideo(320, 240, 90), S_OK);
    ASSERT_EQ(rig.AddAudio(3.0), S_OK);
    rig.Configure(6, dir.File("out.mp4"));
    ASSERT_EQ(rig.Pause(), S_OK);
    ASSERT_EQ(rig.Run(), S_OK);
    rig.WaitSources();
    EXPECT_TRUE(rig.video->Ended());
    EXPECT_TRUE(rig.audio->Ended());
    LONGLONG pos = 0;
    rig.info->GetEncodedPosition(&pos);
    EXPECT_EQ(pos, 90 * 333667);
    ASSERT_EQ(rig.Stop(), S_OK);
    ProbeInfo info = Probe(dir.File("out.mp4"));
    ASSERT_TRUE(info.ok);
    ASSERT_NE(info.Find("video"), nullptr);
    ASSERT_NE(info.Find("audio"), nullptr);
    EXPECT_EQ(info.Find("video")->codec, "mpeg4");
    EXPECT_NEAR(info.duration, 3.0, 0.3);
    EXPECT_EQ(CountFrames(dir.File("out.mp4")), 90);
    EXPECT_EQ(DecodeErrors(dir.File("out.mp4")), "");
}

TEST(Filter, AnInputThatEndsEarlyNeverHoldsTheOtherBack) {
    // Audio 1 s and video 3 s, then the reverse: the longer input runs on
    // after the shorter one ended.
    struct Case { int frames; double audio; } cases[] = {{90, 1.0}, {30, 3.0}, {0, 2.0}, {60, 0.0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " frames, " + std::to_string(c.audio) + " s audio");
        TempDir dir;
        Rig rig;
        rig.AddVideo(160, 120, c.frames);
        rig.AddAudio(c.audio);
        rig.Configure(3, dir.File("x.avi"));
        ASSERT_EQ(rig.Pause(), S_OK);
        ASSERT_EQ(rig.Run(), S_OK);
        auto until = std::chrono::steady_clock::now() + 30s;
        while ((!rig.video->Ended() || !rig.audio->Ended()) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(5ms);
        EXPECT_TRUE(rig.video->Ended());
        EXPECT_TRUE(rig.audio->Ended());
        ASSERT_EQ(rig.Stop(), S_OK);
        ProbeInfo info = Probe(dir.File("x.avi"));
        ASSERT_TRUE(info.ok);
        EXPECT_NEAR(info.duration, std::max(c.frames / 29.97, c.audio), 0.3);
    }
}

TEST(Filter, AudioOnlyOutputFollowsTheAudio) {
    TempDir dir;
    Rig rig;
    ASSERT_EQ(rig.AddAudio(2.0), S_OK);
    rig.Configure(19, dir.File("song.mp3"));
    ASSERT_EQ(rig.Pause(), S_OK);
    ASSERT_EQ(rig.Run(), S_OK);
    rig.WaitSources();
    LONGLONG pos = 0;
    rig.info->GetEncodedPosition(&pos);
    EXPECT_EQ(pos, 20000000);
    ASSERT_EQ(rig.Stop(), S_OK);
    ProbeInfo info = Probe(dir.File("song.mp3"));
    EXPECT_EQ(info.Find("video"), nullptr);
    ASSERT_NE(info.Find("audio"), nullptr);
    EXPECT_NEAR(info.duration, 2.0, 0.2);
}

TEST(Filter, StateChangeResults) {
    TempDir dir;
    {
        // Paused, never run: no file, so Stop fails and the filter stays paused.
        Rig rig;
        rig.AddVideo(160, 120, 10);
        rig.Configure(3, dir.File("p.avi"));
        ASSERT_EQ(rig.Pause(), S_OK);
        EXPECT_EQ(rig.encoder->Stop(), E_FAIL);
        FILTER_STATE st;
        rig.encoder->GetState(0, &st);
        EXPECT_EQ(st, State_Paused);
        EXPECT_FALSE(std::filesystem::exists(dir.File("p.avi")));
    }
    struct Case { int type; std::string path; int w; bool pauseOk; } cases[] = {
        {6, dir.File("noext"), 320, false},
        {12, dir.File("h.3gp"), 320, false},   // H.263 cannot code 320x240
        {3, dir.File("no/such/dir/x.avi"), 320, true},
        {30, dir.File("x.avi"), 320, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        Rig rig;
        rig.AddVideo(160, 120, 10);
        rig.AddAudio(0.5);
        rig.Configure(c.type, c.path);
        HRESULT hr = rig.encoder->Pause();
        EXPECT_EQ(SUCCEEDED(hr), c.pauseOk);
        if (!c.pauseOk) {
            EXPECT_EQ(hr, E_FAIL);
            continue;
        }
        EXPECT_EQ(rig.encoder->Run(0), E_FAIL);
    }
}

TEST(Filter, ReceiveWhilePausedWaitsForRun) {
    TempDir dir;
    Rig rig;
    rig.AddVideo(160, 120, 30);
    rig.Configure(3, dir.File("w.avi"));
    ASSERT_EQ(rig.Pause(), S_OK);
    rig.video->Start();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(rig.video->Delivered(), 0);
    ASSERT_EQ(rig.encoder->Run(0), S_OK);
    rig.WaitSources();
    EXPECT_TRUE(rig.video->Ended());
    EXPECT_EQ(rig.Stop(), S_OK);
    EXPECT_EQ(CountFrames(dir.File("w.avi")), 30);
}

TEST(Filter, StopInTheMiddleLeavesAPlayableFile) {
    TempDir dir;
    Rig rig;
    rig.AddVideo(320, 240, 100000);   // far longer than the test runs
    rig.AddAudio(10000);
    rig.Configure(6, dir.File("cut.mp4"));
    ASSERT_EQ(rig.Pause(), S_OK);
    ASSERT_EQ(rig.Run(), S_OK);
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(rig.Stop(), S_OK);
    EXPECT_TRUE(rig.video->Refused());
    ProbeInfo info = Probe(dir.File("cut.mp4"));
    ASSERT_TRUE(info.ok);
    EXPECT_GT(info.duration, 0.1);
    EXPECT_EQ(DecodeErrors(dir.File("cut.mp4")), "");
}

TEST(Filter, ManyRunsStoppedAtRandomMoments) {
    // Small pictures keep this quick; every run must stop, close its file
    // and free every object.
    const long before = ComLiveObjectCount();
    std::mt19937 rng(12345);
    TempDir dir;
    for (int run = 0; run < 200; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const std::string out = dir.File("r" + std::to_string(run % 4) + ".avi");
        {
            Rig rig;
            rig.AddVideo(64, 48, 100000);
            rig.AddAudio(10000);
            rig.Configure(3, out);
            rig.settings->SetFrameWidth(64);
            rig.settings->SetFrameHeight(48);
            ASSERT_EQ(rig.Pause(), S_OK);
            ASSERT_EQ(rig.Run(), S_OK);
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
            ASSERT_EQ(rig.Stop(), S_OK);
        }
        if (run % 50 == 0) {
            EXPECT_TRUE(Probe(out).ok);
        }
    }
    EXPECT_EQ(ComLiveObjectCount(), before);
}
