#pragma once

#include <QPalette>
#include <QProxyStyle>

namespace zm880::app {

// The style the toolkit would choose for the program (it still follows -style,
// QT_STYLE_OVERRIDE and the desktop's choice), with one change: the icon of a menu bar's overflow
// button is read when it is first drawn instead of when the menu bar is made. Reading an icon file
// makes the toolkit load every image-format plugin to recognise one built-in PNG, about a
// twentieth of the window's start-up, and the window is too wide for its menus ever to overflow.
// Install it before the first window is made.
class TWindowStyle : public QProxyStyle {
  public:
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

// Whether `palette` draws light text on a dark window, as dark themes do.
bool IsDarkPalette(const QPalette& palette);

// The main window's colours under the system's palette `system`: silver with black text under a
// light theme; the system's own colours under a dark one, so the window matches its menus and
// dialogs. Disabled text stays readable on the window's background in either.
QPalette WindowPalette(const QPalette& system);

}  // namespace zm880::app
