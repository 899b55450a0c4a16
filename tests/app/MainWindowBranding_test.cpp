#include "ButtonStyles.h"
#include "MainWindow.h"
#include "ScriptedUpdater.h"
#include "TempResources.h"
#include "WindowProbe.h"

#include <QDir>
#include <QFontDatabase>
#include <QImage>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kSampleResources = QStringLiteral(FWU_SOURCE_DIR "/Resources");

std::unique_ptr<MainWindow> makeWindow(TempResources& resources, InterfaceType type = InterfaceType::McubootSerial)
{
    return std::make_unique<MainWindow>(resources.dir(), &resources.settings(),
                                        resources.filePath("dfu-util-static"), type, new ScriptedUpdater);
}

TEST(MainWindowBranding, FixedSizeAndWidgetTree)
{
    TempResources resources("");
    auto window = makeWindow(resources);
    EXPECT_EQ(window->size(), QSize(665, 517));
    EXPECT_EQ(window->minimumSize(), QSize(665, 517));
    EXPECT_EQ(window->maximumSize(), QSize(665, 517));
    EXPECT_EQ(window->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    EXPECT_EQ(window->objectName(), "MainWindow");
    ASSERT_NE(window->centralWidget(), nullptr);
    EXPECT_EQ(window->centralWidget()->objectName(), "centralwidget");

    const struct {
        const char* name;
        QRect geometry;
    } expected[] = {
        {"titleLabel", {40, 30, 201, 21}},        {"productLabel", {40, 55, 201, 21}},
        {"typeLabel", {40, 80, 181, 21}},         {"progressBar", {148, 400, 477, 40}},
        {"updateButton", {40, 400, 99, 40}},      {"instructionsLabel", {40, 160, 201, 231}},
        {"versionNumberLabel", {560, 55, 58, 16}}, {"versionLabel", {520, 30, 101, 16}},
        {"progressBarFrame", {148, 400, 477, 40}}, {"infoLabel", {40, 478, 311, 31}},
    };
    const QObjectList children = window->centralWidget()->children();
    int index = 0;
    for (const auto& widget : expected) {
        auto* found = window->centralWidget()->findChild<QWidget*>(widget.name);
        ASSERT_NE(found, nullptr) << widget.name;
        EXPECT_EQ(found->geometry(), widget.geometry) << widget.name;
        // Creation order decides stacking: the white frame lies over the bar.
        EXPECT_EQ(children.indexOf(found), index++) << widget.name;
    }
    WindowProbe probe(*window);
    EXPECT_EQ(probe.label("progressBarFrame")->styleSheet(), "border: 1px solid white; border-radius: 3px;");
}

TEST(MainWindowBranding, TextsAndButtonAfterConstruction)
{
    TempResources resources("window_title=Sensor updater\ninstructions_text=Plug it in\nproduct_text=Sensor X\n"
                            "fw_version=2.4.1\n");
    auto window = makeWindow(resources);
    WindowProbe probe(*window);
    EXPECT_EQ(window->windowTitle(), "Sensor updater");
    EXPECT_EQ(probe.label("titleLabel")->text(), "Firmware upgrade");
    EXPECT_EQ(probe.label("productLabel")->text(), "Sensor X");
    EXPECT_EQ(probe.label("versionNumberLabel")->text(), "2.4.1");
    EXPECT_EQ(probe.label("versionLabel")->text(), "Version");
    EXPECT_EQ(probe.label("instructionsLabel")->text(), "Plug it in");
    EXPECT_EQ(probe.label("infoLabel")->text(), "Update requires cable with USB-C connector.");
    EXPECT_EQ(probe.buttonText(), "UPDATE");
    EXPECT_FALSE(probe.buttonEnabled());
    EXPECT_EQ(probe.buttonStyle(), kButtonDisabledStyle);
    EXPECT_EQ(probe.progressValue(), 0);
    EXPECT_EQ(probe.progressFormat(), "");
}

TEST(MainWindowBranding, MissingKeysGiveEmptyTextsAndTheDefaultTitle)
{
    for (const char* ini : {"", "window_title="}) {
        TempResources resources(ini);
        auto window = makeWindow(resources);
        WindowProbe probe(*window);
        EXPECT_EQ(window->windowTitle(), "Lumavex firmware updater") << ini;
        EXPECT_EQ(probe.label("productLabel")->text(), "") << ini;
        EXPECT_EQ(probe.label("versionNumberLabel")->text(), "") << ini;
        EXPECT_EQ(probe.label("instructionsLabel")->text(), "") << ini;
    }
}

struct TypeLabelCase {
    const char* ini;
    const char* shown;
    bool yellow;
};

class TypeLabel : public ::testing::TestWithParam<TypeLabelCase> {};

TEST_P(TypeLabel, ShowsTheTargetTypeUnlessCustomer)
{
    TempResources resources(GetParam().ini);
    auto window = makeWindow(resources);
    QLabel* label = WindowProbe(*window).label("typeLabel");
    EXPECT_EQ(label->text(), GetParam().shown);
    EXPECT_EQ(label->palette().color(QPalette::Active, QPalette::WindowText) == QColor(Qt::yellow),
              GetParam().yellow);
}

INSTANTIATE_TEST_SUITE_P(Cases, TypeLabel,
                         ::testing::Values(TypeLabelCase{"fw_target_type=customer", "", false},
                                           TypeLabelCase{"fw_target_type=uart", "Uart", true},
                                           TypeLabelCase{"fw_target_type=service", "Service", true},
                                           TypeLabelCase{"fw_target_type=Customer", "Customer", true},
                                           TypeLabelCase{"", "", true}));

TEST(MainWindowBranding, LabelColours)
{
    TempResources resources("");
    auto window = makeWindow(resources);
    WindowProbe probe(*window);
    const struct {
        const char* name;
        QColor colour;
    } expected[] = {{"titleLabel", Qt::white},          {"versionLabel", Qt::white},
                    {"instructionsLabel", Qt::lightGray}, {"productLabel", Qt::lightGray},
                    {"versionNumberLabel", Qt::lightGray}, {"infoLabel", Qt::black}};
    for (const auto& entry : expected) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            EXPECT_EQ(probe.label(entry.name)->palette().color(group, QPalette::WindowText), entry.colour)
                << entry.name << " group " << group;
    }
}

