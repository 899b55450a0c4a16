#include "ByteRecorder.h"
#include "PseudoTerminal.h"
#include "Uart.h"
#include "UartInterface.h"
#include "WaitUntil.h"

#include <QSerialPort>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

constexpr int kWaitMs = 5000;

std::vector<std::byte> frame(std::initializer_list<int> values)
{
    std::vector<std::byte> bytes;
    for (const int value : values)
        bytes.push_back(static_cast<std::byte>(value));
    return bytes;
}

QByteArray asBytes(const std::vector<std::byte>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// The bridge wired as a link is wired in the program: the Uart on a serial
// thread of its own over a pseudo-terminal, the interface on the test's thread.
class SerialBridge : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isValid());
        uart = new Uart(pty.portName(), 460800, &gate);
        ASSERT_TRUE(uart->isOpen());
        port = uart->findChild<QSerialPort*>();
        ASSERT_NE(port, nullptr);
        uart->moveToThread(&serialThread);
        QObject::connect(&serialThread, &QThread::finished, uart, &QObject::deleteLater);
        wire();
    }

    void TearDown() override { stopSerialThread(); }

    void wire()
    {
        transmitLink = QObject::connect(&bridge, &UartInterface::TransmitData, uart, &Uart::onTransmit);
        rxLink = QObject::connect(&bridge, &UartInterface::SetRxCallback, uart, &Uart::onSetRxCallback);
    }

    void unwire()
    {
        QObject::disconnect(transmitLink);
        QObject::disconnect(rxLink);
    }

    // Once stopped, nothing on the serial side touches the gate any more.
    void stopSerialThread()
    {
        if (!serialThread.isRunning() && !serialThread.isFinished())
            serialThread.start();
        serialThread.quit();
        serialThread.wait();
    }

    PseudoTerminal pty;
    QSemaphore gate{1};
    UartInterface bridge{&gate};
    QThread serialThread;
    Uart* uart = nullptr;
    QSerialPort* port = nullptr;
    QMetaObject::Connection transmitLink;
    QMetaObject::Connection rxLink;
};

TEST(UartMetaType, ReceiveCallbackIsKnownByItsWrittenName)
{
    QSemaphore gate(1);
    UartInterface bridge(&gate);
    EXPECT_EQ(QMetaType::fromName("hal::uart::RxByte_ISR"), QMetaType::fromType<hal::uart::RxByte_ISR>());
}

TEST(UartPort, UnopenablePortIsReportedInsteadOfEndingTheProcess)
{
    QSemaphore gate(1);
    Uart uart(QStringLiteral("/dev/fwu-no-such-port"), 460800, &gate);
    EXPECT_FALSE(uart.isOpen());
}

TEST_F(SerialBridge, PortIsSetUpForTheStm32Bootloader)
{
    EXPECT_EQ(port->baudRate(QSerialPort::Input), 460800);
    EXPECT_EQ(port->baudRate(QSerialPort::Output), 460800);
    EXPECT_EQ(port->parity(), QSerialPort::EvenParity);
    EXPECT_EQ(port->dataBits(), QSerialPort::Data8);
    EXPECT_EQ(port->stopBits(), QSerialPort::OneStop);
}

TEST_F(SerialBridge, TransmitSendsOneFrameAndWaitsForItsWrittenReport)
{
    serialThread.start();
    std::vector<QByteArray> emitted;
    QObject::connect(&bridge, &UartInterface::TransmitData, &bridge,
                     [&](const QByteArray& data) { emitted.push_back(data); }, Qt::DirectConnection);
    const auto bytes = frame({0x31, 0xCE, 0x08, 0x00, 0x00});

    bridge.Transmit(bytes);

    ASSERT_EQ(emitted.size(), 1u);
    EXPECT_EQ(emitted.front(), asBytes(bytes));
    EXPECT_EQ(pty.receive(5, kWaitMs), asBytes(bytes));
    stopSerialThread();
    // A transmit that returned before its own report would leave that report's
    // permits behind for the next frame.
    EXPECT_EQ(gate.available(), 1);
}

TEST_F(SerialBridge, BytesArrivingTogetherReachTheCallbackOnceEachInOrder)
{
    serialThread.start();
    ByteRecorder recorder;
    const auto handle = bridge.SubscribeOnRx(recorder.callback());
    // A frame sent after the subscription is written only once the callback is in place.
    bridge.Transmit(frame({0x7F}));

    ASSERT_TRUE(pty.send(QByteArray("\x41\x42", 2)));

    ASSERT_TRUE(waitUntil([&] { return recorder.bytes().size() >= 2; }, kWaitMs));
    EXPECT_EQ(recorder.bytes(), QByteArray("\x41\x42", 2));
}

