// Qt window system for the platform seam. See qtwin.h for the design.
#include "qtwin/qtwin.h"

#include <QCoreApplication>
#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace qtwin {
namespace {

// ---- handle registry ---------------------------------------------------
// The size cache lets GetClientRect answer from a streaming thread without
// touching the widget.
struct Entry {
    QWidget *widget = nullptr;
    int width = 0;
    int height = 0;
};

std::mutex g_registryMutex;
std::unordered_map<std::uintptr_t, Entry> g_byHandle;
std::unordered_map<QWidget *, std::uintptr_t> g_byWidget;
std::uintptr_t g_nextHandle = 0x100;

class SizeWatcher : public QObject {
public:
    bool eventFilter(QObject *object, QEvent *event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) {
            auto *widget = static_cast<QWidget *>(object);
            std::lock_guard lock(g_registryMutex);
            auto it = g_byWidget.find(widget);
            if (it != g_byWidget.end()) {
                Entry &e = g_byHandle[it->second];
                e.width = widget->width();
                e.height = widget->height();
            }
        }
        return false;
    }
};

SizeWatcher *Watcher() {
    static SizeWatcher *watcher = new SizeWatcher;  // lives to process end
    return watcher;
}

void Forget(QObject *object) {
    std::lock_guard lock(g_registryMutex);
    auto it = g_byWidget.find(static_cast<QWidget *>(object));
    if (it == g_byWidget.end()) return;
    g_byHandle.erase(it->second);
    g_byWidget.erase(it);
}

bool LookUp(HWND window, Entry *out) {
    std::lock_guard lock(g_registryMutex);
    auto it = g_byHandle.find(reinterpret_cast<std::uintptr_t>(window));
    if (it == g_byHandle.end()) return false;
    if (out) *out = it->second;
    return true;
}

