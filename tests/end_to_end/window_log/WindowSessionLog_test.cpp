#include "UnitSimulator.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString newestLog(const QString& folder)
{
    const QStringList logs = QDir(folder).entryList({"*-window.log"}, QDir::Files, QDir::Name | QDir::Reversed);
    if (logs.isEmpty())
        return QString();
    QFile file(QDir(folder).filePath(logs.first()));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The real program, started as a person starts it, on the offscreen platform
// with the shipped Resources: it keeps a session log in the application-data
// folder naming the configuration and the unit it found and connected to.
TEST(WindowSessionLog, RecordsConfigurationAndUnit)
{
    UnitSimulator unit({"--model-id", "7"});
    ASSERT_TRUE(unit.isReady());
    QTemporaryDir data;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_DATA_HOME", data.path());
    environment.insert("FWUPDATER_VIRTUAL_PORTS", unit.path() + "=1209:4c55");
    QProcess window;
    window.setProcessEnvironment(environment);
    window.start(FWU_BIN_DIR "/fwupdater");
    const QString folder = data.filePath("fwupdater/logs");

    const bool connected =
        waitUntil([&] { return newestLog(folder).contains("unit " + unit.path() + ": connected"); }, 15000);
    window.terminate();
    window.waitForFinished(5000);

    const QString log = newestLog(folder);
    ASSERT_TRUE(connected) << log.toStdString();
    EXPECT_TRUE(log.contains("configuration: " FWU_BIN_DIR "/Resources/config.ini")) << log.toStdString();
    EXPECT_TRUE(log.contains("interface: mcuboot_serial"));
    EXPECT_TRUE(log.contains("image: " FWU_BIN_DIR "/Resources/"));
    EXPECT_TRUE(log.contains("unit seen: " + unit.path() + " 1209:4c55"));
}

} // namespace
