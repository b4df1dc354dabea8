#include "app/NumberField.h"

#include <QLineEdit>

#include <algorithm>

namespace zm880::app {

TNumberField::TNumberField(const QString& name, int min, int max, int initial, QWidget* parent,
                           int maxDigits)
    : QSpinBox(parent) {
    setObjectName(name);
    setRange(min, max);
    setValue(initial);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (maxDigits > 0)
        lineEdit()->setMaxLength(maxDigits + (min < 0 ? 1 : 0));
}

int TNumberField::valueFromText(const QString& text) const {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        return minimum();
    return std::clamp(value, minimum(), maximum());
}

QValidator::State TNumberField::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    // Out-of-range numbers are accepted and shown at the nearest bound on commit.
    if (state == QValidator::Invalid) {
        bool ok = false;
        input.trimmed().toInt(&ok);
        if (ok)
            return QValidator::Intermediate;
    }
    return state;
}

void TNumberField::fixup(QString& input) const {
    input = textFromValue(valueFromText(input));
}

}  // namespace zm880::app
