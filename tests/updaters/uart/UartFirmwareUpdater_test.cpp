#include "PseudoTerminal.h"
#include "ScriptedBootloader.h"
#include "TestableUartUpdater.h"

#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

using State = IFwUpdater::State;

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(0xA0 + i % 37);
    return bytes;
}

// A 512-byte OTP block whose last entry holds the model identifier.
std::vector<std::byte> otpBlockWithModel(std::uint8_t model)
{
    std::vector<std::byte> block(512, std::byte{0xFF});
    const std::uint8_t entry[16] = {0x11, 0x47, 0x23, 0x01, model};
    for (int i = 0; i < 16; ++i)
        block[31 * 16 + i] = static_cast<std::byte>(entry[i]);
    return block;
}

// The back-end on the test's thread with a scripted client; every signal it
// emits is logged in order.
class UartUpdaterFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        QObject::connect(&updater, &FirmwareUpdaterBase::UpdateStarted, [this] { events << "started"; });
        QObject::connect(&updater, &FirmwareUpdaterBase::ProgressUpdate,
                         [this](int percent) { events << QStringLiteral("progress:%1").arg(percent); });
        QObject::connect(&updater, &FirmwareUpdaterBase::UpdateFinished,
                         [this](bool status) { events << QStringLiteral("finished:%1").arg(status); });
        QObject::connect(&updater, &FirmwareUpdaterBase::UpdateConnectionStatus,
                         [this](ConnectionStatus status) { events << QStringLiteral("status:%1").arg(status); });
        QObject::connect(&updater, &FirmwareUpdaterBase::EraseStarted, [this] { events << "erase"; });
        QObject::connect(&updater, &FirmwareUpdaterBase::EraseFinished, [this] { events << "erase"; });
    }

    void writeImage(const QByteArray& bytes)
    {
        QFile file(imagePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QTemporaryDir folder;
    QString imagePath = folder.filePath(QStringLiteral("firmware.bin"));
    TestableUartUpdater updater{imagePath};
    FakeStm32Client& client = updater.client();
    QStringList events;
};

struct PaddingCase {
    int fileSize;
    int imageSize;
};

class ImagePadding : public UartUpdaterFixture, public ::testing::WithParamInterface<PaddingCase> {};

TEST_P(ImagePadding, ClientGetsTheFileZeroPaddedToWholeWords)
{
    const QByteArray content = pattern(GetParam().fileSize);
    writeImage(content);

    EXPECT_TRUE(updater.upload(content, {}));

    const QByteArray expected = content + QByteArray(GetParam().imageSize - GetParam().fileSize, '\0');
    EXPECT_EQ(client.flashedImage, expected);
    EXPECT_EQ(client.flashAddress, TestableUartUpdater::kProgrammingAddress);
    EXPECT_EQ(client.calls, QStringList({"Flash", "DisconnectDevice"}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ImagePadding,
                         ::testing::Values(PaddingCase{5, 8}, PaddingCase{8, 8}, PaddingCase{4096, 4096},
                                           PaddingCase{4097, 4100}));

class ShortImage : public UartUpdaterFixture, public ::testing::WithParamInterface<int> {};

TEST_P(ShortImage, IsRefusedBeforeAnyBootloaderTraffic)
{
    EXPECT_FALSE(updater.upload(pattern(GetParam()), [this](int percent) { events << QString::number(percent); }));

    EXPECT_TRUE(client.calls.isEmpty());
    EXPECT_TRUE(events.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, ShortImage, ::testing::Values(0, 1, 4));

TEST_F(UartUpdaterFixture, MissingImageIsNamedOnStandardOutput)
{
    testing::internal::CaptureStdout();
    updater.onStartUpdate();
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(printed, "File " + imagePath.toStdString() + " not found/could not be opened\n");
    EXPECT_TRUE(client.calls.isEmpty());
    EXPECT_EQ(events, (QStringList{"started", "finished:0"}));
}

struct UpdateCase {
    const char* name;
    bool imagePresent;
    bool flashes;
    bool exitThrows;
    QStringList expectedCalls;
    QStringList expectedEvents;
};

class UpdateFlow : public UartUpdaterFixture, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(UpdateFlow, ReportsTheOutcomeAfterTheRightClientCalls)
{
    const UpdateCase& c = GetParam();
    if (c.imagePresent)
        writeImage(pattern(4096));
    client.script.flashes = c.flashes;
    client.script.exitThrows = c.exitThrows;
    client.script.progress = {{State::Writing, 0}, {State::Idle, 37}, {State::Writing, 100}};

    testing::internal::CaptureStdout();
    updater.onStartUpdate();
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(client.calls, c.expectedCalls);
    EXPECT_EQ(events, c.expectedEvents);
    if (c.expectedCalls.contains("ExitDfu")) {
        EXPECT_EQ(client.exitAddresses.first, TestableUartUpdater::kStartAddress);
        EXPECT_EQ(client.exitAddresses.second, TestableUartUpdater::kBootModeAddress);
    }
}

const QStringList kRelayedProgress{"started", "progress:0", "progress:37", "progress:100"};

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateFlow,
    ::testing::Values(
        UpdateCase{"Written", true, true, false, {"Flash", "DisconnectDevice", "ExitDfu"},
                   kRelayedProgress + QStringList{"finished:1"}},
        UpdateCase{"FlashFails", true, false, false, {"Flash", "DisconnectDevice"},
                   kRelayedProgress + QStringList{"finished:0"}},
        UpdateCase{"ExitFails", true, true, true, {"Flash", "DisconnectDevice", "ExitDfu"},
                   kRelayedProgress + QStringList{"finished:0"}},
        UpdateCase{"NoImage", false, true, false, {}, {"started", "finished:0"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct VerifyCase {
    const char* name;
    const char* targetType;
    std::vector<std::byte> otp;
    QList<uint8_t> accepted;
    bool accepts;
    bool reads;
};

class DeviceCheck : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(DeviceCheck, AcceptsOnlyListedModelsUnlessServiceFirmware)
{
    const VerifyCase& c = GetParam();
    TestableUartUpdater updater(QStringLiteral("unused.bin"), QString::fromLatin1(c.targetType));
    updater.client().script.memory = c.otp;

    EXPECT_EQ(updater.verifyDeviceId(c.accepted), c.accepts);

    EXPECT_EQ(updater.client().calls, c.reads ? QStringList{"ReadMemory"} : QStringList{});
    if (c.reads) {
        EXPECT_EQ(updater.client().readRequest.first, TestableUartUpdater::kOtpAddress);
        EXPECT_EQ(updater.client().readRequest.second, TestableUartUpdater::kOtpSize);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceCheck,
    ::testing::Values(VerifyCase{"ListedModel", "main", otpBlockWithModel(5), {3, 5}, true, true},
                      VerifyCase{"UnlistedModel", "main", otpBlockWithModel(5), {3}, false, true},
                      VerifyCase{"ReadFailed", "main", {}, {3, 5}, false, true},
                      VerifyCase{"ServiceSkipsTheRead", "service", {}, {3}, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UartUpdaterFixture, UnopenablePortIsReportedDisconnectedWithoutAnyLinkLeft)
{
    updater.onConnectToDevice(QStringLiteral("/dev/fwu-no-such-port"), {5}, true);

    EXPECT_EQ(events, QStringList{"status:1"});
    EXPECT_TRUE(client.calls.isEmpty());
    EXPECT_FALSE(updater.linked());
}

TEST_F(UartUpdaterFixture, DisconnectWithoutALinkOnlyReportsDisconnected)
{
    updater.onDisconnectDevice();

    EXPECT_EQ(events, QStringList{"status:1"});
    EXPECT_FALSE(updater.linked());
}

// The client side of a handshake over the real link: subscribe, send the
// bootloader's init byte and wait for the unit's answer on the serial thread.
class LinkedUpdater : public UartUpdaterFixture {
protected:
    bool initOverTheLink()
    {
        auto subscription = updater.driver().SubscribeOnRx([this](std::byte value) {
            callbackOnCallerThread = QThread::currentThread() == callerThread;
            answer = static_cast<int>(value);
            answered.release();
        });
        const std::byte init{0x7F};
        updater.driver().Transmit(std::span(&init, 1));
        return answered.tryAcquire(1, 5000) && answer == 0x79;
    }

    // The unit answers every init byte with an ACK.
    void answerInits(int count)
    {
        unit = std::thread([this, count] {
            for (int i = 0; i < count; ++i)
                if (pty.receive(1, 5000) == QByteArray("\x7F", 1))
                    pty.send(QByteArray("\x79", 1));
        });
    }

    void TearDown() override
    {
        if (unit.joinable())
            unit.join();
    }

    PseudoTerminal pty;
    std::thread unit;
    QThread* callerThread = QThread::currentThread();
    QSemaphore answered;
    std::atomic<int> answer = -1;
    std::atomic<bool> callbackOnCallerThread = true;
};

TEST_F(LinkedUpdater, ConnectWiresThePortOnASerialThreadOfItsOwn)
{
    client.script.connect = [this] { return initOverTheLink(); };
    answerInits(1);

    updater.onConnectToDevice(pty.portName(), {5}, false);

    EXPECT_EQ(events, QStringList{"status:0"});
    EXPECT_FALSE(callbackOnCallerThread);
    EXPECT_TRUE(updater.linked());
}

TEST_F(LinkedUpdater, ReconnectAfterAFailedHandshakeReplacesTheEarlierLink)
{
    int attempt = 0;
    client.script.connect = [&] { return ++attempt > 1 && initOverTheLink(); };
    answerInits(1);

    updater.onConnectToDevice(pty.portName(), {5}, false);
    ASSERT_TRUE(updater.linked());
    // The earlier link still holds the port; it must be let go first.
    updater.onConnectToDevice(pty.portName(), {5}, false);

    EXPECT_EQ(events, QStringList({"status:1", "status:0"}));
}

TEST_F(LinkedUpdater, RejectedModelClosesTheLinkBeforeReportingMismatch)
{
    client.script.memory = otpBlockWithModel(9);

    updater.onConnectToDevice(pty.portName(), {5}, true);

    EXPECT_EQ(events, QStringList{"status:2"});
    EXPECT_EQ(client.calls, QStringList({"ConnectDevice", "ReadMemory"}));
    EXPECT_FALSE(updater.linked());
}

TEST_F(LinkedUpdater, DisconnectReleasesThePort)
{
    updater.onConnectToDevice(pty.portName(), {5}, false);
    ASSERT_TRUE(updater.linked());

    updater.onDisconnectDevice();

    EXPECT_EQ(events, QStringList({"status:0", "status:1"}));
    EXPECT_FALSE(updater.linked());
    QSemaphore gate(1);
    EXPECT_TRUE(Uart(pty.portName(), 460800, &gate).isOpen());
}

// The production back-end with the real bootloader client, against a unit
// that answers the handshake and the OTP read as an STM32 bootloader does.
TEST(UartUpdaterWithBootloaderClient, HandshakeAndModelCheckGoThroughTheBridge)
{
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isValid());
    constexpr std::uint32_t otpAddress = 0x1FFF7000;
    UartFirmwareUpdater updater(QStringLiteral("unused.bin"), 0x08000000, 0x08000000, otpAddress, 32, 0x2001FFF0,
                                QStringLiteral("main"));
    QStringList events;
    QObject::connect(&updater, &FirmwareUpdaterBase::UpdateConnectionStatus,
                     [&](ConnectionStatus status) { events << QStringLiteral("status:%1").arg(status); });
    QByteArray otp(32, '\xFF');
    otp.replace(16, 5, QByteArray("\x11\x47\x23\x01\x05", 5));
    ScriptedBootloader unit(
        pty, {{QByteArray("\x7F", 1), QByteArray("\x79", 1)},
              {QByteArray("\x00\xFF", 2), QByteArray("\x79\x07\x31\x00\x01\x02\x11\x21\x31\x43\x79", 11)},
              {QByteArray("\x02\xFD", 2), QByteArray("\x79\x01\x04\x69\x79", 5)},
              {QByteArray("\x11\xEE", 2), QByteArray("\x79", 1)},
              {QByteArray("\x1F\xFF\x70\x00\x90", 5), QByteArray("\x79", 1)},
              {QByteArray("\x1F\xE0", 2), QByteArray("\x79", 1) + otp}});

    updater.onConnectToDevice(pty.portName(), {3, 5}, true);

    EXPECT_EQ(unit.finish(), QString());
    EXPECT_EQ(events, QStringList{"status:0"});
}

} // namespace
