#include "ButtonStyles.h"
#include "MainWindow.h"
#include "ScriptedUpdater.h"
#include "TempResources.h"
#include "VirtualPorts.h"
#include "WaitUntil.h"
#include "WindowProbe.h"
#include "WindowTexts.h"

#include <QFile>
#include <QPointer>
#include <QThread>
#include <gtest/gtest.h>
#include <atomic>
#include <memory>

namespace {


// The window with a scripted back-end; units are plain files announced as
// virtual ports, so "plugging" is creating the file and "unplugging" removing it.
class WindowFlow : public ::testing::Test {
protected:
    void TearDown() override
    {
        window.reset();
        qunsetenv(VirtualPorts::kEnvironmentVariable);
    }

    void start(InterfaceType type, const ScriptedUpdater::Script& script = {},
               const QString& extraIni = QString())
    {
        resources = std::make_unique<TempResources>("product_list=Unit:1209:4c55\ndevice_id_list=7, 12\n" + extraIni);
        // The window reads the image at the click; the scripted back-end writes nowhere.
        resources->writeFile("firmware.bin", "image");
        updater = new ScriptedUpdater(resources->filePath("firmware.bin"));
        updater->setScript(script);
        window = std::make_unique<MainWindow>(resources->dir(), &resources->settings(),
                                              resources->filePath("dfu-util-static"), type, updater);
        probe = std::make_unique<WindowProbe>(*window);
    }

    QString announce(const QStringList& names, const QString& ids = "1209:4c55")
    {
        QStringList entries;
        for (const QString& name : names)
            entries << resources->filePath(name) + "=" + ids;
        qputenv(VirtualPorts::kEnvironmentVariable, entries.join(';').toUtf8());
        return resources->filePath(names.first());
    }

    void plug(const QString& name) { resources->writeFile(name, "unit"); }
    void unplug(const QString& name) { QFile::remove(resources->filePath(name)); }

    bool waitForCall(const QString& call, int timeoutMs = 3000)
    {
        return waitUntil([&] { return updater->calls().contains(call); }, timeoutMs);
    }
    bool waitForButton(const QString& text, bool enabled, int timeoutMs = 5000)
    {
        return waitUntil([&] { return probe->buttonText() == text && probe->buttonEnabled() == enabled; },
                         timeoutMs);
    }

    std::unique_ptr<TempResources> resources;
    ScriptedUpdater* updater = nullptr;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

TEST_F(WindowFlow, FindsTheUnitAndBecomesReady)
{
    start(InterfaceType::McubootSerial);
    const QString path = announce({"unit0"});
    plug("unit0");
    ASSERT_TRUE(waitForButton("UPDATE", true));
    EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);
    EXPECT_EQ(updater->calls(), (QStringList{"connect:" + path, "verify:7,12"}));
}

TEST_F(WindowFlow, UpdateRunsToDoneAndUnplugGoesBackToSearching)
{
    start(InterfaceType::McubootSerial, {true, true, true, {0, 30, 60, 100}, 20});
    announce({"unit0"});
    plug("unit0");
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    EXPECT_FALSE(probe->buttonEnabled());
    ASSERT_TRUE(waitForButton("UPDATING", false));
    EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);
    ASSERT_TRUE(waitForButton("DONE", false));
    EXPECT_EQ(probe->progressValue(), 100);
    EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);
    EXPECT_TRUE(updater->calls().contains("exit"));

    unplug("unit0");
    // The check after a connection request comes about 4 s later.
    ASSERT_TRUE(waitForCall("disconnect", 6000));
    ASSERT_TRUE(waitForButton("UPDATE", false));
    EXPECT_EQ(probe->progressValue(), 0);
    EXPECT_EQ(probe->progressFormat(), "");
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
}

TEST_F(WindowFlow, FailedUpdateShowsTheErrorText)
{
    start(InterfaceType::McubootSerial, {true, true, false, {0, 10}, 0});
    announce({"unit0"});
    plug("unit0");
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 5000));
    EXPECT_EQ(probe->buttonText(), "UPDATING");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
    EXPECT_FALSE(updater->calls().contains("exit"));
}

// The image is read at each click, so the file as it is then is what gets written.
TEST_F(WindowFlow, TheImageIsReadAtTheClick)
{
    start(InterfaceType::McubootSerial, {true, true, true, {0, 100}, 0});
    announce({"unit0"});
    plug("unit0");
    ASSERT_TRUE(waitForButton("UPDATE", true));
    resources->writeFile("firmware.bin", "the image of the click");
    probe->button()->click();
    ASSERT_TRUE(waitForButton("DONE", false));
    EXPECT_EQ(updater->uploadedImage(), QByteArray("the image of the click"));
}

