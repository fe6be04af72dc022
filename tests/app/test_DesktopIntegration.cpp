#include <gtest/gtest.h>

#include <QLabel>
#include <QProcess>

#include "app/AboutBox.h"
#include "app/HoplarkIcon.h"
#include "app/MainWindow.h"
#include "app/WindowFakes.h"
#include "support/TempSettings.h"

namespace hoplark {
namespace {

TEST(DesktopIntegrationTest, WindowAndAboutBoxShowTheProgramIcon) {
    const QIcon icon = hoplarkIcon();
    ASSERT_FALSE(icon.isNull());
    // Every shipped size is there, so no size is scaled from another.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;

    testing::TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form(settings.path(), fakes.services());
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_EQ(form.windowIcon().availableSizes(), icon.availableSizes());

    TAboutBox about;
    EXPECT_FALSE(about.windowIcon().isNull());
    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    const auto picture = std::find_if(labels.begin(), labels.end(),
                                      [](QLabel* label) { return !label->pixmap().isNull(); });
    ASSERT_NE(picture, labels.end());
    EXPECT_EQ((*picture)->geometry(), QRect(8, 8, 65, 57));
    // The emblem is drawn square in the middle: its centre is opaque, the side margins clear.
    const QImage image = (*picture)->pixmap().toImage();
    EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
    EXPECT_EQ(qAlpha(image.pixel(0, image.height() / 2)), 0);
}

// The box names the version the program reports and points to no address the project does not
// have.
TEST(DesktopIntegrationTest, AboutBoxGivesTheVersionOfVersionOptionAndNoPlaceholderLink) {
    QProcess program;
    program.start(QStringLiteral(HOPLARK_BINARY_DIR "/hoplark"), {QStringLiteral("--version")});
    ASSERT_TRUE(program.waitForFinished(60000));
    const QString printed = QString::fromUtf8(program.readAllStandardOutput()).trimmed();
    ASSERT_TRUE(printed.startsWith(QStringLiteral("Hoplark "))) << printed.toStdString();
    const QString version = printed.mid(8);

    TAboutBox about;
    EXPECT_EQ(about.Version->text(), QStringLiteral("Version ") + version);
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        EXPECT_FALSE(label->text().contains(QStringLiteral("://"))) << label->text().toStdString();
        EXPECT_FALSE(label->text().contains(QStringLiteral("example"), Qt::CaseInsensitive));
        EXPECT_NE(label->cursor().shape(), Qt::PointingHandCursor);
    }
}

TEST(DesktopIntegrationTest, CopyAsImageRendersAtTheScreensPixelDensity) {
    testing::TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form(settings.path(), fakes.services());
    form.move(0, 0);
    form.resize(form.designSize());
    form.show();
    const QImage image = form.paneImage(1.5);
    EXPECT_EQ(image.size(), QSize(782, 495));
    EXPECT_DOUBLE_EQ(image.devicePixelRatio(), 1.5);
    // An unscaled screen keeps the pane's size plus one pixel.
    const QImage plain = form.paneImage(1.0);
    EXPECT_EQ(plain.size(), QSize(521, 330));
}

}  // namespace
}  // namespace hoplark
