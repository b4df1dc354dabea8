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

namespace {

const QColor kSilver(0xC0, 0xC0, 0xC0);

// The light theme: everything on silver, so every text colour is fixed too: black, and a dark
// grey when disabled that stays readable on silver.
QPalette SilverPalette() {
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    const QColor disabledText(0x50, 0x50, 0x50);
    QPalette palette(black, kSilver, white, QColor(0x80, 0x80, 0x80), QColor(0xA0, 0xA0, 0xA0),
                     black, white);
    palette.setColor(QPalette::ButtonText, black);
    palette.setColor(QPalette::Highlight, QColor(0x00, 0x00, 0x80));
    palette.setColor(QPalette::HighlightedText, white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
    palette.setColor(QPalette::ToolTipText, black);
    palette.setColor(QPalette::PlaceholderText, disabledText);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Base, QColor(0xD8, 0xD8, 0xD8));
    palette.setColor(QPalette::Disabled, QPalette::Light, kSilver);
    return palette;
}

// `share` of `a` mixed with the rest of `b`.
QColor Mixed(const QColor& a, const QColor& b, double share) {
    return QColor::fromRgbF(static_cast<float>(a.redF() * share + b.redF() * (1 - share)),
                            static_cast<float>(a.greenF() * share + b.greenF() * (1 - share)),
                            static_cast<float>(a.blueF() * share + b.blueF() * (1 - share)));
}

}  // namespace

bool IsDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Window).lightness() <
           palette.color(QPalette::Active, QPalette::WindowText).lightness();
}

QPalette WindowPalette(const QPalette& system) {
    if (!IsDarkPalette(system))
        return SilverPalette();
    // Some dark themes grey disabled text almost into the background: it is drawn two thirds of
    // the way from the background to the normal text instead.
    QPalette palette = system;
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        const QPalette::ColorRole background =
            role == QPalette::Text
                ? QPalette::Base
                : (role == QPalette::ButtonText ? QPalette::Button : QPalette::Window);
        palette.setColor(QPalette::Disabled, role,
                         Mixed(system.color(QPalette::Active, role),
                               system.color(QPalette::Disabled, background), 2.0 / 3.0));
    }
    return palette;
}

}  // namespace zm880::app