TEST_F(SerialBridge, BytesBeforeAnySubscriptionAreDiscarded)
{
    std::atomic<int> reads = 0;
    // Runs on the serial thread right after the Uart has taken what was available.
    QObject::connect(port, &QSerialPort::readyRead, port, [&] { ++reads; }, Qt::DirectConnection);
    serialThread.start();
    ASSERT_TRUE(pty.send(QByteArray("\x10", 1)));
    ASSERT_TRUE(waitUntil([&] { return reads > 0; }, kWaitMs));

    ByteRecorder recorder;
    const auto handle = bridge.SubscribeOnRx(recorder.callback());
    bridge.Transmit(frame({0x7F}));
    ASSERT_TRUE(pty.send(QByteArray("\x43", 1)));

    ASSERT_TRUE(waitUntil([&] { return !recorder.bytes().isEmpty(); }, kWaitMs));
    EXPECT_EQ(recorder.bytes(), QByteArray("\x43", 1));
}

TEST_F(SerialBridge, LaterSubscriptionReplacesTheEarlierOneForGood)
{
    serialThread.start();
    ByteRecorder first;
    ByteRecorder second;
    auto firstHandle = bridge.SubscribeOnRx(first.callback());
    const auto secondHandle = bridge.SubscribeOnRx(second.callback());
    firstHandle.reset();
    bridge.Transmit(frame({0x7F}));

    ASSERT_TRUE(pty.send(QByteArray("\x79", 1)));

    ASSERT_TRUE(waitUntil([&] { return !second.bytes().isEmpty(); }, kWaitMs));
    EXPECT_EQ(second.bytes(), QByteArray("\x79", 1));
    EXPECT_TRUE(first.bytes().isEmpty());
}

TEST_F(SerialBridge, TransmitGivesUpOnASilentPortAndALateReportDoesNotOpenTheGate)
{
    // The serial thread is not running yet, so nothing reports the frame written.
    bridge.Transmit(frame({0x00, 0xFF, 0x01, 0x02, 0x03}));

    serialThread.start();
    // The stalled frame goes out now and its report arrives late.
    EXPECT_EQ(pty.receive(5, kWaitMs), QByteArray("\x00\xFF\x01\x02\x03", 5));
    bridge.Transmit(frame({0x02, 0xFD, 0x7F}));
    EXPECT_EQ(pty.receive(3, kWaitMs), QByteArray("\x02\xFD\x7F", 3));

    stopSerialThread();
    EXPECT_EQ(gate.available(), 1);
}

TEST_F(SerialBridge, GateResetForgetsTheUnreportedBytesOfAFormerLink)
{
    unwire();
    serialThread.start();
    // Nothing is attached: the frame is never written and never reported.
    bridge.Transmit(frame({0x11, 0xEE, 0x00, 0x00, 0x00}));

    bridge.resetTransmitGate();
    wire();
    bridge.Transmit(frame({0x02, 0xFD, 0x7F}));

    EXPECT_EQ(pty.receive(3, kWaitMs), QByteArray("\x02\xFD\x7F", 3));
    stopSerialThread();
    EXPECT_EQ(gate.available(), 1);
}

// A write may be reported in several parts; the frame is complete only when
// the reported counts add up to its length, and no permit is left over.
class SplitReport : public ::testing::TestWithParam<std::vector<qint64>> {};

TEST_P(SplitReport, TransmitClaimsExactlyTheFrameLength)
{
    QSemaphore gate(1);
    UartInterface bridge(&gate);
    Uart reporter(QStringLiteral("/dev/fwu-no-such-port"), 460800, &gate);
    std::atomic<bool> emitted = false;
    QObject::connect(&bridge, &UartInterface::TransmitData, &bridge, [&] { emitted = true; },
                     Qt::DirectConnection);

    std::thread worker([&] { bridge.Transmit(frame({1, 2, 3, 4, 5})); });
    const bool sent = waitUntil([&] { return emitted.load(); }, kWaitMs);
    // Reported even when the frame was not seen, so the worker always ends and
    // is joined before any assertion can leave this scope.
    for (const qint64 part : GetParam())
        reporter.onBytesWritten(part);
    worker.join();

    ASSERT_TRUE(sent);
    EXPECT_EQ(gate.available(), 1);
}

INSTANTIATE_TEST_SUITE_P(Parts, SplitReport,
                         ::testing::Values(std::vector<qint64>{5}, std::vector<qint64>{2, 3},
                                           std::vector<qint64>{1, 1, 1, 1, 1}));

} // namespace
