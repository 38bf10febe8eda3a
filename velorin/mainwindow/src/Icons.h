// Icons of the main window's buttons, drawn with QPainter.
#pragma once

#include <QIcon>

namespace velorin {

enum class IconKind { Add, Remove, Clear, Up, Down, Play, Stop, Camera, Help, About, Web, Minimise, Close };

QIcon DrawnIcon(IconKind kind, int size = 20);

}  // namespace velorin
