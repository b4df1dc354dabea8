#include "app/StatusPanel.h"

#include <algorithm>

namespace zm880::app {

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent) {
    // The window has a fixed size, so a long text must not ask for more width.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setMinimumWidth(0);
}

void TStatusPanel::SetFullText(const QString& text) {
    fullText_ = text;
    ShowFitted();
}

void TStatusPanel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    ShowFitted();
}

void TStatusPanel::ShowFitted() {
    const int room = contentsRect().width() - 2 * margin() - 2 * indent();
    const QString shown = fontMetrics().elidedText(fullText_, Qt::ElideMiddle, std::max(room, 0));
    setText(shown);
    setToolTip(shown == fullText_ ? QString() : fullText_);
}

}  // namespace zm880::app
