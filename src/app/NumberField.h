#pragma once

#include <QSpinBox>

namespace zm880::app {

// A whole-number field that holds its value inside its range: text that is not a number reads
// as the lower bound instead of falling back to the previous value.
class TNumberField : public QSpinBox {
    Q_OBJECT

  public:
    TNumberField(const QString& name, int min, int max, int initial, QWidget* parent,
                 int maxDigits = 0);

  protected:
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
};

}  // namespace zm880::app
