// The Qt side of the window and message seam: window handles for widgets,
// posted messages delivered as events on the GUI thread, and the video
// surface child widget the renderers paint on.
//
// Handles are small numbers handed out by a registry; a widget is registered
// on first use of HandleOf and forgotten when it is destroyed, so a message
// posted to a closed window is dropped instead of reaching freed memory.
// Posting works from any thread: the message travels as a Qt event to a
// dispatcher on the GUI thread, which looks the handle up again and sends a
// WindowMessageEvent to the widget that holds it at that moment.
#pragma once

#include <QEvent>
#include <QString>
#include <QWidget>

#include <string>

#include "platform/window.h"

namespace velorin {
class DialogService;
}

namespace qtwin {

// Installs the Qt window system into the platform layer. Call once, on the
// GUI thread, after the QApplication exists.
void InstallQtWindowSystem();
void UninstallQtWindowSystem();

// A widget's handle; registered on first use and unregistered when the
// widget is destroyed. Messages posted to a dead handle are dropped.
HWND HandleOf(QWidget *widget);
QWidget *WidgetOf(HWND window);

// The event a posted message arrives as.
class WindowMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();
    WindowMessageEvent(UINT message, WPARAM wparam, LPARAM lparam)
        : QEvent(EventType()), message(message), wparam(wparam), lparam(lparam) {}
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

// The program's "Desc|*.a;*.b|Desc2|*.c|" filter as a QFileDialog name
// filter list ("Desc (*.a *.b);;Desc2 (*.c)"). A description that already
// names its patterns in brackets keeps its text; empty fields are skipped.
QString ConvertFileFilter(const std::string &filter);

// The Qt dialog service: QMessageBox, QFileDialog and the desktop's URL
// handler. Owned by the caller; install it with velorin::InstallDialogService.
velorin::DialogService *QtDialogService();

}  // namespace qtwin
