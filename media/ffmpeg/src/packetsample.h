// A media sample that carries one demuxed packet by reference, so the
// splitter hands compressed data downstream without copying it and without
// a size limit. The decoder recognises it (IID_IPacketSample) and takes
// the packet's reference directly; any other consumer reads it as an
// ordinary sample.
#pragma once

#include <atomic>

#include "media/interfaces.h"
#include "mediaff/owners.h"

namespace mediaff {

// {6C1E5A60-3B8F-4E55-9A0C-5645524C494E}
inline constexpr IID IID_IPacketSample{0x6C1E5A60, 0x3B8F, 0x4E55, {0x9A, 0x0C, 0x56, 0x45, 0x52, 0x4C, 0x49, 0x4E}};

struct IPacketSample : IUnknown {
    // The packet (owned by the sample); its pts/dts are in 100-ns units
    // relative to the segment start.
    virtual const AVPacket *Packet() = 0;
};

class PacketSample final : public IMediaSample, public IPacketSample {
public:
    // Takes over `pkt`. Created with one reference.
    explicit PacketSample(PacketPtr pkt) : pkt_(std::move(pkt)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMediaSample) {
            *ppv = static_cast<IMediaSample *>(this);
        } else if (riid == IID_IPacketSample) {
            *ppv = static_cast<IPacketSample *>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++ref_); }
    STDMETHODIMP_(ULONG) Release() override {
        long n = --ref_;
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    const AVPacket *Packet() override { return pkt_.get(); }

    STDMETHODIMP GetPointer(BYTE **pp) override {
        if (!pp) return E_POINTER;
        *pp = pkt_->data;
        return S_OK;
    }
    STDMETHODIMP_(long) GetSize() override { return pkt_->size; }
    STDMETHODIMP GetTime(REFERENCE_TIME *start, REFERENCE_TIME *end) override {
        if (!timeValid_) return VFW_E_SAMPLE_TIME_NOT_SET;
        if (start) *start = start_;
        if (!stopValid_) {
            if (end) *end = start_ + 1;
            return VFW_S_NO_STOP_TIME;
        }
        if (end) *end = end_;
        return S_OK;
    }
    STDMETHODIMP SetTime(REFERENCE_TIME *start, REFERENCE_TIME *end) override {
        timeValid_ = start != nullptr;
        stopValid_ = start && end;
        if (start) start_ = *start;
        if (end) end_ = *end;
        return S_OK;
    }
    STDMETHODIMP IsSyncPoint() override { return sync_ ? S_OK : S_FALSE; }
    STDMETHODIMP SetSyncPoint(BOOL b) override { sync_ = b != FALSE; return S_OK; }
    STDMETHODIMP IsPreroll() override { return preroll_ ? S_OK : S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL b) override { preroll_ = b != FALSE; return S_OK; }
    STDMETHODIMP_(long) GetActualDataLength() override { return pkt_->size; }
    STDMETHODIMP SetActualDataLength(long length) override { return length == pkt_->size ? S_OK : VFW_E_BUFFER_OVERFLOW; }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE **pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE *) override { return E_NOTIMPL; }
    STDMETHODIMP IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
    STDMETHODIMP SetDiscontinuity(BOOL b) override { discontinuity_ = b != FALSE; return S_OK; }
    STDMETHODIMP GetMediaTime(LONGLONG *, LONGLONG *) override { return VFW_E_MEDIA_TIME_NOT_SET; }
    STDMETHODIMP SetMediaTime(LONGLONG *, LONGLONG *) override { return E_NOTIMPL; }

private:
    ~PacketSample() = default;
    std::atomic<long> ref_{1};
    PacketPtr pkt_;
    REFERENCE_TIME start_ = 0, end_ = 0;
    bool timeValid_ = false, stopValid_ = false;
    bool sync_ = false, preroll_ = false, discontinuity_ = false;
};

}  // namespace mediaff
