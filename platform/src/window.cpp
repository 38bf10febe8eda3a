#include "platform/window.h"

#include <array>
#include <mutex>
#include <shared_mutex>

namespace platform {
namespace {

// Calls into the installed system hold this shared; installing takes it
// exclusively, so once InstallWindowSystem returns no call into the previous
// system is still running and the GUI may destroy it.
std::shared_mutex g_systemLock;
WindowSystem *g_system = nullptr;

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

void InstallWindowSystem(WindowSystem *system) {
    std::unique_lock<std::shared_mutex> lock(g_systemLock);
    g_system = system;
}

WindowSystem *InstalledWindowSystem() {
    std::shared_lock<std::shared_mutex> lock(g_systemLock);
    return g_system;
}

bool PostMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    {
        std::shared_lock<std::shared_mutex> lock(g_systemLock);
        if (g_system) return g_system->PostMessage(window, message, wparam, lparam);
    }
    Log().Add(PostedMessage{window, message, wparam, lparam});
    return true;
}

bool GetClientRect(HWND window, RECT *rect) {
    {
        std::shared_lock<std::shared_mutex> lock(g_systemLock);
        if (g_system) return g_system->GetClientRect(window, rect);
    }
    if (rect) *rect = RECT{};
    return false;
}

bool IsWindow(HWND window) {
    std::shared_lock<std::shared_mutex> lock(g_systemLock);
    return g_system && g_system->IsWindow(window);
}

std::unique_ptr<VideoSurface> CreateVideoSurface() {
    {
        std::shared_lock<std::shared_mutex> lock(g_systemLock);
        if (g_system) {
            if (auto surface = g_system->CreateVideoSurface()) return surface;
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
