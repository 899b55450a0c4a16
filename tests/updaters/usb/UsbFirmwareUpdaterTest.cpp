#include "DfuSimEnvironment.h"
#include "Stm32DfuUtilUpdater.h"
#include "UpdaterEvents.h"
#include "UsbFirmwareUpdater.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

using stm32_updater::Stm32DfuUtilUpdater;

namespace {

constexpr std::uint32_t kProgrammingAddress = 0x0800C000;
constexpr std::uint32_t kOtpAddress = 0x1FFF7800;
constexpr std::uint64_t kOtpSize = 512;

QString statusEvent(ConnectionStatus status)
{
    return QStringLiteral("Status %1").arg(status);
}

class UsbUpdaterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        firmware = QByteArray(30000, '\0');
        for (int i = 0; i < firmware.size(); ++i)
            firmware[i] = static_cast<char>(i * 7 + i / 256);
        QFile file(firmwarePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(firmware);
        sim.set("DFU_SIM_DOWNLOAD_COPY", copyPath().toLocal8Bit());
    }

    QString firmwarePath() const { return sim.filePath(QStringLiteral("firmware.bin")); }
    QString copyPath() const { return sim.filePath(QStringLiteral("written.bin")); }

    std::unique_ptr<UsbFirmwareUpdater> makeUpdater(const QString& targetType = QStringLiteral("production"),
                                                    std::uint64_t otpSize = kOtpSize,
                                                    const QString& tool = DfuSimEnvironment::toolPath())
    {
        return std::make_unique<UsbFirmwareUpdater>(firmwarePath(), tool, kProgrammingAddress, kOtpAddress, otpSize,
                                                    targetType);
    }

    QByteArray written() const
    {
        QFile file(copyPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    DfuSimEnvironment sim;
    QByteArray firmware;
};

} // namespace

TEST_F(UsbUpdaterTest, RedeclaresTheThreeSlotsAndNoSignals)
{
    const QMetaObject& meta = UsbFirmwareUpdater::staticMetaObject;
    EXPECT_STREQ(meta.className(), "UsbFirmwareUpdater");
    QStringList own;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        EXPECT_EQ(meta.method(i).methodType(), QMetaMethod::Slot);
        own.append(QString::fromLatin1(meta.method(i).methodSignature()));
    }
    EXPECT_EQ(own, QStringList({"onStartUpdate()", "onConnectToDevice(QString,QList<uint8_t>,bool)",
                                "onDisconnectDevice()"}));
}

TEST_F(UsbUpdaterTest, RelaysTheRunnersSignalsUnchanged)
{
    auto updater = makeUpdater();
    auto* runner = updater->findChild<Stm32DfuUtilUpdater*>();
    ASSERT_NE(runner, nullptr);
    UpdaterEvents events(*updater);
    emit runner->EraseStarted();
    emit runner->EraseFinished();
    emit runner->ProgressUpdate(-3);
    emit runner->ProgressUpdate(42);
    emit runner->ProgressUpdate(250);
    emit runner->UpdateFinished(false);
    emit runner->UpdateFinished(true);
    EXPECT_EQ(events.list, QStringList({"EraseStarted", "EraseFinished", "Progress -3", "Progress 42", "Progress 250",
                                        "Finished false", "Finished true"}));
}

