#include "ScriptedUpdater.h"
#include "WaitUntil.h"

#include <QMetaMethod>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// Runs a scripted back-end on a worker thread, as the window does, and records
// every signal it emits in arrival order on the test's thread.
class ContractFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        updater = new ScriptedUpdater(QStringLiteral("/images/unit.bin"));
        updater->moveToThread(&worker);
        // Deleted on its own thread as the worker ends, so no call the worker
        // still runs can overlap the destructor.
        QObject::connect(&worker, &QThread::finished, updater, &QObject::deleteLater);
        worker.start();
        QObject::connect(updater, &FirmwareUpdaterBase::UpdateStarted, &receiver, [this] { events << "started"; });
        QObject::connect(updater, &FirmwareUpdaterBase::ProgressUpdate, &receiver,
                         [this](int percent) { events << QStringLiteral("progress:%1").arg(percent); });
        QObject::connect(updater, &FirmwareUpdaterBase::UpdateFinished, &receiver,
                         [this](bool status) { events << QStringLiteral("finished:%1").arg(status); });
        QObject::connect(updater, &FirmwareUpdaterBase::UpdateConnectionStatus, &receiver,
                         [this](ConnectionStatus status) { events << QStringLiteral("status:%1").arg(status); });
    }

    void TearDown() override
    {
        worker.quit();
        worker.wait();
        updater = nullptr;
    }

    void invokeQueued(const char* slot, QGenericArgument a = {}, QGenericArgument b = {},
                      QGenericArgument c = {})
    {
        ASSERT_TRUE(QMetaObject::invokeMethod(updater, slot, Qt::QueuedConnection, a, b, c));
    }

    bool waitForEvents(int count) { return waitUntil([&] { return events.size() >= count; }, 5000); }

    QThread worker;
    QObject receiver;
    ScriptedUpdater* updater = nullptr;
    QStringList events;
};

struct ConnectCase {
    const char* name;
    bool connects;
    bool verifies;
    bool verify;
    ConnectionStatus expected;
    QStringList expectedCalls;
};

