#include "MainWindow.h"
#include "ScriptedUpdater.h"
#include "TempResources.h"
#include "UpdateSession.h"
#include "VirtualPorts.h"
#include "WaitUntil.h"

#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>
#include <algorithm>
#include <limits>
#include <memory>

namespace {

// Measured from outside on the window's requests (through its update
// session): when it asks the back-end to connect and to disconnect, while a unit (a plain file announced
// as a virtual port) is plugged, pulled and plugged again.
class DetectionTimings : public ::testing::Test {
protected:
    void TearDown() override
    {
        window.reset();
        qunsetenv(VirtualPorts::kEnvironmentVariable);
    }

    void plug() { resources.writeFile("unit", "unit"); }
    void unplug() { QFile::remove(resources.filePath("unit")); }

    // A new window, with its session's requests timed from its construction.
    void openWindow()
    {
        window.reset();
        connects.clear();
        disconnects.clear();
        auto* updater = new ScriptedUpdater(resources.filePath("firmware.bin"));
        window = std::make_unique<MainWindow>(resources.dir(), &resources.settings(),
                                              resources.filePath("dfu-util-static"), InterfaceType::McubootSerial,
                                              updater);
        clock.start();
        const UpdateSession& session = window->updateSession();
        QObject::connect(&session, &UpdateSession::ConnectToDevice, [this] { connects << clock.elapsed(); });
        QObject::connect(&session, &UpdateSession::DisconnectFromDevice, [this] { disconnects << clock.elapsed(); });
    }

    TempResources resources{"product_list=Unit:1209:4c55\ndevice_id_list=7\n"};
    std::unique_ptr<MainWindow> window;
    QElapsedTimer clock;
    QList<qint64> connects;
    QList<qint64> disconnects;
};

// First check 100 ms after start; after a connection request the next check
// comes 4 s later; while searching (or connected) every 2 s. Each window
// leaves out half and double of its value.
TEST_F(DetectionTimings, FirstCheckConnectRetryAndSearchInterval)
{
    plug();
    qputenv(VirtualPorts::kEnvironmentVariable, (resources.filePath("unit") + "=1209:4c55").toUtf8());
    // A first check that comes late may be the machine's load (a sanitizer
    // build beside another suite on two cores); a wrong schedule is late on
    // every try. An early one is wrong on any try.
    qint64 firstCheck = std::numeric_limits<qint64>::max();
    for (int attempt = 0; attempt < 3 && firstCheck > 190; ++attempt) {
        openWindow();
        ASSERT_TRUE(waitUntil([&] { return !connects.isEmpty(); }, 3000));
        EXPECT_GE(connects[0], 70);
        firstCheck = std::min(firstCheck, connects[0]);
    }
    unplug();  // seen by the check that follows the connection request
    ASSERT_TRUE(waitUntil([&] { return !disconnects.isEmpty(); }, 12000));
    plug();  // seen by the next search
    ASSERT_TRUE(waitUntil([&] { return connects.size() >= 2; }, 12000));

    const qint64 connectRetry = disconnects[0] - connects[0];
    const qint64 searchInterval = connects[1] - disconnects[0];
    EXPECT_LE(firstCheck, 190);
    EXPECT_GE(connectRetry, 3000);
    EXPECT_LE(connectRetry, 6000);
    EXPECT_GE(searchInterval, 1500);
    EXPECT_LE(searchInterval, 3000);
    std::printf("first check %lld ms, connect retry %lld ms, search interval %lld ms\n",
                static_cast<long long>(firstCheck), static_cast<long long>(connectRetry),
                static_cast<long long>(searchInterval));
}

} // namespace
