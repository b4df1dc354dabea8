#include "app/FormScale.h"

#include <QFontInfo>
#include <QLayout>
#include <QWidget>

#include <cmath>

namespace zm880::app {
namespace {

int Scaled(int value, double factor) {
    return static_cast<int>(std::lround(value * factor));
}

// Widgets a layout places, and the toolkit's own parts of a composite control (a tab widget's
// bar, a list's scroll bars), take their geometry from their parent when it is resized.
bool PlacedByParent(const QWidget& widget) {
    const QWidget* parent = widget.parentWidget();
    if (parent != nullptr && parent->layout() != nullptr && parent->layout()->indexOf(&widget) >= 0)
        return true;
    return widget.objectName().startsWith("qt_");
}

void ScaleWidget(QWidget& widget, double factor) {
    if (!PlacedByParent(widget)) {
        const QRect rect = widget.geometry();
        const int left = Scaled(rect.left(), factor);
        const int top = Scaled(rect.top(), factor);
        widget.setGeometry(left, top, Scaled(rect.left() + rect.width(), factor) - left,
                           Scaled(rect.top() + rect.height(), factor) - top);
    }
    if (widget.testAttribute(Qt::WA_SetFont) && widget.font().pixelSize() > 0) {
        QFont font = widget.font();
        font.setPixelSize(Scaled(font.pixelSize(), factor));
        widget.setFont(font);
    }
}

}  // namespace

double FontScale(const QFont& system, int designPixels) {
    const int pixels = QFontInfo(system).pixelSize();
    return pixels > designPixels ? static_cast<double>(pixels) / designPixels : 1.0;
}

void ScaleHandPlaced(QWidget& root, double factor) {
    if (factor == 1.0)
        return;
    for (QWidget* child : root.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            continue;
        ScaleWidget(*child, factor);
        ScaleHandPlaced(*child, factor);
    }
}

}  // namespace zm880::app
