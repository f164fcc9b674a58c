#pragma once

#include <QIcon>
#include <QPixmap>

namespace orvel {

enum class Lamp { Yellow, Green, Red, Grey };

// The 16 by 16 lamp pictures and the window icon, drawn here rather than loaded.
QPixmap lampPixmap(Lamp lamp);
QIcon windowIcon();
// The window icon drawn at size by size pixels, for the desktop's icon theme.
QPixmap windowIconPixmap(int size);

}  // namespace orvel
