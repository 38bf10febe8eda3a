#include "media/sync.h"

#include <chrono>

namespace {
// Multi-event waits share one condition variable: every Set also wakes it.
std::mutex g_anyLock;
std::condition_variable g_anyCv;
}  // namespace

CAMEvent::CAMEvent(BOOL manualReset, BOOL initialState) : manual_(manualReset != FALSE), signalled_(initialState != FALSE) {}

void CAMEvent::Set() {
    {
        std::lock_guard<std::mutex> g(m_);
        signalled_ = true;
    }
    if (manual_) cv_.notify_all();
    else cv_.notify_one();
    std::lock_guard<std::mutex> g(g_anyLock);
    g_anyCv.notify_all();
}

void CAMEvent::Reset() {
    std::lock_guard<std::mutex> g(m_);
    signalled_ = false;
}

BOOL CAMEvent::Wait(DWORD ms) {
    std::unique_lock<std::mutex> l(m_);
    auto ready = [this] { return signalled_; };
    if (ms == INFINITE) {
        cv_.wait(l, ready);
    } else if (!cv_.wait_for(l, std::chrono::milliseconds(ms), ready)) {
        return FALSE;
    }
    if (!manual_) signalled_ = false;
    return TRUE;
}

bool CAMEvent::IsSet() const {
    std::lock_guard<std::mutex> g(m_);
    return signalled_;
}

bool CAMEvent::TryConsume() {
    std::lock_guard<std::mutex> g(m_);
    if (!signalled_) return false;
    if (!manual_) signalled_ = false;
    return true;
}

DWORD CAMEvent::WaitForAny(CAMEvent *const *events, int count, DWORD ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms == INFINITE ? 0 : ms);
    std::unique_lock<std::mutex> l(g_anyLock);
    for (;;) {
        for (int i = 0; i < count; ++i)
            if (events[i] && events[i]->TryConsume()) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        if (ms == INFINITE) {
            g_anyCv.wait(l);
        } else if (g_anyCv.wait_until(l, deadline) == std::cv_status::timeout) {
            for (int i = 0; i < count; ++i)
                if (events[i] && events[i]->TryConsume()) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
            return WAIT_TIMEOUT;
        }
    }
}