class ConnectContract : public ContractFixture, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectContract, ReportsOneStatusAfterTheRightCalls)
{
    const ConnectCase& c = GetParam();
    updater->setScript({c.connects, c.verifies, true, {}, 0});
    const QList<uint8_t> ids{7, 12};
    const bool verify = c.verify;
    invokeQueued("onConnectToDevice", Q_ARG(QString, "ttyACM0"), Q_ARG(QList<uint8_t>, ids), Q_ARG(bool, verify));
    ASSERT_TRUE(waitForEvents(1));
    QThread::msleep(20);
    QCoreApplication::processEvents();
    EXPECT_EQ(events, QStringList{QStringLiteral("status:%1").arg(c.expected)});
    EXPECT_EQ(updater->calls(), c.expectedCalls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectContract,
    ::testing::Values(
        ConnectCase{"accepted", true, true, true, Connected, {"connect:ttyACM0", "verify:7,12"}},
        ConnectCase{"unverified", true, false, false, Connected, {"connect:ttyACM0"}},
        ConnectCase{"link_fails", false, true, true, Disconnected, {"connect:ttyACM0"}},
        ConnectCase{"mismatch_closes_link", true, false, true, DeviceMismatch,
                    {"connect:ttyACM0", "verify:7,12", "disconnect"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContractFixture, SuccessfulUpdateReportsInOrderAndLeavesTheBootloader)
{
    updater->setScript({true, true, true, {0, 40, 100}, 0});
    invokeQueued("onStartUpdate");
    ASSERT_TRUE(waitForEvents(5));
    EXPECT_EQ(events, (QStringList{"started", "progress:0", "progress:40", "progress:100", "finished:1"}));
    EXPECT_EQ(updater->calls(), (QStringList{"upload:/images/unit.bin", "exit"}));
}

TEST_F(ContractFixture, FailedUploadSkipsTheBootloaderExit)
{
    updater->setScript({true, true, false, {10}, 0});
    invokeQueued("onStartUpdate");
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(events, (QStringList{"started", "progress:10", "finished:0"}));
    EXPECT_EQ(updater->calls(), QStringList{"upload:/images/unit.bin"});
}

struct HandoverCase {
    const char* name;
    QByteArray bytes;
    QString refusal;
    QStringList expectedEvents;
    QStringList expectedCalls;
};

class ImageHandover : public ContractFixture, public ::testing::WithParamInterface<HandoverCase> {};

// The back-end writes exactly the bytes it was handed; a refused or empty
// image ends the update with its reason before anything is written.
TEST_P(ImageHandover, WritesTheHandedBytesOrNothing)
{
    const HandoverCase& c = GetParam();
    updater->setScript({true, true, true, {100}, 0});
    QObject::connect(updater, &FirmwareUpdaterBase::FailureReason, &receiver,
                     [this](const QString& reason) { events << "reason:" + reason; });
    updater->setImage(FirmwareImage{QStringLiteral("/images/handed.bin"), c.bytes}, c.refusal);
    invokeQueued("onStartUpdate");
    ASSERT_TRUE(waitForEvents(static_cast<int>(c.expectedEvents.size())));
    QThread::msleep(20);
    QCoreApplication::processEvents();
    EXPECT_EQ(events, c.expectedEvents);
    EXPECT_EQ(updater->calls(), c.expectedCalls);
    EXPECT_EQ(updater->uploadedImage(), c.expectedCalls.isEmpty() ? QByteArray() : c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageHandover,
    ::testing::Values(
        HandoverCase{"handed_bytes_are_written", "\x01\x02\x03", {},
                     {"started", "progress:100", "finished:1"}, {"upload:/images/handed.bin", "exit"}},
        HandoverCase{"refused_image_writes_nothing", "\x01\x02\x03", "wrong board",
                     {"started", "reason:wrong board", "finished:0"}, {}},
        HandoverCase{"empty_image_writes_nothing", {}, {},
                     {"started", "reason:firmware image \"/images/handed.bin\" is empty: nothing was written",
                      "finished:0"},
                     {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContractFixture, DisconnectClosesTheLinkAndReportsDisconnected)
{
    invokeQueued("onDisconnectDevice");
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(events, QStringList{QStringLiteral("status:%1").arg(Disconnected)});
    EXPECT_EQ(updater->calls(), QStringList{"disconnect"});
}

TEST_F(ContractFixture, RequestsQueuedDuringAnUpdateRunAfterIt)
{
    updater->setScript({true, true, true, {0, 100}, 30});
    invokeQueued("onStartUpdate");
    invokeQueued("onDisconnectDevice");
    ASSERT_TRUE(waitForEvents(5));
    EXPECT_EQ(events, (QStringList{"started", "progress:0", "progress:100", "finished:1",
                                   QStringLiteral("status:%1").arg(Disconnected)}));
}

TEST(UpdaterMetaObject, ExposesTheContractToQueuedConnections)
{
    registerUpdaterMetaTypes();
    const QMetaObject& meta = FirmwareUpdaterBase::staticMetaObject;
    EXPECT_STREQ(meta.className(), "FirmwareUpdaterBase");
    const char* expected[] = {"UpdateStarted()", "UpdateFinished(bool)", "EraseStarted()", "EraseFinished()",
                              "ProgressUpdate(int)", "UpdateConnectionStatus(ConnectionStatus)",
                              "FailureReason(QString)", "Verified(VerifyResult,int)", "onStartUpdate()",
                              "onConnectToDevice(QString,QList<uint8_t>,bool)", "onDisconnectDevice()"};
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), 11);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(meta.method(meta.methodOffset() + i).methodSignature(), QByteArray(expected[i])) << i;
    EXPECT_EQ(QMetaType::fromName("ConnectionStatus"), QMetaType::fromType<ConnectionStatus>());
    EXPECT_TRUE(QMetaType::fromName("QList<uint8_t>").isValid());
    EXPECT_EQ(QMetaType::fromName("VerifyResult"), QMetaType::fromType<VerifyResult>());
    EXPECT_EQ(sizeof(ConnectionStatus), 4u);
}

} // namespace
