#include "conversion/Conversion.h"

#include <QDialog>

namespace velorin {

void ShowConversionWindow(QWidget *mainWindow) {
    // Replaced by the conversion window as soon as it builds.
    QDialog dialog(mainWindow);
    dialog.setObjectName("frmStart");
    dialog.exec();
}

}  // namespace velorin
