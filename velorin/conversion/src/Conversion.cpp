#include "conversion/Conversion.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "conversion/TfrmStart.h"

namespace velorin {

void ShowConversionWindow(QWidget *mainWindow) {
    // Without owner, so that reading the main window's controls by name
    // never finds one of ours; placed over the main window all the same.
    conv::TfrmStart form(conv::DefaultConversionEnv(mainWindow), nullptr);
    form.setWindowModality(Qt::ApplicationModal);
    if (mainWindow) {
        const QPoint centre = mainWindow->frameGeometry().center();
        form.move(centre - QPoint(form.width() / 2, form.height() / 2));
    }
    form.exec();
}

}  // namespace velorin
