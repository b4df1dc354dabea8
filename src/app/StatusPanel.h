#pragma once

#include <QLabel>

namespace zm880::app {

// The status bar's one panel. It takes the width the status bar gives it; a text longer than
// that is shortened in the middle and shown whole in the tooltip.
class TStatusPanel : public QLabel {
    Q_OBJECT

  public:
    explicit TStatusPanel(QWidget* parent = nullptr);

    void SetFullText(const QString& text);
    QString FullText() const { return fullText_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ShowFitted();

    QString fullText_;
};

}  // namespace zm880::app
