// A fake upstream for the filter tests: a filter with one output pin that
// offers one media type, connects through the framework's base classes
// (type agreement, allocator) and delivers generated samples from its own
// streaming thread, the way a decoder does.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "media/media.h"

namespace dravik::test {

inline constexpr CLSID CLSID_FakeSource{0x1A2B3C4D, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

class FakeSource;

class FakeOutputPin final : public CBaseOutputPin {
public:
    FakeOutputPin(FakeSource *filter, CCritSec *lock, const CMediaType &mt, long bufferSize);
    HRESULT CheckMediaType(const CMediaType *pmt) override { return *pmt == mt_ ? S_OK : S_FALSE; }
    HRESULT GetMediaType(int pos, CMediaType *pmt) override {
        if (pos < 0) return E_INVALIDARG;
        if (pos > 0) return VFW_S_NO_MORE_ITEMS;
        *pmt = mt_;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator *alloc, ALLOCATOR_PROPERTIES *) override {
        ALLOCATOR_PROPERTIES req{4, bufferSize_, 1, 0}, actual{};
        return alloc->SetProperties(&req, &actual);
    }

private:
    CMediaType mt_;
    long bufferSize_;
};

// fill(index, buffer, size, &start, &end) writes sample `index` and returns
// its data length, or -1 when the stream has ended.
using FillFn = std::function<long(int index, BYTE *buffer, long size, REFERENCE_TIME *start, REFERENCE_TIME *end)>;

class FakeSource final : public CBaseFilter {
public:
    FakeSource(const CMediaType &mt, long bufferSize, FillFn fill)
        : CBaseFilter("FakeSource", nullptr, &lock_, CLSID_FakeSource),
          pin_(this, &lock_, mt, bufferSize),
          fill_(std::move(fill)) {
        NonDelegatingAddRef();
    }
    ~FakeSource() override { Join(); }
    void Destroy() { NonDelegatingRelease(); }

    int GetPinCount() override { return 1; }
    CBasePin *GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
    FakeOutputPin *Output() { return &pin_; }

    // Delivers on a thread of its own until the fill ends or a delivery is
    // refused; then sends end of stream if every sample went through.
    void Start() {
        thread_ = std::thread([this] {
            for (int i = 0;; ++i) {
                IMediaSample *s = nullptr;
                if (FAILED(pin_.GetDeliveryBuffer(&s, nullptr, nullptr, 0))) return;
                BYTE *buf = nullptr;
                s->GetPointer(&buf);
                REFERENCE_TIME st = 0, en = 0;
                long len = fill_(i, buf, s->GetSize(), &st, &en);
                if (len < 0) {
                    s->Release();
                    break;
                }
                s->SetActualDataLength(len);
                s->SetTime(&st, &en);
                HRESULT hr = pin_.Deliver(s);
                s->Release();
                delivered_++;
                if (hr != S_OK) {
                    refused_ = true;
                    return;
                }
            }
            pin_.DeliverEndOfStream();
            ended_ = true;
        });
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    bool Ended() const { return ended_; }
    bool Refused() const { return refused_; }
    int Delivered() const { return delivered_; }

private:
    CCritSec lock_;
    FakeOutputPin pin_;
    FillFn fill_;
    std::thread thread_;
    std::atomic<bool> ended_{false}, refused_{false};
    std::atomic<int> delivered_{0};
};

inline FakeOutputPin::FakeOutputPin(FakeSource *filter, CCritSec *lock, const CMediaType &mt, long bufferSize)
    : CBaseOutputPin("FakeOutput", filter, lock, nullptr, u"Output"), mt_(mt), bufferSize_(bufferSize) {}

}  // namespace dravik::test
