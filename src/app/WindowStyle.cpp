#include "app/WindowStyle.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>

#include <optional>

namespace zm880::app {
namespace {

// Stands in for a standard icon of `style` and asks the style for it only when the icon is first
// needed; from then on every question goes to the real icon.
class TDeferredStandardIconEngine : public QIconEngine {
  public:
    TDeferredStandardIconEngine(QStyle* style, QStyle::StandardPixmap which,
                                const QStyleOption* option, const QWidget* widget)
        : style_(style), which_(which), widget_(widget) {
        if (option != nullptr)
            option_ = *option;
    }

    // The caller has fitted `rect` to actualSize(); the toolkit's own engines fill it as here.
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const QPaintDevice* device = painter->device();
        const qreal ratio =
            device != nullptr ? device->devicePixelRatio() : qApp->devicePixelRatio();
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    // Sizes here are in device pixels: the caller has applied the device pixel ratio already.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().pixmap(size, 1.0, mode, state);
    }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return pixmap(size, mode, state).size();
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return Icon().availableSizes(mode, state);
    }

    QString iconName() override { return Icon().name(); }

    bool isNull() override { return Icon().isNull(); }

    QString key() const override { return QStringLiteral("TDeferredStandardIconEngine"); }

    QIconEngine* clone() const override { return new TDeferredStandardIconEngine(*this); }

  private:
    const QIcon& Icon() {
        if (!icon_) {
            // A style replaced in the meantime is gone; the application's current one answers.
            QStyle* style = style_ ? style_.data() : QApplication::style();
            icon_ = style->standardIcon(which_, option_ ? &*option_ : nullptr, widget_.data());
        }
        return *icon_;
    }

    QPointer<QStyle> style_;
    QStyle::StandardPixmap which_;
    std::optional<QStyleOption> option_;
    QPointer<const QWidget> widget_;
    std::optional<QIcon> icon_;
};

}  // namespace

QIcon TWindowStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                                 const QWidget* widget) const {
    if (which != SP_ToolBarHorizontalExtensionButton)
        return QProxyStyle::standardIcon(which, option, widget);
    return QIcon(new TDeferredStandardIconEngine(baseStyle(), which, option, widget));
}

}  // namespace zm880::app
