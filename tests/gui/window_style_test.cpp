#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QTest>
#include <QToolButton>


#include "app/WindowStyle.h"
#include "support/ColorContrast.h"

using zm880::app::TWindowStyle;
using zm880::app::WindowPalette;
using zm880::testing::Contrast;

namespace {

// Whether an image-format plugin is mapped into this process.
bool ImagePluginLoaded() {
    QFile maps("/proc/self/maps");
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains("/imageformats/");
}

bool ImagePluginInstalled() {
    for (const QString& path : QCoreApplication::libraryPaths())
        if (!QDir(path + "/imageformats").entryList(QDir::Files).isEmpty())
            return true;
    return false;
}

QImage Painted(const QIcon& icon, int size, qreal ratio, QIcon::Mode mode) {
    QImage image(QSize(size, size) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    icon.paint(&painter, QRect(0, 0, size, size), Qt::AlignCenter, mode);
    return image;
}

// A dark theme that greys disabled text almost into its background.
QPalette DarkSystemPalette() {
    const QColor text(0xE0, 0xE0, 0xE0);
    const QColor window(0x30, 0x30, 0x30);
    QPalette dark(text, window, QColor(0x50, 0x50, 0x50), QColor(0x10, 0x10, 0x10),
                  QColor(0x28, 0x28, 0x28), text, Qt::white, QColor(0x20, 0x20, 0x20), window);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, QColor(0x48, 0x48, 0x48));
    return dark;
}

}  // namespace

class WindowStyleTest : public QObject {
    Q_OBJECT

  private slots:
    // Runs first: the other tests ask the toolkit's own style for icons, which loads the plugins.
    void menuBarLoadsNoImagePluginUntilItsOverflowIconIsDrawn();
    void standardIconsLookAsTheToolkitsOwn_data();
    void standardIconsLookAsTheToolkitsOwn();
    void windowPaletteFollowsTheSystemTheme_data();
    void windowPaletteFollowsTheSystemTheme();
};

void WindowStyleTest::menuBarLoadsNoImagePluginUntilItsOverflowIconIsDrawn() {
#ifdef Q_OS_WIN
    QSKIP("only Linux shows in /proc which libraries a process has loaded");
#endif
    QApplication::setStyle(new TWindowStyle);
    QMainWindow window;
    window.menuBar()->addMenu("&File");
    auto* overflow = window.menuBar()->findChild<QToolButton*>();
    QVERIFY(overflow != nullptr);
    QVERIFY(!ImagePluginLoaded());

    QVERIFY(!overflow->icon().pixmap(16).isNull());
    // Drawing the icon reads it the toolkit's way, which the check above would have seen.
    if (ImagePluginInstalled())
        QVERIFY(ImagePluginLoaded());
}

void WindowStyleTest::standardIconsLookAsTheToolkitsOwn_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QIcon::Mode>("mode");
    QTest::newRow("overflow") << int(QStyle::SP_ToolBarHorizontalExtensionButton) << QIcon::Normal;
    QTest::newRow("overflow disabled")
        << int(QStyle::SP_ToolBarHorizontalExtensionButton) << QIcon::Disabled;
    QTest::newRow("other icons pass through") << int(QStyle::SP_MessageBoxWarning) << QIcon::Normal;
}

void WindowStyleTest::standardIconsLookAsTheToolkitsOwn() {
    QFETCH(int, which);
    QFETCH(QIcon::Mode, mode);
    const auto pixmap = static_cast<QStyle::StandardPixmap>(which);
    TWindowStyle style;
    const QIcon ours = style.standardIcon(pixmap);
    const QIcon own = style.baseStyle()->standardIcon(pixmap);

    QVERIFY(!ours.isNull());
    QCOMPARE(ours.availableSizes(mode), own.availableSizes(mode));
    for (int size : {8, 12, 16, 24, 32}) {
        const QSize square(size, size);
        QCOMPARE(ours.actualSize(square, mode), own.actualSize(square, mode));
        // Also on a high-density screen, where the toolkit asks for the pixels it needs.
        for (qreal ratio : {1.0, 2.0}) {
            QCOMPARE(ours.pixmap(square, ratio, mode).toImage(),
                     own.pixmap(square, ratio, mode).toImage());
            QCOMPARE(Painted(ours, size, ratio, mode), Painted(own, size, ratio, mode));
        }
    }
}

void WindowStyleTest::windowPaletteFollowsTheSystemTheme_data() {
    QTest::addColumn<QPalette>("system");
    QTest::addColumn<QColor>("window");
    QTest::newRow("light theme: silver")
        << QPalette(Qt::black, QColor(0xEF, 0xEF, 0xEF)) << QColor(0xC0, 0xC0, 0xC0);
    QTest::newRow("dark theme: its own colours") << DarkSystemPalette() << QColor(0x30, 0x30, 0x30);
}

void WindowStyleTest::windowPaletteFollowsTheSystemTheme() {
    QFETCH(QPalette, system);
    const QPalette palette = WindowPalette(system);
    QTEST(palette.color(QPalette::Active, QPalette::Window), "window");
    const std::pair<QPalette::ColorRole, QPalette::ColorRole> pairs[] = {
        {QPalette::WindowText, QPalette::Window},
        {QPalette::Text, QPalette::Base},
        {QPalette::ButtonText, QPalette::Button}};
    for (const auto& [text, background] : pairs) {
        QVERIFY2(Contrast(palette.color(QPalette::Active, text),
                          palette.color(QPalette::Active, background)) >= 4.5,
                 qPrintable(QString::number(text)));
        const double disabled = Contrast(palette.color(QPalette::Disabled, text),
                                         palette.color(QPalette::Disabled, background));
        QVERIFY2(disabled >= 3.0, qPrintable(QString::number(disabled)));
    }
}

QTEST_MAIN(WindowStyleTest)
#include "window_style_test.moc"
