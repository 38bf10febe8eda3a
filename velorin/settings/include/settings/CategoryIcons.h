// Drawn icons of the fourteen output categories: a rounded tile in the
// category family's colour with a small device or format glyph. Drawn with
// QPainter at any size; the disabled mode shows the same picture, because a
// disabled category button is the selected one.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "settings/Category.h"

namespace velorin {

QPixmap CategoryPixmap(OutputCategory category, int size);
QIcon CategoryIcon(OutputCategory category);

}  // namespace velorin