TEST(MainWindowBranding, ProgressBarPalette)
{
    TempResources resources("");
    auto window = makeWindow(resources);
    const QPalette palette = WindowProbe(*window).progress()->palette();
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::Dark), QColor(191, 0, 191));
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::Text), QColor(255, 255, 255));
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::Highlight), QColor(255, 255, 255));
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::HighlightedText), QColor(0, 0, 0));
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::AlternateBase), QColor(152, 255, 152));
    EXPECT_EQ(palette.color(QPalette::Inactive, QPalette::Window), QColor(0, 1, 0));
    EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::Highlight), QColor(255, 226, 54));
    EXPECT_FALSE(WindowProbe(*window).progress()->autoFillBackground());
}

TEST(MainWindowBranding, BackgroundFromTheFirstPngInListingOrder)
{
    TempResources resources("");
    resources.copyFrom(kSampleResources + "/background.png", "b.png");
    resources.copyFrom(kSampleResources + "/background.png", "a.png");
    resources.writeFile("not-an-image.txt", "x");
    const QFileInfoList listing = resources.dir().entryInfoList({"*.png"}, QDir::Files, QDir::Unsorted);
    ASSERT_EQ(listing.size(), 2);
    auto window = makeWindow(resources);
    EXPECT_EQ(window->styleSheet(), "#centralwidget {\nborder-image: url(" + listing.first().absoluteFilePath() +
                                        ") 0 0 0 0 stretch stretch;\n}\n");
}

TEST(MainWindowBranding, NoPngMeansNoStyleSheet)
{
    TempResources resources("");
    auto window = makeWindow(resources);
    EXPECT_EQ(window->styleSheet(), "");
}

TEST(MainWindowBranding, FontsComeFromTheResourcesFolder)
{
    TempResources resources("");
    resources.copyFrom(kSampleResources + "/LumavexSans-Regular.otf", "LumavexSans-Regular.otf");
    resources.copyFrom(kSampleResources + "/LumavexSans-Bold.otf", "LumavexSans-Bold.otf");
    auto window = makeWindow(resources);
    ASSERT_TRUE(QFontDatabase::families().contains("Lumavex Sans"));
    WindowProbe probe(*window);
    const QFont title = probe.label("titleLabel")->font();
    EXPECT_EQ(title.family(), "Lumavex Sans");
    EXPECT_EQ(title.pointSize(), 15);
    EXPECT_EQ(title.hintingPreference(), QFont::PreferNoHinting);
    EXPECT_EQ(QFontInfo(title).family(), "Lumavex Sans");
    EXPECT_EQ(probe.label("infoLabel")->font().pointSize(), 7);
    EXPECT_EQ(probe.label("instructionsLabel")->font().pointSize(), 9);
    EXPECT_EQ(probe.progress()->font().pointSize(), 9);
    EXPECT_EQ(probe.button()->font().pointSize(), 12);
    EXPECT_EQ(QFontDatabase::styleString(probe.button()->font()), "Bold");
}

// Leaves a picture of the sample-branded window in the build tree for people
// (and the README) to look at.
TEST(MainWindowBranding, ScreenshotOfTheSampleWindow)
{
    TempResources resources;
    for (const QString& name : QDir(kSampleResources).entryList(QDir::Files))
        resources.copyFrom(kSampleResources + "/" + name, name);
    QSettings settings(resources.filePath("config.ini"), QSettings::IniFormat);
    MainWindow window(resources.dir(), &settings, resources.filePath("dfu-util-static"),
                      InterfaceType::McubootSerial, new ScriptedUpdater);
    window.show();
    const QImage shot = window.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(665, 517));
    // The background is drawn: the top-left corner is the dark brand colour, not the style's grey.
    const QColor corner = shot.pixelColor(5, 5);
    EXPECT_LT(corner.lightness(), 80);
    const QString out = QStringLiteral(FWU_BIN_DIR "/../screenshots");
    QDir().mkpath(out);
    EXPECT_TRUE(shot.save(out + "/window.png"));
}

} // namespace
