// The Qt side of the window seam: handles, posted messages, client
// rectangles, the video surface, and the file dialog's filter text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWidget>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/window.h"
#include "qtwin/qtwin.h"

namespace {

class Receiver : public QWidget {
public:
    struct Got {
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
        bool onGuiThread;
    };
    std::vector<Got> got;

protected:
    bool event(QEvent *event) override {
        if (event->type() == qtwin::WindowMessageEvent::EventType()) {
            auto *m = static_cast<qtwin::WindowMessageEvent *>(event);
            got.push_back({m->message, m->wparam, m->lparam, QThread::currentThread() == qApp->thread()});
            return true;
        }
        return QWidget::event(event);
    }
};

}  // namespace

TEST(QtWindowSystem, PostedMessagesArriveOnTheGuiThreadInOrder) {
    Receiver receiver;
    const HWND handle = qtwin::HandleOf(&receiver);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(qtwin::HandleOf(&receiver), handle);
    EXPECT_EQ(qtwin::WidgetOf(handle), &receiver);
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) EXPECT_TRUE(platform::PostMessage(handle, 0x0414, i, -i));
    });
    poster.join();
    EXPECT_TRUE(receiver.got.empty());  // later, never inside PostMessage
    QCoreApplication::processEvents();
    ASSERT_EQ(receiver.got.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(receiver.got[i].message, 0x0414u);
        EXPECT_EQ(receiver.got[i].wparam, static_cast<WPARAM>(i));
        EXPECT_EQ(receiver.got[i].lparam, -i);
        EXPECT_TRUE(receiver.got[i].onGuiThread);
    }
}

TEST(QtWindowSystem, MessagesToAClosedWindowAreDropped) {
    auto receiver = std::make_unique<Receiver>();
    const HWND handle = qtwin::HandleOf(receiver.get());
    // Queued before the window goes: the dispatcher finds the handle dead.
    EXPECT_TRUE(platform::PostMessage(handle, 1044, 0, 0));
    receiver.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(platform::IsWindow(handle));
    EXPECT_FALSE(platform::PostMessage(handle, 1044, 0, 0));
    EXPECT_EQ(qtwin::WidgetOf(handle), nullptr);
    EXPECT_FALSE(platform::PostMessage(nullptr, 1044, 0, 0));
    // A new widget never reuses the handle.
    Receiver other;
    EXPECT_NE(qtwin::HandleOf(&other), handle);
}

TEST(QtWindowSystem, ClientRectFollowsTheWidgetFromAnyThread) {
    QWidget widget;
    widget.resize(238, 160);
    widget.show();
    const HWND handle = qtwin::HandleOf(&widget);
    RECT rect;
    ASSERT_TRUE(platform::GetClientRect(handle, &rect));
    EXPECT_EQ(rect.right - rect.left, 238);
    EXPECT_EQ(rect.bottom - rect.top, 160);
    widget.resize(300, 200);
    std::thread reader([&] {
        RECT r;
        EXPECT_TRUE(platform::GetClientRect(handle, &r));
        EXPECT_EQ(r.right, 300);
        EXPECT_EQ(r.bottom, 200);
    });
    reader.join();
}

TEST(QtWindowSystem, VideoSurfacePaintsPicturesPresentedFromAnotherThread) {
    QWidget owner;
    owner.resize(238, 160);
    owner.show();
    auto surface = platform::CreateVideoSurface();
    ASSERT_NE(surface, nullptr);
    surface->SetOwner(qtwin::HandleOf(&owner));
    surface->SetGeometry(13, 1, 210, 160);
    surface->SetVisible(true);
    auto *child = owner.findChild<QWidget *>("VideoSurface");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->geometry(), QRect(13, 1, 210, 160));
    EXPECT_TRUE(child->isVisible());

    platform::VideoPicture picture;
    picture.width = 32;
    picture.height = 24;
    picture.stride = 32 * 4 + 16;  // padded rows
    picture.pixels.assign(static_cast<size_t>(picture.stride) * picture.height, 0);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            uint8_t *p = &picture.pixels[static_cast<size_t>(y) * picture.stride + x * 4];
            p[0] = 30, p[1] = 160, p[2] = 220, p[3] = 255;  // B, G, R, A
        }
    std::thread presenter([&] {
        for (int i = 0; i < 20; ++i) surface->Present(picture);
    });
    presenter.join();
    QCoreApplication::processEvents();
    const QImage shown = child->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(shown.width() / 2, shown.height() / 2)), QColor(220, 160, 30));

    surface->SetGeometry(0, 0, 100, 50);
    EXPECT_EQ(child->geometry(), QRect(0, 0, 100, 50));
    surface->SetVisible(false);
    EXPECT_FALSE(child->isVisible());
    // A picture whose buffer is too small is ignored, not read past its end.
    platform::VideoPicture bad = picture;
    bad.pixels.resize(10);
    surface->Present(bad);
    // Without an owner the child goes; destroying the surface from another
    // thread is safe.
    surface->SetOwner(nullptr);
    EXPECT_EQ(owner.findChild<QWidget *>("VideoSurface"), nullptr);
    surface->SetOwner(qtwin::HandleOf(&owner));
    std::thread killer([&] { surface.reset(); });
    killer.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(owner.findChild<QWidget *>("VideoSurface"), nullptr);
}

TEST(QtDialogFilter, ConvertsTheProgramsFilterText) {
    const std::pair<const char *, const char *> cases[] = {
        {"AVI(*.avi)|*.avi|", "AVI(*.avi) (*.avi)"},
        {"Divx(*.divx,*.div)|*.divx;*.div", "Divx(*.divx,*.div) (*.divx *.div)"},
        {"bmp file(*.bmp)|*.bmp|*.*|*.*", "bmp file(*.bmp) (*.bmp);;*.* (*)"},
        {"", ""},
        {"Only a description", ""},
        {"|*.avi|", "*.avi (*.avi)"},
    };
    for (const auto &[program, qt] : cases) EXPECT_EQ(qtwin::ConvertFileFilter(program).toStdString(), qt) << program;
}
