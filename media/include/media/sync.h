// Locks and events for filters. CCritSec is recursive (a filter's state
// lock is re-entered from its own pins); CAMEvent is a Win32-style event
// (auto or manual reset) that can also be waited on together with others.
#pragma once

#include <condition_variable>
#include <mutex>

#include "media/mtypes.h"

class CCritSec {
public:
    CCritSec() = default;
    CCritSec(const CCritSec &) = delete;
    CCritSec &operator=(const CCritSec &) = delete;
    void Lock() { m_.lock(); }
    void Unlock() { m_.unlock(); }
    // For std::unique_lock / std::lock_guard.
    void lock() { m_.lock(); }
    void unlock() { m_.unlock(); }
    bool try_lock() { return m_.try_lock(); }
private:
    std::recursive_mutex m_;
};

class CAutoLock {
public:
    explicit CAutoLock(CCritSec *lock) : lock_(lock) { lock_->Lock(); }
    ~CAutoLock() { lock_->Unlock(); }
    CAutoLock(const CAutoLock &) = delete;
    CAutoLock &operator=(const CAutoLock &) = delete;
private:
    CCritSec *lock_;
};

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;

class CAMEvent {
public:
    // manualReset false: a successful Wait consumes the signal.
    explicit CAMEvent(BOOL manualReset = FALSE, BOOL initialState = FALSE);
    ~CAMEvent() = default;
    CAMEvent(const CAMEvent &) = delete;
    CAMEvent &operator=(const CAMEvent &) = delete;

    void Set();
    void Reset();
    // True when signalled within `ms` (INFINITE: no limit).
    BOOL Wait(DWORD ms = INFINITE);
    // Non-blocking Wait.
    BOOL Check() { return Wait(0); }
    // Manual-reset only: whether it is signalled, without consuming.
    bool IsSet() const;

    // Waits for any of `count` events; WAIT_OBJECT_0 + index of the first
    // signalled one (consumed if auto-reset), or WAIT_TIMEOUT.
    static DWORD WaitForAny(CAMEvent *const *events, int count, DWORD ms);

private:
    bool TryConsume();
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool manual_;
    bool signalled_;
};

// A manual-reset event.
class CAMManualEvent : public CAMEvent {
public:
    explicit CAMManualEvent(BOOL initialState = FALSE) : CAMEvent(TRUE, initialState) {}
};
