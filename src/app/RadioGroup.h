#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace zm880::app {

// A captioned group of radio buttons addressed by item index (-1 = none). The buttons are
// named objectName() + "_0", "_1", … so that tests and the console can find them. Tab stops at
// the checked item only, and the arrow keys choose the item before or after it.
class TRadioGroup : public QGroupBox {
    Q_OBJECT

  public:
    TRadioGroup(const QString& name, const QString& caption, const QStringList& items,
                QWidget* parent, int columns = 1);

    int itemIndex() const;
    // Checks item `index` (held to the item range); emits itemIndexChanged only on a change.
    void setItemIndex(int index);
    int count() const;

  signals:
    // The checked item changed, whether the user or the program chose it.
    void itemIndexChanged(int index);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void UpdateTabStop();

    QButtonGroup buttons_;
};

}  // namespace zm880::app
