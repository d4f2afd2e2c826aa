// How the picture control shows an icon: the largest entry of the file (the
// deepest among equals), decoded by Qt's icon reader, PNG entries included.
// Null when no entry decodes. Needs only Qt Gui, so the icon fuzz target
// builds it without the window.
#pragma once

#include "engine/Graphic.h"

#include <QImage>

namespace kadrimex {

QImage IconImage(const TIcon& icon);

}  // namespace kadrimex
