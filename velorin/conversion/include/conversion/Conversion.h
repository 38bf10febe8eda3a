// Entry point of the conversion run for the main window.
#pragma once

class QWidget;

namespace velorin {

// Opens the conversion window modally over `mainWindow` (the main window's
// start command). The conversion window reads the output settings from the
// main window's controls by their object names, converts the job list and
// is freed when it closes. Call on the GUI thread.
void ShowConversionWindow(QWidget *mainWindow);

}  // namespace velorin

// Same function at global scope, for callers that do not use the namespace.
using velorin::ShowConversionWindow;
