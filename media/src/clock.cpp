// The system reference clock: monotonic time in 100-ns units, with advise
// requests served by one thread that exists only while requests are pending.
#include <chrono>
#include <condition_variable>
#include <map>
#include <thread>

#include "internal.h"
#include "media/baseclasses.h"

namespace {

REFERENCE_TIME SteadyNow() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

class SystemClock final : public CUnknown, public IReferenceClock {
public:
    SystemClock(LPUNKNOWN outer) : CUnknown("system clock", outer) {}
    ~SystemClock() override {
        {
            std::lock_guard<std::mutex> g(lock_);
            quit_ = true;
            advises_.clear();
        }
        cv_.notify_all();
        if (worker_.joinable()) worker_.join();
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IReferenceClock) return GetInterface(static_cast<IReferenceClock *>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    STDMETHODIMP GetTime(REFERENCE_TIME *pTime) override {
        if (!pTime) return E_POINTER;
        *pTime = SteadyNow();
        return S_OK;
    }

    STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                            DWORD_PTR *pdwAdviseCookie) override {
        if (!hEvent || !pdwAdviseCookie) return E_POINTER;
        return Add(baseTime + streamTime, 0, hEvent, pdwAdviseCookie);
    }

    STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE hSemaphore,
                                DWORD_PTR *pdwAdviseCookie) override {
        if (!hSemaphore || !pdwAdviseCookie) return E_POINTER;
        if (periodTime <= 0) return E_INVALIDARG;
        return Add(startTime, periodTime, hSemaphore, pdwAdviseCookie);
    }

    STDMETHODIMP Unadvise(DWORD_PTR cookie) override {
        std::lock_guard<std::mutex> g(lock_);
        return advises_.erase(cookie) ? S_OK : S_FALSE;
    }

private:
    struct Advise {
        REFERENCE_TIME due;
        REFERENCE_TIME period;
        CAMEvent *event;
    };

    HRESULT Add(REFERENCE_TIME due, REFERENCE_TIME period, CAMEvent *event, DWORD_PTR *cookie) {
        {
            std::lock_guard<std::mutex> g(lock_);
            *cookie = ++nextCookie_;
            advises_[*cookie] = Advise{due, period, event};
            if (!worker_.joinable()) worker_ = std::thread([this] { Serve(); });
        }
        cv_.notify_all();
        return S_OK;
    }

    void Serve() {
        std::unique_lock<std::mutex> l(lock_);
        while (!quit_) {
            if (advises_.empty()) {
                cv_.wait(l);
                continue;
            }
            REFERENCE_TIME now = SteadyNow();
            REFERENCE_TIME next = MAX_TIME;
            for (auto it = advises_.begin(); it != advises_.end();) {
                if (it->second.due <= now) {
                    it->second.event->Set();
                    if (it->second.period > 0) {
                        it->second.due += it->second.period;
                        if (it->second.due <= now) it->second.due = now + it->second.period;
                    } else {
                        it = advises_.erase(it);
                        continue;
                    }
                }
                if (it->second.due < next) next = it->second.due;
                ++it;
            }
            if (next != MAX_TIME) cv_.wait_for(l, std::chrono::nanoseconds((next - now) * 100));
        }
    }

    std::mutex lock_;
    std::condition_variable cv_;
    std::map<DWORD_PTR, Advise> advises_;
    DWORD_PTR nextCookie_ = 0;
    bool quit_ = false;
    std::thread worker_;
};

CUnknown *CreateSystemClock(LPUNKNOWN outer, HRESULT *phr) {
    auto *c = new (std::nothrow) SystemClock(outer);
    if (!c && phr) *phr = E_OUTOFMEMORY;
    return c;
}

}  // namespace

void MediaRegisterClockBuiltin() {
    ComRegisterBuiltinClass(CLSID_SystemClock, &MediaCreateVia<&CreateSystemClock>, "System Clock");
}
