#include <QImage>
#include <QTest>

#include "app/FontWarmUp.h"
#include "support/WindowFixture.h"

using zm880::app::TFontWarmUp;
using zm880::testing::WindowFixture;

namespace {

QImage WindowPicture() {
    WindowFixture fixture;
    fixture.AddReader();
    return fixture.Start().grab().toImage();
}

}  // namespace

class FontWarmUpTest : public QObject {
    Q_OBJECT

  private slots:
    void windowBuiltDuringTheWarmUpLooksAsOneBuiltAfter();
};

void FontWarmUpTest::windowBuiltDuringTheWarmUpLooksAsOneBuiltAfter() {
    // The first window of the process: its text is measured while the fonts are being set up.
    QImage during;
    {
        const TFontWarmUp warmUp;
        during = WindowPicture();
    }
    QCOMPARE(during, WindowPicture());
}

QTEST_MAIN(FontWarmUpTest)
#include "font_warm_up_test.moc"
