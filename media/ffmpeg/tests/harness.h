// A fake sink for putting the stock filters between fake pins: a filter
// with one input pin that accepts what a predicate allows and records
// every sample, flush, segment and end of stream.
#pragma once

#include <dirent.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "media/baseclasses.h"
#include "media/interfaces.h"

namespace mediaff::fixtures {

inline int ThreadCount() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

struct Received {
    REFERENCE_TIME start = 0, end = 0;
    bool timed = false, sync = false, discontinuity = false;
    long length = 0;
    std::uint64_t hash = 0;  // FNV-1a over the first `hashBytes` bytes
};

class SinkFilter;

class SinkPin final : public CBaseInputPin {
public:
    SinkPin(SinkFilter *f, CCritSec *lock, HRESULT *phr);
    HRESULT CheckMediaType(const CMediaType *pmt) override;
    STDMETHODIMP Receive(IMediaSample *s) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME a, REFERENCE_TIME b, double r) override;
    SinkFilter *sink = nullptr;
};

class SinkFilter final : public CBaseFilter {
public:
    using Accept = std::function<bool(const CMediaType &)>;
    // Blocks a Receive until it returns true (called without locks).
    using Gate = std::function<bool()>;

    explicit SinkFilter(Accept accept, std::size_t hashBytes = 0)
        : CBaseFilter("Sink", nullptr, &lock_, GUID_NULL), pin_(this, &lock_, &hr_), accept_(std::move(accept)), hashBytes_(hashBytes) {
        pin_.sink = this;
        NonDelegatingAddRef();
    }
    int GetPinCount() override { return 1; }
    CBasePin *GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
    IPin *Pin() { return &pin_; }

    void SetGate(Gate g) {
        std::lock_guard l(mu_);
        gate_ = std::move(g);
    }
    // Re-evaluates the gate; under the lock, so a waiter that just found the
    // gate closed cannot miss it.
    void Kick() {
        std::lock_guard l(mu_);
        cv_.notify_all();
    }

    bool WaitForEnd(int ms = 20000) {
        std::unique_lock l(mu_);
        return cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return ended_; });
    }
    template <class Pred>
    bool WaitFor(Pred p, int ms = 20000) {
        std::unique_lock l(mu_);
        return cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return p(); });
    }
    std::vector<Received> Samples() {
        std::lock_guard l(mu_);
        return samples_;
    }
    std::size_t Count() {
        std::lock_guard l(mu_);
        return samples_.size();
    }
    void Clear() {
        std::lock_guard l(mu_);
        samples_.clear();
        ended_ = false;
    }
    bool Ended() {
        std::lock_guard l(mu_);
        return ended_;
    }
    int EndCount() {
        std::lock_guard l(mu_);
        return ends_;
    }
    int Flushes() {
        std::lock_guard l(mu_);
        return flushes_;
    }
    REFERENCE_TIME SegmentStart() {
        std::lock_guard l(mu_);
        return segStart_;
    }
    CMediaType Type() { return pin_.CurrentMediaType(); }

private:
    friend class SinkPin;
    CCritSec lock_;
    HRESULT hr_ = S_OK;
    SinkPin pin_;
    Accept accept_;
    std::size_t hashBytes_;
    std::mutex mu_;
    std::condition_variable cv_;
    Gate gate_;
    std::vector<Received> samples_;
    bool ended_ = false;
    int ends_ = 0;
    int flushes_ = 0;
    bool flushing_ = false;
    REFERENCE_TIME segStart_ = -1;
};

inline SinkPin::SinkPin(SinkFilter *f, CCritSec *lock, HRESULT *phr) : CBaseInputPin("SinkPin", f, lock, phr, u"In") {}

inline HRESULT SinkPin::CheckMediaType(const CMediaType *pmt) { return pmt && sink->accept_(*pmt) ? S_OK : S_FALSE; }

inline STDMETHODIMP SinkPin::Receive(IMediaSample *s) {
    HRESULT hr = CBaseInputPin::Receive(s);
    if (hr != S_OK) return hr;
    {
        std::unique_lock l(sink->mu_);
        sink->cv_.wait(l, [&] { return !sink->gate_ || sink->gate_() || sink->flushing_ || IsStopped(); });
        if (sink->flushing_) return S_FALSE;
    }
    Received r;
    r.timed = SUCCEEDED(s->GetTime(&r.start, &r.end));
    r.sync = s->IsSyncPoint() == S_OK;
    r.discontinuity = s->IsDiscontinuity() == S_OK;
    r.length = s->GetActualDataLength();
    BYTE *p = nullptr;
    s->GetPointer(&p);
    std::uint64_t h = 1469598103934665603ull;
    const std::size_t n = std::min<std::size_t>(sink->hashBytes_, static_cast<std::size_t>(std::max(0L, r.length)));
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    r.hash = h;
    std::lock_guard l(sink->mu_);
    sink->samples_.push_back(r);
    sink->cv_.notify_all();
    return S_OK;
}

inline STDMETHODIMP SinkPin::EndOfStream() {
    std::lock_guard l(sink->mu_);
    if (sink->flushing_) return S_FALSE;
    sink->ended_ = true;
    ++sink->ends_;
    sink->cv_.notify_all();
    return S_OK;
}

inline STDMETHODIMP SinkPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    std::lock_guard l(sink->mu_);
    sink->flushing_ = true;
    ++sink->flushes_;
    sink->samples_.clear();
    sink->ended_ = false;
    sink->cv_.notify_all();
    return S_OK;
}

inline STDMETHODIMP SinkPin::EndFlush() {
    {
        std::lock_guard l(sink->mu_);
        sink->flushing_ = false;
    }
    return CBaseInputPin::EndFlush();
}

inline STDMETHODIMP SinkPin::NewSegment(REFERENCE_TIME a, REFERENCE_TIME b, double r) {
    std::lock_guard l(sink->mu_);
    sink->segStart_ = a;
    return CBasePin::NewSegment(a, b, r);
}

}  // namespace mediaff::fixtures
