#include "platform/window.h"

#include <array>
#include <condition_variable>
#include <mutex>

namespace platform {
namespace {

// Calls into the installed system are counted; installing waits until none
// is in flight (and holds new calls back meanwhile), so once
// InstallWindowSystem returns the GUI may destroy the previous system.
// Installing takes precedence over new calls, so busy streaming threads
// cannot hold it off.
class SystemSlot {
public:
    // The current system with one call counted, or null (nothing counted).
    WindowSystem *Enter() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !installing_; });
        if (system_) ++inFlight_;
        return system_;
    }
    void Leave() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--inFlight_ == 0) changed_.notify_all();
    }
    void Install(WindowSystem *system) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !installing_; });
        installing_ = true;
        changed_.wait(lock, [this] { return inFlight_ == 0; });
        system_ = system;
        installing_ = false;
        changed_.notify_all();
    }
    WindowSystem *Current() {
        std::lock_guard<std::mutex> lock(mutex_);
        return system_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    WindowSystem *system_ = nullptr;
    int inFlight_ = 0;
    bool installing_ = false;
};

SystemSlot &Slot() {
    static SystemSlot slot;
    return slot;
}

// Enter/Leave around one call.
class SystemCall {
public:
    SystemCall() : system_(Slot().Enter()) {}
    ~SystemCall() {
        if (system_) Slot().Leave();
    }
    SystemCall(const SystemCall &) = delete;
    SystemCall &operator=(const SystemCall &) = delete;
    WindowSystem *operator->() const { return system_; }
    explicit operator bool() const { return system_ != nullptr; }

private:
    WindowSystem *system_;
};

// The headless log: the last 1024 messages posted without a window system.
class PostedLog {
public:
    void Add(const PostedMessage &m) {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_[(first_ + size_) % ring_.size()] = m;
        if (size_ < ring_.size())
            ++size_;
        else
            first_ = (first_ + 1) % ring_.size();
    }
    std::vector<PostedMessage> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<PostedMessage> out;
        out.reserve(size_);
        for (std::size_t i = 0; i < size_; ++i) out.push_back(ring_[(first_ + i) % ring_.size()]);
        first_ = size_ = 0;
        return out;
    }

private:
    std::mutex mutex_;
    std::array<PostedMessage, 1024> ring_{};
    std::size_t first_ = 0, size_ = 0;
};

PostedLog &Log() {
    static PostedLog log;
    return log;
}

// Invisible stand-in: remembers what a renderer told it.
class HeadlessSurface final : public VideoSurface {
public:
    void SetOwner(HWND owner) override {
        std::lock_guard<std::mutex> lock(mutex_);
        owner_ = owner;
    }
    HWND Owner() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return owner_;
    }
    void SetVisible(bool visible) override {
        std::lock_guard<std::mutex> lock(mutex_);
        visible_ = visible;
    }
    bool Visible() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return visible_;
    }
    void SetGeometry(int left, int top, int width, int height) override {
        std::lock_guard<std::mutex> lock(mutex_);
        rect_ = RECT{left, top, left + width, top + height};
    }
    RECT Geometry() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return rect_;
    }
    void Present(const VideoPicture &picture) override {
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = picture;
    }
    VideoPicture LastPicture() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_;
    }

private:
    mutable std::mutex mutex_;
    HWND owner_ = nullptr;
    bool visible_ = false;
    RECT rect_{};
    VideoPicture last_;
};

}  // namespace

void InstallWindowSystem(WindowSystem *system) { Slot().Install(system); }

WindowSystem *InstalledWindowSystem() { return Slot().Current(); }

bool PostMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    {
        SystemCall system;
        if (system) return system->PostMessage(window, message, wparam, lparam);
    }
    Log().Add(PostedMessage{window, message, wparam, lparam});
    return true;
}

bool GetClientRect(HWND window, RECT *rect) {
    {
        SystemCall system;
        if (system) return system->GetClientRect(window, rect);
    }
    if (rect) *rect = RECT{};
    return false;
}

bool IsWindow(HWND window) {
    SystemCall system;
    return system && system->IsWindow(window);
}

std::unique_ptr<VideoSurface> CreateVideoSurface() {
    {
        SystemCall system;
        if (system) {
            if (auto surface = system->CreateVideoSurface()) return surface;
        }
    }
    return std::make_unique<HeadlessSurface>();
}

std::unique_ptr<VideoSurface> CreateHeadlessVideoSurface() { return std::make_unique<HeadlessSurface>(); }

bool HeadlessSurfaceLastPicture(const VideoSurface &surface, VideoPicture *picture) {
    auto *headless = dynamic_cast<const HeadlessSurface *>(&surface);
    if (!headless) return false;
    if (picture) *picture = headless->LastPicture();
    return true;
}

std::vector<PostedMessage> TakeHeadlessPostedMessages() { return Log().Take(); }

}  // namespace platform
