// The client's icons and bitmaps: the project's own SVG drawings in the Qt resource file
// of this library, each under its resource id (":/altiren/<id>.svg").
#pragma once

#include "AltirenClient/Resource.h"

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace UiResources {

// The resource path of an id; empty when the resource file has no drawing of it.
QString Path(UINT id);
// The drawing rendered at size; a null pixmap for an id without a drawing.
QPixmap Pixmap(UINT id, const QSize& size);
// The drawing as an icon, rendered at 16, 24, 32, 48 and 64 pixels.
QIcon Icon(UINT id);

} // namespace UiResources
