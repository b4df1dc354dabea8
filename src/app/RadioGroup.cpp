#include "app/RadioGroup.h"

#include <QGridLayout>
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
        layout->addWidget(button, i / columns, i % columns);
    }
    connect(&buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            emit itemIndexChanged(id);
    });
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