// ---- message delivery --------------------------------------------------
class PostedEvent : public QEvent {
public:
    static QEvent::Type Type() {
        static const int type = QEvent::registerEventType();
        return static_cast<QEvent::Type>(type);
    }
    PostedEvent(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
        : QEvent(Type()), window(window), message(message), wparam(wparam), lparam(lparam) {}
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

// Lives on the GUI thread; turns posted events into WindowMessageEvents for
// whichever widget holds the handle when the event is processed.
class Dispatcher : public QObject {
public:
    bool event(QEvent *event) override {
        if (event->type() != PostedEvent::Type()) return QObject::event(event);
        auto *posted = static_cast<PostedEvent *>(event);
        QWidget *widget = WidgetOf(posted->window);
        if (widget) {
            WindowMessageEvent message(posted->message, posted->wparam, posted->lparam);
            QCoreApplication::sendEvent(widget, &message);
        }
        return true;
    }
};

std::atomic<Dispatcher *> g_dispatcher{nullptr};

bool OnGuiThread() {
    auto *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Runs `fn` on the GUI thread: now when already there, queued otherwise.
template <typename Fn>
void OnGui(Fn fn) {
    if (OnGuiThread()) {
        fn();
        return;
    }
    Dispatcher *dispatcher = g_dispatcher.load();
    if (dispatcher) QMetaObject::invokeMethod(dispatcher, std::move(fn), Qt::QueuedConnection);
}

// ---- video surface -------------------------------------------------------
class VideoWidget;

// Shared by the surface object (any thread) and the queued GUI-side calls,
// which may run after the surface is gone.
struct SurfaceState {
    mutable std::mutex mutex;
    HWND owner = nullptr;
    bool visible = false;
    RECT geometry;
    QImage picture;
    bool updateQueued = false;
    bool dead = false;
    QPointer<VideoWidget> widget;  // GUI thread only
};

// The child widget the picture is painted on. Input passes through to the
// owner, as the video window forwards its messages to its owner.
class VideoWidget : public QWidget {
public:
    VideoWidget(std::shared_ptr<SurfaceState> state, QWidget *parent)
        : QWidget(parent), state_(std::move(state)) {
        setObjectName("VideoSurface");
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QImage picture;
        {
            std::lock_guard lock(state_->mutex);
            picture = state_->picture;
            state_->updateQueued = false;
        }
        QPainter painter(this);
        if (picture.isNull()) {
            painter.fillRect(rect(), Qt::black);
            return;
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), picture);
    }

private:
    std::shared_ptr<SurfaceState> state_;
};

// Brings the child widget in line with the state. GUI thread.
void ApplySurface(const std::shared_ptr<SurfaceState> &state) {
    HWND owner;
    bool visible, dead;
    RECT g;
    {
        std::lock_guard lock(state->mutex);
        owner = state->owner;
        visible = state->visible;
        g = state->geometry;
        dead = state->dead;
    }
    QWidget *parent = dead ? nullptr : WidgetOf(owner);
    if (!parent) {
        delete state->widget.data();
        state->widget = nullptr;
        return;
    }
    if (!state->widget || state->widget->parentWidget() != parent) {
        delete state->widget.data();
        state->widget = new VideoWidget(state, parent);
    }
    VideoWidget *widget = state->widget;
    widget->setGeometry(g.left, g.top, g.right - g.left, g.bottom - g.top);
    widget->setVisible(visible);
    if (visible) widget->raise();
}

class QtVideoSurface : public platform::VideoSurface {
public:
    QtVideoSurface() : state_(std::make_shared<SurfaceState>()) {}

    ~QtVideoSurface() override {
        {
            std::lock_guard lock(state_->mutex);
            state_->dead = true;
        }
        auto state = state_;
        OnGui([state] { ApplySurface(state); });
    }

    void SetOwner(HWND owner) override {
        {
            std::lock_guard lock(state_->mutex);
            state_->owner = owner;
        }
        Sync();
    }
    HWND Owner() const override {
        std::lock_guard lock(state_->mutex);
        return state_->owner;
    }
    void SetVisible(bool visible) override {
        {
            std::lock_guard lock(state_->mutex);
            state_->visible = visible;
        }
        Sync();
    }
    bool Visible() const override {
        std::lock_guard lock(state_->mutex);
        return state_->visible;
    }
    void SetGeometry(int left, int top, int width, int height) override {
        {
            std::lock_guard lock(state_->mutex);
            state_->geometry = RECT{left, top, left + width, top + height};
        }
        Sync();
    }
    RECT Geometry() const override {
        std::lock_guard lock(state_->mutex);
        return state_->geometry;
    }
    void Present(const platform::VideoPicture &picture) override {
        if (picture.width <= 0 || picture.height <= 0 || picture.stride < picture.width * 4 ||
            picture.pixels.size() < static_cast<size_t>(picture.stride) * picture.height)
            return;
        // Deep copy: the renderer reuses its buffer once Present returns.
        QImage copy = QImage(picture.pixels.data(), picture.width, picture.height, picture.stride,
                             QImage::Format_RGB32)
                          .copy();
        bool queue;
        {
            std::lock_guard lock(state_->mutex);
            state_->picture = std::move(copy);
            queue = !state_->updateQueued;
            state_->updateQueued = true;
        }
        // One queued repaint at a time; the paint takes the newest picture.
        if (queue) {
            auto state = state_;
            OnGui([state] {
                if (state->widget) {
                    state->widget->update();
                } else {
                    std::lock_guard lock(state->mutex);
                    state->updateQueued = false;
                }
            });
        }
    }

private:
    void Sync() {
        auto state = state_;
        OnGui([state] { ApplySurface(state); });
    }

    std::shared_ptr<SurfaceState> state_;
};

// ---- the window system ---------------------------------------------------
class QtWindowSystem : public platform::WindowSystem {
public:
    bool PostMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
        if (!LookUp(window, nullptr)) return false;
        Dispatcher *dispatcher = g_dispatcher.load();
        if (!dispatcher) return false;
        QCoreApplication::postEvent(dispatcher, new PostedEvent(window, message, wparam, lparam));
        return true;
    }
    bool GetClientRect(HWND window, RECT *rect) override {
        Entry e;
        if (!rect || !LookUp(window, &e)) return false;
        // On the GUI thread the widget itself answers (a hidden widget gets
        // no resize events); elsewhere the size cache does.
        if (OnGuiThread()) {
            e.width = e.widget->width();
            e.height = e.widget->height();
        }
        *rect = RECT{0, 0, e.width, e.height};
        return true;
    }
    bool IsWindow(HWND window) override { return LookUp(window, nullptr); }
    std::unique_ptr<platform::VideoSurface> CreateVideoSurface() override {
        return std::make_unique<QtVideoSurface>();
    }
};

QtWindowSystem *g_system = nullptr;

}  // namespace

QEvent::Type WindowMessageEvent::EventType() {
    static const int type = QEvent::registerEventType();
    return static_cast<QEvent::Type>(type);
}

void InstallQtWindowSystem() {
    if (!g_dispatcher.load()) {
        auto *dispatcher = new Dispatcher;
        dispatcher->setObjectName("qtwinDispatcher");
        g_dispatcher.store(dispatcher);
    }
    if (!g_system) g_system = new QtWindowSystem;
    platform::InstallWindowSystem(g_system);
}

void UninstallQtWindowSystem() {
    platform::InstallWindowSystem(nullptr);
    // Posted events still queued for the dispatcher are discarded with it.
    delete g_dispatcher.exchange(nullptr);
    delete g_system;
    g_system = nullptr;
}

HWND HandleOf(QWidget *widget) {
    if (!widget) return nullptr;
    std::uintptr_t handle;
    {
        std::lock_guard lock(g_registryMutex);
        auto it = g_byWidget.find(widget);
        if (it != g_byWidget.end()) return reinterpret_cast<HWND>(it->second);
        handle = g_nextHandle++;
        g_byWidget[widget] = handle;
        g_byHandle[handle] = Entry{widget, widget->width(), widget->height()};
    }
    QObject::connect(widget, &QObject::destroyed, [](QObject *object) { Forget(object); });
    widget->installEventFilter(Watcher());
    return reinterpret_cast<HWND>(handle);
}

QWidget *WidgetOf(HWND window) {
    Entry e;
    if (!window || !LookUp(window, &e)) return nullptr;
    return e.widget;
}

}  // namespace qtwin