TEST_F(UsbUpdaterTest, ConnectionChecksTheModelOnlyWhenAsked)
{
    struct Case {
        const char* name;
        const char* targetType;
        bool verify;
        QString port;
        std::optional<int> modelId;
        const char* uploadFault;
        std::uint64_t otpSize;
        ConnectionStatus status;
        bool toolRuns;
    };
    const Case cases[] = {
        {"no verification", "production", false, "", 9, "none", kOtpSize, Connected, false},
        {"service target", "service", true, "", 9, "none", kOtpSize, Connected, false},
        {"accepted model", "production", true, "", 5, "none", kOtpSize, Connected, true},
        {"USB path names the unit", "production", true, "1-2", 5, "none", kOtpSize, Connected, true},
        {"USB path of no unit", "production", true, "1-5", 5, "none", kOtpSize, DeviceMismatch, true},
        {"unlisted model", "production", true, "", 9, "none", kOtpSize, DeviceMismatch, true},
        {"no model record", "production", true, "", std::nullopt, "none", kOtpSize, DeviceMismatch, true},
        {"no unit answering", "production", true, "", 5, "nodevice", kOtpSize, DeviceMismatch, true},
        {"OTP read shorter than the record's entry", "production", true, "", 5, "none", 500, DeviceMismatch, true},
    };
    for (const Case& c : cases) {
        DfuSimEnvironment caseSim;
        caseSim.set("DFU_SIM_MODEL_ID", c.modelId ? QByteArray::number(*c.modelId) : QByteArray("-1"));
        caseSim.set("DFU_SIM_UPLOAD_FAULT", c.uploadFault);
        caseSim.set("DFU_SIM_DEVICES", c.port.isEmpty() ? "0483:df11" : "0483:df11,0483:df11");
        auto updater = makeUpdater(QString::fromLatin1(c.targetType), c.otpSize);
        UpdaterEvents events(*updater);
        updater->onConnectToDevice(c.port, {3, 5}, c.verify);
        EXPECT_EQ(events.list, QStringList({statusEvent(c.status)})) << c.name;
        const QList<QStringList> runs = caseSim.runs();
        ASSERT_EQ(runs.size(), c.toolRuns ? 1 : 0) << c.name;
        if (c.toolRuns) {
            const QStringList unit = c.port.isEmpty() ? QStringList() : QStringList({"-p", c.port});
            EXPECT_EQ(runs.first().mid(0, 6 + unit.size()),
                      QStringList({"-d", "0483:df11"}) + unit +
                          QStringList({"-a", "2", "-s", QStringLiteral("0x1fff7800:%1").arg(c.otpSize)}))
                << c.name;
        }
    }
}

// A hostile otp_size would keep the tool reading for ever; the model check
// needs only the first 512 bytes, so that is all the tool is asked for.
TEST_F(UsbUpdaterTest, HugeOtpSizeReadsOnlyTheCheckedBytes)
{
    sim.set("DFU_SIM_MODEL_ID", "5");
    auto updater = makeUpdater(QStringLiteral("production"), 4294967295u);
    UpdaterEvents events(*updater);
    updater->onConnectToDevice(QString(), {3, 5}, true);
    EXPECT_EQ(events.list, QStringList({statusEvent(Connected)}));
    const QList<QStringList> runs = sim.runs();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs.first().mid(4, 2), QStringList({"-s", "0x1fff7800:512"}));
}

TEST_F(UsbUpdaterTest, DisconnectOnlyReportsDisconnected)
{
    auto updater = makeUpdater();
    UpdaterEvents events(*updater);
    updater->onDisconnectDevice();
    EXPECT_EQ(events.list, QStringList({statusEvent(Disconnected)}));
    EXPECT_TRUE(sim.runs().isEmpty());
}

TEST_F(UsbUpdaterTest, UpdateWritesTheImageAndEndsWithTheTool)
{
    sim.set("DFU_SIM_DOWNLOAD_MS", "2500");
    sim.set("DFU_SIM_STEPS", "10");
    auto updater = makeUpdater();
    UpdaterEvents events(*updater);
    updater->onStartUpdate();
    EXPECT_EQ(events.list, QStringList({"UpdateStarted", "EraseStarted"}));
    ASSERT_TRUE(events.waitFor("Progress 100")) << events.text().toStdString();

    EXPECT_TRUE(events.list.indexOf("EraseFinished") > 1) << events.text().toStdString();
    EXPECT_EQ(events.list.mid(events.list.size() - 2), QStringList({"Finished true", "Progress 100"}));
    EXPECT_EQ(written(), firmware);
    ASSERT_EQ(sim.runs().size(), 1);
    const QStringList arguments = sim.runs().first();
    EXPECT_EQ(arguments.mid(0, 7), QStringList({"-d", "0483:df11", "-a", "0", "-s", "0X0800C000:fast:leave", "-D"}));
    // The tool reads a copy of the bytes that were handed over, in a folder of
    // its own that goes with the download, not the configured file.
    ASSERT_EQ(arguments.size(), 8);
    EXPECT_NE(arguments.last(), firmwarePath());
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(arguments.last()).path())) << arguments.last().toStdString();
}

