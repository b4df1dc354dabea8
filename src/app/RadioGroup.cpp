#include "app/RadioGroup.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QRadioButton>

#include <algorithm>

namespace zm880::app {

TRadioGroup::TRadioGroup(const QString& name, const QString& caption, const QStringList& items,
                         QWidget* parent, int columns)
    : QGroupBox(caption, parent) {
    setObjectName(name);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setVerticalSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(name + "_" + QString::number(i));
        buttons_.addButton(button, i);
        button->installEventFilter(this);
        layout->addWidget(button, i / columns, i % columns);
    }
    connect(&buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (!checked)
            return;
        UpdateTabStop();
        emit itemIndexChanged(id);
    });
    UpdateTabStop();
}

void TRadioGroup::UpdateTabStop() {
    // One Tab stop for the group, on its checked item (the first while none is checked); a
    // mnemonic on the caption leads there as well.
    const int stop = std::max(itemIndex(), 0);
    for (QAbstractButton* button : buttons_.buttons())
        button->setFocusPolicy(buttons_.id(button) == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

bool TRadioGroup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || count() == 0)
        return QGroupBox::eventFilter(watched, event);
    int step = 0;
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            step = -1;
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            step = 1;
            break;
        default:
            return QGroupBox::eventFilter(watched, event);
    }
    // The arrows choose the item before or after the one with the focus, round the group.
    const int from = buttons_.id(static_cast<QAbstractButton*>(watched));
    const int to = (from + step + count()) % count();
    setItemIndex(to);
    buttons_.button(to)->setFocus(Qt::TabFocusReason);
    return true;
}

int TRadioGroup::itemIndex() const {
    return buttons_.checkedId();
}

int TRadioGroup::count() const {
    return static_cast<int>(buttons_.buttons().size());
}

void TRadioGroup::setItemIndex(int index) {
    if (count() == 0)
        return;
    index = std::clamp(index, 0, count() - 1);
    if (index != itemIndex())
        buttons_.button(index)->setChecked(true);
}

}  // namespace zm880::app
