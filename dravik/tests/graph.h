// A conversion graph the way the graph library builds one: render the
// source, take the renderers out, connect the decoders to the encoder,
// deliver the settings, set the range, run without a clock to the end.
#pragma once

#include <string>
#include <vector>

#include "contract/mpeg2parameter.h"
#include "filter.h"
#include "media/media.h"

namespace dravik::test {

inline std::vector<ComPtr<IPin>> PinsOf(IBaseFilter *f, PIN_DIRECTION dir) {
    std::vector<ComPtr<IPin>> out;
    ComPtr<IEnumPins> e;
    if (FAILED(f->EnumPins(e.PutAddr()))) return out;
    IPin *p = nullptr;
    ULONG n = 0;
    while (e->Next(1, &p, &n) == S_OK) {
        ComPtr<IPin> keep;
        keep.Attach(p);
        PIN_DIRECTION d;
        keep->QueryDirection(&d);
        if (d == dir) out.push_back(keep);
    }
    return out;
}

inline GUID MajorOf(IPin *pin) {
    AM_MEDIA_TYPE mt{};
    GUID major = GUID_NULL;
    if (SUCCEEDED(pin->ConnectionMediaType(&mt))) major = mt.majortype;
    FreeMediaType(mt);
    return major;
}

struct ConversionGraph {
    ComPtr<IGraphBuilder> builder;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IBaseFilter> encoder;
    ComPtr<IFFEncoderSettings> settings;
    ComPtr<IFFEncoderInfo> info;
    std::string why;   // the step that failed in Open

    ConversionGraph() {
        CoInitialize(nullptr);
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, builder.PutVoid());
        if (!builder) return;
        builder->QueryInterface(IID_IMediaControl, control.PutVoid());
        builder->QueryInterface(IID_IMediaEvent, events.PutVoid());
        builder->QueryInterface(IID_IMediaSeeking, seeking.PutVoid());
    }
    ~ConversionGraph() {
        if (control) control->Stop();
        encoder = nullptr;
        settings = nullptr;
        info = nullptr;
        seeking = nullptr;
        events = nullptr;
        control = nullptr;
        builder = nullptr;
        CoUninitialize();
    }

