#pragma once

#include <QFont>

class QWidget;

namespace zm880::app {

// How many times larger the system font `system` is than `designPixels`, the font size a
// hand-placed form was drawn for; 1 when it is not larger, so that such a form never shrinks.
double FontScale(const QFont& system, int designPixels);

// Scales the hand-placed controls below `root` by `factor`: the position and size of every
// descendant that no layout places, and the size of every font given in pixels to a descendant
// on its own. Edges are scaled rather than sizes, so that controls that touch keep touching.
// `root` itself is left to its caller, as are other windows (menus) among its children.
void ScaleHandPlaced(QWidget& root, double factor);

}  // namespace zm880::app
