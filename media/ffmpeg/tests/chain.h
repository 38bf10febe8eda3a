// Builds source -> splitter -> decoders -> fake sinks by hand, without a
// graph manager, and drives the filters' states directly.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "media/baseclasses.h"
#include "mediaff/filters.h"
#include "mediaff/mediatypes.h"

namespace mediaff::fixtures {

inline ComPtr<IBaseFilter> CreateFilter(REFCLSID clsid) {
    ComPtr<IBaseFilter> f;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid());
    return f;
}

inline std::vector<ComPtr<IPin>> Pins(IBaseFilter *f, PIN_DIRECTION dir) {
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
        if (d == dir) out.push_back(pin);
    }
    return out;
}

inline GUID MajorOf(IPin *pin) {
    ComPtr<IEnumMediaTypes> e;
    GUID major = GUID_NULL;
    if (FAILED(pin->EnumMediaTypes(e.PutAddr()))) return major;
    AM_MEDIA_TYPE *mt = nullptr;
    ULONG n = 0;
    if (e->Next(1, &mt, &n) == S_OK) {
        major = mt->majortype;
        DeleteMediaType(mt);
    }
    return major;
}

inline bool IsVideo(const CMediaType &mt) { return *mt.Type() == MEDIATYPE_Video; }
inline bool IsPcm(const CMediaType &mt) {
    PcmType p;
    return ParsePcmType(mt, &p);
}
inline bool IsPicture(const CMediaType &mt) {
    PictureType t;
    return ParsePictureType(mt, &t);
}

// source -> splitter -> (decoder -> sink) for each stream.
struct Chain {
    ComPtr<IBaseFilter> source, splitter;
    std::vector<ComPtr<IBaseFilter>> decoders;
    ComPtr<SinkFilter> video, audio;  // null when the file has no such stream
    HRESULT result = E_FAIL;          // of the first failing step, else S_OK

    std::vector<IBaseFilter *> Downstream() {
        std::vector<IBaseFilter *> f;
        if (video) f.push_back(video.Get());
        if (audio) f.push_back(audio.Get());
        for (auto &d : decoders) f.push_back(d.Get());
        if (splitter) f.push_back(splitter.Get());
        if (source) f.push_back(source.Get());
        return f;
    }
    HRESULT Pause() {
        for (IBaseFilter *f : Downstream())
            if (HRESULT hr = f->Pause(); FAILED(hr)) return hr;
        return S_OK;
    }
    HRESULT Run() {
        if (HRESULT hr = Pause(); FAILED(hr)) return hr;
        for (IBaseFilter *f : Downstream())
            if (HRESULT hr = f->Run(0); FAILED(hr)) return hr;
        return S_OK;
    }
    void Stop() {
        for (IBaseFilter *f : Downstream()) f->Stop();
    }
    ComPtr<IMediaSeeking> Seeking() {
        ComPtr<IMediaSeeking> s;
        for (auto &pin : Pins(splitter.Get(), PINDIR_OUTPUT))
            if (SUCCEEDED(pin->QueryInterface(IID_IMediaSeeking, s.PutVoid()))) break;
        return s;
    }
    bool WaitForEnd(int ms = 30000) {
        bool ok = true;
        if (video) ok = video->WaitForEnd(ms) && ok;
        if (audio) ok = audio->WaitForEnd(ms) && ok;
        return ok;
    }
    ~Chain() {
        Stop();
        // Break the connections so every filter is released.
        for (IBaseFilter *f : Downstream())
            for (PIN_DIRECTION d : {PINDIR_INPUT, PINDIR_OUTPUT})
                for (auto &pin : Pins(f, d)) pin->Disconnect();
    }
};

// Connects `out` to a new sink through `filter` (a decoder or converter),
// or straight to the sink when filter is null.
inline HRESULT ConnectThrough(IPin *out, IBaseFilter *filter, SinkFilter *sink) {
    if (filter) {
        auto ins = Pins(filter, PINDIR_INPUT);
        if (ins.empty()) return E_FAIL;
        if (HRESULT hr = out->Connect(ins[0].Get(), nullptr); FAILED(hr)) return hr;
        auto outs = Pins(filter, PINDIR_OUTPUT);
        if (outs.empty()) return E_FAIL;
        return outs[0]->Connect(sink->Pin(), nullptr);
    }
    return out->Connect(sink->Pin(), nullptr);
}

inline std::unique_ptr<Chain> BuildChain(const std::string &path, SinkFilter::Accept videoAccept = IsPicture,
                                         SinkFilter::Accept audioAccept = IsPcm, std::size_t videoHashBytes = 0) {
    auto c = std::make_unique<Chain>();
    c->source = CreateFilter(CLSID_AsyncReader);
    c->splitter = CreateFilter(CLSID_FfSplitter);
    if (!c->source || !c->splitter) {
        c->result = REGDB_E_CLASSNOTREG;
        return c;
    }
    ComPtr<IFileSourceFilter> fs;
    c->source->QueryInterface(IID_IFileSourceFilter, fs.PutVoid());
    std::u16string wide = Utf8ToWide(path);
    if (HRESULT hr = fs->Load(wide.c_str(), nullptr); FAILED(hr)) {
        c->result = hr;
        return c;
    }
    auto srcOut = Pins(c->source.Get(), PINDIR_OUTPUT);
    auto splIn = Pins(c->splitter.Get(), PINDIR_INPUT);
    if (HRESULT hr = srcOut[0]->Connect(splIn[0].Get(), nullptr); FAILED(hr)) {
        c->result = hr;
        return c;
    }
    for (auto &pin : Pins(c->splitter.Get(), PINDIR_OUTPUT)) {
        const bool video = MajorOf(pin.Get()) == MEDIATYPE_Video;
        ComPtr<SinkFilter> &slot = video ? c->video : c->audio;
        if (slot) continue;  // first stream of each kind only
        slot = ComPtr<SinkFilter>(new SinkFilter(video ? videoAccept : audioAccept, video ? videoHashBytes : 0), false);
        auto dec = CreateFilter(CLSID_FfDecoder);
        c->decoders.push_back(dec);
        if (HRESULT hr = ConnectThrough(pin.Get(), dec.Get(), slot.Get()); FAILED(hr)) {
            c->result = hr;
            return c;
        }
    }
    c->result = S_OK;
    return c;
}

}  // namespace mediaff::fixtures