// Once connected to one of several units by its USB path, the download goes
// to that unit alone.
TEST_F(UsbUpdaterTest, UpdateGoesToTheUnitOfTheConnectRequest)
{
    sim.set("DFU_SIM_DEVICES", "0483:df11,0483:df11");
    sim.set("DFU_SIM_MODEL_ID", "5");
    sim.set("DFU_SIM_DOWNLOAD_COPY", sim.filePath(QStringLiteral("written-{path}.bin")).toLocal8Bit());
    auto updater = makeUpdater();
    UpdaterEvents events(*updater);
    updater->onConnectToDevice(QStringLiteral("1-2"), {5}, true);
    updater->onStartUpdate();
    ASSERT_TRUE(events.waitFinished());

    EXPECT_TRUE(events.list.contains("Finished true")) << events.text().toStdString();
    QFile second(sim.filePath(QStringLiteral("written-1-2.bin")));
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_EQ(second.readAll(), firmware);
    EXPECT_FALSE(QFile::exists(sim.filePath(QStringLiteral("written-1-1.bin"))));
    const QList<QStringList> runs = sim.runs();
    ASSERT_EQ(runs.size(), 2);
    EXPECT_EQ(runs.last().mid(0, 4), QStringList({"-d", "0483:df11", "-p", "1-2"}));
}

TEST_F(UsbUpdaterTest, DisconnectDuringTheDownloadLeavesItRunning)
{
    sim.set("DFU_SIM_DOWNLOAD_MS", "1500");
    auto updater = makeUpdater();
    UpdaterEvents events(*updater);
    updater->onStartUpdate();
    updater->onDisconnectDevice();
    EXPECT_EQ(events.list, QStringList({"UpdateStarted", "EraseStarted", statusEvent(Disconnected)}));
    ASSERT_TRUE(events.waitFinished());
    EXPECT_TRUE(events.list.contains("Finished true")) << events.text().toStdString();
    EXPECT_EQ(written(), firmware);
}

TEST_F(UsbUpdaterTest, UpdateThatCannotRunEndsAsFailed)
{
    struct Case {
        const char* name;
        QString tool;
        bool removeFirmware;
        QStringList events;
    };
    // A file that cannot be read never reaches the tool.
    const Case cases[] = {
        {"tool missing", sim.filePath(QStringLiteral("no-such-tool")), false,
         {"UpdateStarted", "EraseStarted", "Finished false"}},
        {"firmware file missing", DfuSimEnvironment::toolPath(), true, {"UpdateStarted", "Finished false"}},
    };
    for (const Case& c : cases) {
        if (c.removeFirmware)
            QFile::remove(firmwarePath());
        auto updater = makeUpdater(QStringLiteral("production"), kOtpSize, c.tool);
        UpdaterEvents events(*updater);
        updater->onStartUpdate();
        ASSERT_TRUE(events.waitFinished()) << c.name;
        EXPECT_EQ(events.list, c.events) << c.name;
    }
    EXPECT_TRUE(sim.runs().isEmpty());
}

// As the window runs it: the back-end on a worker thread, driven through queued calls.
TEST_F(UsbUpdaterTest, RunsOnAWorkerThread)
{
    sim.set("DFU_SIM_MODEL_ID", "5");
    sim.set("DFU_SIM_DOWNLOAD_MS", "1500");
    registerUpdaterMetaTypes();
    auto updater = makeUpdater();
    UpdaterEvents events(*updater);
    QThread worker;
    updater->moveToThread(&worker);
    worker.start();

    QMetaObject::invokeMethod(updater.get(), "onConnectToDevice", Qt::QueuedConnection,
                              Q_ARG(QString, QString()), Q_ARG(QList<uint8_t>, QList<uint8_t>({5})),
                              Q_ARG(bool, true));
    QMetaObject::invokeMethod(updater.get(), "onStartUpdate", Qt::QueuedConnection);
    const bool done = events.waitFor("Progress 100");
    worker.quit();
    worker.wait();
    ASSERT_TRUE(done) << events.text().toStdString();

    EXPECT_EQ(events.list.first(), statusEvent(Connected));
    EXPECT_EQ(events.list.mid(1, 2), QStringList({"UpdateStarted", "EraseStarted"}));
    EXPECT_TRUE(events.list.contains("Finished true"));
    EXPECT_EQ(written(), firmware);
}