    // Renders `source` and rewires it into a new encoder; audioOnly leaves
    // the video decoder out. False when any step fails.
    bool Open(const std::string &source, bool audioOnly) {
        if (!builder) return Failed("no graph", E_FAIL);
        std::u16string wide = Utf8ToWide(source);
        if (HRESULT r = builder->RenderFile(wide.c_str(), nullptr); FAILED(r)) return Failed("RenderFile", r);
        std::vector<std::pair<ComPtr<IPin>, bool>> freed;   // decoder pin, is video
        std::vector<ComPtr<IBaseFilter>> renderers;
        ComPtr<IEnumFilters> e;
        builder->EnumFilters(e.PutAddr());
        IBaseFilter *f = nullptr;
        ULONG n = 0;
        while (e->Next(1, &f, &n) == S_OK) {
            ComPtr<IBaseFilter> keep;
            keep.Attach(f);
            CLSID c;
            keep->GetClassID(&c);
            if (c == CLSID_VideoRenderer || c == CLSID_DSoundRender || c == CLSID_NullRenderer) renderers.push_back(keep);
        }
        for (auto &r : renderers) {
            auto ins = PinsOf(r.Get(), PINDIR_INPUT);
            ComPtr<IPin> peer;
            if (!ins.empty() && SUCCEEDED(ins[0]->ConnectedTo(peer.PutAddr())) && peer)
                freed.emplace_back(peer, MajorOf(peer.Get()) == MEDIATYPE_Video);
            builder->RemoveFilter(r.Get());
        }
        HRESULT hr = S_OK;
        CUnknown *obj = EncoderObject::CreateInstance(nullptr, &hr);
        if (HRESULT r = ComFinishCreate(obj, hr, IID_IBaseFilter, encoder.PutVoid()); FAILED(r)) return Failed("create", r);
        encoder.As(IID_IFFEncoderSettings, &settings);
        encoder.As(IID_IFFEncoderInfo, &info);
        if (HRESULT r = builder->AddFilter(encoder.Get(), u"FFEncoder"); FAILED(r)) return Failed("AddFilter", r);
        auto encoderPins = PinsOf(encoder.Get(), PINDIR_INPUT);   // audio, video
        bool any = false;
        for (auto &[pin, video] : freed) {
            if (video && audioOnly) {
                // Audio-only outputs send the pictures to a null renderer.
                ComPtr<IBaseFilter> sink;
                CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, sink.PutVoid());
                if (!sink || FAILED(builder->AddFilter(sink.Get(), u"Null Renderer"))) return Failed("null renderer", E_FAIL);
                if (HRESULT r = builder->Connect(pin.Get(), PinsOf(sink.Get(), PINDIR_INPUT)[0].Get()); FAILED(r))
                    return Failed("Connect null", r);
                continue;
            }
            if (HRESULT r = builder->Connect(pin.Get(), encoderPins[video ? 1 : 0].Get()); FAILED(r))
                return Failed(video ? "Connect video" : "Connect audio", r);
            any = true;
        }
        ComPtr<IMediaFilter> mf;
        builder->QueryInterface(IID_IMediaFilter, mf.PutVoid());
        mf->SetSyncSource(nullptr);
        return any ? true : Failed("nothing to connect", E_FAIL);
    }
    bool Failed(const char *step, HRESULT hr) {
        why = std::string(step) + ": " + MediaResultName(hr);
        return false;
    }

    // Velorin's record: 320x240 at 29.97 fps, letterboxed, no size limit.
    void Deliver(const Mpeg2Parameter &p) {
        settings->SetOutputType(p.OutputType);
        settings->SetFrameRateMode(p.FrameRateMode);
        settings->SetAspectRatio(p.AspectRatio);
        settings->SetVbrType(p.VbrType);
        settings->SetChannelMode(p.ChannelMode);
        settings->SetVideoBitsPerSec(p.VideoBitsPerSec);
        settings->SetAudioBitsPerSec(p.AudioBitsPerSec);
        settings->SetOutputPath(p.OutputPath);
        settings->SetReserved1(p.Reserved1);
        settings->SetReserved2(p.Reserved2);
        settings->SetTitle(p.Title);
        settings->SetMaxFileSize(p.MaxFileSize);
        settings->SetFrameRate(p.FrameRate);
        settings->SetFrameRateBase(p.FrameRateBase);
        settings->SetFrameWidth(p.FrameWidth);
        settings->SetFrameHeight(p.FrameHeight);
        settings->SetOutputQuality(p.OutputQuality);
        settings->SetKeepInputRatio(p.KeepInputRatio);
        settings->SetReserved4(p.Reserved4);
        settings->SetReversal(p.Reversal);
        settings->SetSampleRate(p.SampleRate);
        settings->SetVolumeScale(p.VolumeScale);
        settings->SetThreeGpSize(p.ThreeGpSize);
    }

    static Mpeg2Parameter Record(int type, const char *out) {
        Mpeg2Parameter p;
        std::memset(&p, 0, sizeof p);
        p.SourcePath = p.Reserved1 = p.Reserved2 = p.Title = "";
        p.OutputPath = out;
        p.OutputType = type;
        p.FrameRateMode = 1;
        p.AspectRatio = 1;
        p.VbrType = 1;
        p.ChannelMode = 2;
        p.VideoBitsPerSec = 800000;
        p.AudioBitsPerSec = 128000;
        p.MaxFileSize = static_cast<std::int32_t>(3145728000u);
        p.FrameRate = 30000;
        p.FrameRateBase = 1001;
        p.FrameWidth = 320;
        p.FrameHeight = 240;
        p.OutputQuality = 6;
        p.KeepInputRatio = 1;
        p.Reversal = 1;
        p.SampleRate = 44100;
        p.VolumeScale = 256;
        p.ThreeGpSize = 3;
        return p;
    }

    bool SetRange(double from, double to) {
        LONGLONG a = static_cast<LONGLONG>(from * 1e7), b = static_cast<LONGLONG>(to * 1e7);
        return SUCCEEDED(seeking->SetPositions(&a, AM_SEEKING_AbsolutePositioning, &b, AM_SEEKING_AbsolutePositioning));
    }

    // EC_COMPLETE (1) on success, 0 on time-out, -1 when Run failed.
    long RunToEnd(long ms = 180000) {
        if (FAILED(control->Run())) return -1;
        long code = 0;
        return SUCCEEDED(events->WaitForCompletion(ms, &code)) ? code : 0;
    }
};

}  // namespace dravik::test