TEST_F(WindowFlow, UnreadableImageAtTheClickShowsTheErrorTextAndWritesNothing)
{
    start(InterfaceType::McubootSerial, {true, true, true, {0, 100}, 0});
    announce({"unit0"});
    plug("unit0");
    ASSERT_TRUE(waitForButton("UPDATE", true));
    QFile::remove(resources->filePath("firmware.bin"));
    probe->button()->click();
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 5000));
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
    EXPECT_TRUE(updater->calls().filter("upload:").isEmpty()) << updater->calls().join(' ').toStdString();
    EXPECT_FALSE(updater->calls().contains("exit"));
}

TEST_F(WindowFlow, RejectedUnitShowsTheErrorTextAndIsAskedAgain)
{
    start(InterfaceType::McubootSerial, {true, false, true, {}, 0});
    announce({"unit0"});
    plug("unit0");
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 3000));
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
    // Not connected, so the next check about four seconds later asks again.
    ASSERT_TRUE(waitUntil([&] { return updater->calls().count("verify:7,12") >= 2; }, 6000));
}

TEST_F(WindowFlow, TwoCandidatesConnectToNeitherUntilOneIsRemoved)
{
    for (InterfaceType type : {InterfaceType::McubootSerial, InterfaceType::Uart}) {
        start(type);
        const QString second = announce({"unit0", "unit1"});
        plug("unit0");
        plug("unit1");
        EXPECT_FALSE(waitUntil([&] { return !updater->calls().isEmpty(); }, 2500));
        unplug("unit0");
        // Polling goes on, in the UART type too, so the remaining unit is found.
        EXPECT_TRUE(waitForCall("connect:" + resources->filePath("unit1"), 3000)) << int(type);
        window.reset();
    }
}

TEST_F(WindowFlow, PortsWithOtherIdentifiersAreIgnored)
{
    start(InterfaceType::McubootSerial);
    announce({"unit0"}, "1209:0001");
    plug("unit0");
    EXPECT_FALSE(waitUntil([&] { return !updater->calls().isEmpty(); }, 2300));
}

TEST_F(WindowFlow, UartShowsThePercentageFromTheStart)
{
    start(InterfaceType::Uart, {true, true, true, {}, 0});
    announce({"unit0"});
    plug("unit0");
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    ASSERT_TRUE(waitForButton("DONE", false));
    EXPECT_EQ(probe->progressFormat(), "%p%");
}

TEST_F(WindowFlow, ClosingDuringAnUpdateWaitsForItToEnd)
{
    start(InterfaceType::McubootSerial, {true, true, true, {0, 25, 50, 75, 100}, 60});
    announce({"unit0"});
    plug("unit0");
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    ASSERT_TRUE(waitForButton("UPDATING", false));
    std::atomic<bool> finished{false};
    QObject::connect(updater, &FirmwareUpdaterBase::UpdateFinished, updater,
                     [&finished](bool status) { finished = status; }, Qt::DirectConnection);
    QPointer<QObject> watched(updater);
    ASSERT_FALSE(updater->calls().contains("exit"));
    window.reset();  // quits the worker, waits for the update, then deletes the back-end
    EXPECT_TRUE(finished);
    EXPECT_TRUE(watched.isNull());
}

TEST_F(WindowFlow, UsbSendsOneRequestForASingleListedUnit)
{
    start(InterfaceType::Usb);
    const QString tool = resources->filePath("dfu-util-static");
    resources->writeFile("dfu-util-static",
                         "#!/bin/sh\necho 'Found DFU: [1209:4c55] ver=2200, devnum=5, cfg=1, intf=0, path=\"1-1\", "
                         "alt=0, name=\"@Internal Flash\", serial=\"1\"'\n");
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(waitForButton("UPDATE", true));
    EXPECT_EQ(updater->calls(), (QStringList{"connect:", "verify:7,12"}));
    // Detection ends after the one request.
    EXPECT_FALSE(waitUntil([&] { return updater->calls().size() > 2; }, 2500));

    emit updater->EraseStarted();
    EXPECT_TRUE(waitUntil([&] { return probe->progressFormat() == "Erasing"; }, 1000));
    emit updater->EraseFinished();
    EXPECT_TRUE(waitUntil([&] { return probe->progressFormat() == "%p%"; }, 1000));
    EXPECT_EQ(probe->progressValue(), 0);
}

TEST_F(WindowFlow, UsbWithTwoListedUnitsKeepsPolling)
{
    start(InterfaceType::Usb);
    const QString tool = resources->filePath("dfu-util-static");
    const QString counter = resources->filePath("runs");
    resources->writeFile("dfu-util-static",
                         ("#!/bin/sh\necho run >> '" + counter + "'\n"
                          "echo 'Found DFU: [1209:4c55] ver=2200'\necho 'Found DFU: [1209:4c55] ver=2200'\n")
                             .toUtf8());
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(waitUntil([&] {
        QFile runs(counter);
        return runs.open(QIODevice::ReadOnly) && runs.readAll().count("run") >= 2;
    }, 5000));
    EXPECT_TRUE(updater->calls().isEmpty());
}

} // namespace
