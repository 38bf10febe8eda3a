// Reads the main window's output-settings controls by their object names.
// The only place in the conversion run that knows the main window's widgets.
#pragma once

#include "conversion/EncoderSettings.h"

class QWidget;

namespace velorin::conv {

// The selected category is the one whose "Btn<name>" button is disabled;
// none when no button or more than one is disabled. Controls that are
// missing keep the defaults of OutputControls.
OutputControls ReadOutputControls(const QWidget *mainWindow);
std::optional<Category> ReadSelectedCategory(const QWidget *mainWindow);

}  // namespace velorin::conv
