#include "RandomBytes.h"
#include "SerialTestPort.h"
#include "Stm32Frames.h"
#include "UnitSimulator.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kFlashBase = 0x08000000;
constexpr std::uint32_t kOtpAddress = 0x1FFF7000;
constexpr int kStm32flashTimeoutMs = 120000;
constexpr int kNoAnswerWaitMs = 500;

class Stm32Unit : public ::testing::Test {
protected:
    void start(QStringList arguments = {})
    {
        simulator = std::make_unique<UnitSimulator>(QStringList{"--mode", "stm32"} + arguments);
        ASSERT_TRUE(simulator->isReady()) << simulator->log().toStdString();
        port = std::make_unique<SerialTestPort>(simulator->path(), 115200);
        ASSERT_TRUE(port->isOpen());
    }

    QByteArray send(const QByteArray& bytes, qsizetype expected)
    {
        if (!port->send(bytes))
            return {};
        return port->receive(expected, expected > 0 ? 2000 : kNoAnswerWaitMs);
    }

    bool init() { return send("\x7f", 1) == QByteArray(1, Stm32Frames::kAck); }

    // Sends the frames one after the other, each answered by one byte.
    QByteArray sendEach(const QList<QByteArray>& frames)
    {
        QByteArray answers;
        for (const QByteArray& frame : frames)
            answers += send(frame, 1);
        return answers;
    }

    // Write Memory as the updater sends it; the unit's last answer byte.
    QByteArray writeBlock(std::uint32_t address, const QByteArray& bytes)
    {
        return sendEach({Stm32Frames::command(0x31), Stm32Frames::address(address), Stm32Frames::data(bytes)});
    }

    QByteArray readBlock(std::uint32_t address, int count)
    {
        const QByteArray answers = sendEach({Stm32Frames::command(0x11), Stm32Frames::address(address)});
        if (answers != QByteArray(2, Stm32Frames::kAck))
            return {};
        const QByteArray data = send(QByteArray(1, char(count - 1)).append(char((count - 1) ^ 0xFF)), count + 1);
        return data.startsWith(Stm32Frames::kAck) ? data.mid(1) : QByteArray();
    }

    std::unique_ptr<UnitSimulator> simulator;
    std::unique_ptr<SerialTestPort> port;
};

struct GetCase {
    const char* name;
    QStringList arguments;
    QByteArray getReply;   // after Init
    QByteArray getIdReply; // whole Get ID reply
};

class Stm32Identity : public Stm32Unit, public ::testing::WithParamInterface<GetCase> {};

TEST_P(Stm32Identity, GetAndGetIdReportTheConfiguredUnit)
{
    start(GetParam().arguments);
    const char ack = GetParam().getReply.at(0);
    EXPECT_EQ(send("\x7f", 1), QByteArray(1, ack));
    EXPECT_EQ(send(Stm32Frames::command(0x00), GetParam().getReply.size()), GetParam().getReply);
    EXPECT_EQ(send(Stm32Frames::command(0x02), GetParam().getIdReply.size()), GetParam().getIdReply);
}

INSTANTIATE_TEST_SUITE_P(
    Options, Stm32Identity,
    ::testing::Values(
        GetCase{"Defaults", {}, QByteArray::fromHex("790731000102112131447 9"), QByteArray::fromHex("7901046979")},
        GetCase{"LegacyErase", {"--erase-command", "erase"}, QByteArray::fromHex("79073100010211213143 79"),
                QByteArray::fromHex("7901046979")},
        GetCase{"NoErase", {"--erase-command", "none"}, QByteArray::fromHex("790631000102112131 79"),
                QByteArray::fromHex("7901046979")},
        GetCase{"WrongVersionUnknownProduct", {"--bootloader-version", "0x22", "--product-id", "0x0410"},
                QByteArray::fromHex("79072200010211213144 79"), QByteArray::fromHex("7901041079")},
        GetCase{"AckStyle75", {"--ack-style", "75"}, QByteArray::fromHex("75073100010211213144 75"),
                QByteArray::fromHex("7501046975")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Stm32Unit, ChecksumsAreCheckedAndABadOneIsNacked)
{
    start();
    ASSERT_TRUE(init());
    EXPECT_EQ(send(QByteArray::fromHex("0000"), 1), QByteArray(1, Stm32Frames::kNack)) << "bad command complement";
    EXPECT_EQ(send(Stm32Frames::command(0x31), 1), QByteArray(1, Stm32Frames::kAck));
    QByteArray badAddress = Stm32Frames::address(kFlashBase);
    badAddress[4] = char(badAddress[4] ^ 1);
    EXPECT_EQ(send(badAddress, 1), QByteArray(1, Stm32Frames::kNack));
    EXPECT_EQ(sendEach({Stm32Frames::command(0x31), Stm32Frames::address(kFlashBase)}), QByteArray(2, 0x79));
    QByteArray badData = Stm32Frames::data(QByteArray::fromHex("01020304"));
    badData[badData.size() - 1] = char(badData.back() ^ 0x80);
    EXPECT_EQ(send(badData, 1), QByteArray(1, Stm32Frames::kNack));
    EXPECT_EQ(simulator->image().left(4), QByteArray(4, char(0xFF))) << "nothing written on a bad checksum";
    EXPECT_EQ(writeBlock(kFlashBase, QByteArray::fromHex("01020304")), QByteArray(3, Stm32Frames::kAck));
    EXPECT_EQ(simulator->image().left(4), QByteArray::fromHex("01020304"));
}

TEST_F(Stm32Unit, OtpBlockHoldsTheModelIdInItsTopEntry)
{
    start({"--model-id", "7"});
    ASSERT_TRUE(init());
    QByteArray otp;
    for (int offset = 0; offset < 512; offset += 32)
        otp += readBlock(kOtpAddress + offset, 32);
    ASSERT_EQ(otp.size(), 512);
    EXPECT_EQ(otp.left(496), QByteArray(496, char(0xFF)));
    EXPECT_EQ(otp.mid(496), QByteArray::fromHex("11472301 07 0000000000000000000000"));
}

TEST_F(Stm32Unit, WithoutOtpBlockItsAddressIsNacked)
{
    start({"--otp-address", "none", "--model-id", "7"});
    ASSERT_TRUE(init());
    EXPECT_EQ(sendEach({Stm32Frames::command(0x11), Stm32Frames::address(kOtpAddress)}),
              QByteArray(1, Stm32Frames::kAck) + Stm32Frames::kNack);
}

TEST_F(Stm32Unit, NackFaultRefusesTheGivenBlockNTimes)
{
    start({"--nack-at-block", "2:3"});
    ASSERT_TRUE(init());
    const QByteArray block = randomBytes(256);
    EXPECT_EQ(writeBlock(kFlashBase, block).back(), Stm32Frames::kAck);
    for (int attempt = 0; attempt < 3; ++attempt)
        EXPECT_EQ(writeBlock(kFlashBase + 256, block).back(), Stm32Frames::kNack) << attempt;
    EXPECT_EQ(writeBlock(kFlashBase + 256, block).back(), Stm32Frames::kAck);
    EXPECT_EQ(simulator->image().mid(256, 256), block);
}

TEST_F(Stm32Unit, MarkerWriteAndGoAreReported)
{
    start();
    ASSERT_TRUE(init());
    EXPECT_EQ(writeBlock(0x0807F800, "PUWF"), QByteArray(3, Stm32Frames::kAck));
    EXPECT_EQ(sendEach({Stm32Frames::command(0x21), Stm32Frames::address(kFlashBase)}),
              QByteArray(2, Stm32Frames::kAck));
    ASSERT_TRUE(simulator->waitForEvent("go ", 2000));
    EXPECT_TRUE(simulator->events().contains("marker 0x0807f800 50555746"));
    EXPECT_TRUE(simulator->events().contains("go 0x08000000"));
}

TEST_F(Stm32Unit, ExtendedErasePageListRestoresErasedFlash)
{
    start();
    ASSERT_TRUE(init());
    ASSERT_EQ(writeBlock(kFlashBase + 0x800, QByteArray(8, 0)).back(), Stm32Frames::kAck);
    // Erase page 1 only: N-1 = 0, page 0x0001, checksum.
    EXPECT_EQ(sendEach({Stm32Frames::command(0x44), QByteArray::fromHex("0000000101")}),
              QByteArray(2, Stm32Frames::kAck));
    EXPECT_EQ(simulator->image().mid(0x800, 8), QByteArray(8, char(0xFF)));
}

// As on a real bootloader, 0x7F synchronises only as the first byte after a
// reset (or after Go); later it is the first byte of a command.
TEST_F(Stm32Unit, InitSynchronisesOnceThen0x7FStartsACommand)
{
    start();
    ASSERT_TRUE(init());
    EXPECT_TRUE(send("\x7f", 0).isEmpty()) << "waits for the complement";
    EXPECT_EQ(send("\x7f", 1), QByteArray(1, Stm32Frames::kNack)) << "0x7F 0x7F is a bad command";
    EXPECT_EQ(send(Stm32Frames::command(0x02), 5), QByteArray::fromHex("7901046979"));
    EXPECT_EQ(sendEach({Stm32Frames::command(0x21), Stm32Frames::address(kFlashBase)}),
              QByteArray(2, Stm32Frames::kAck));
    EXPECT_TRUE(init()) << "after Go the next 0x7F synchronises again";
    EXPECT_TRUE(simulator->log().contains("command 0x7f with bad complement 0x7f")) << simulator->log().toStdString();
}

TEST_F(Stm32Unit, OldDataPagesRefuseWritesUntilErased)
{
    start({"--old-data", "0x08000000:0x1000", "--erase-command", "erase"});
    ASSERT_TRUE(init());
    EXPECT_EQ(simulator->image().left(0x1000), QByteArray(0x1000, char(0x5A)));
    EXPECT_EQ(simulator->image().mid(0x1000, 16), QByteArray(16, char(0xFF)));
    const QByteArray block = randomBytes(256);

    EXPECT_EQ(writeBlock(kFlashBase, block).back(), Stm32Frames::kNack) << "page 0 not erased";
    EXPECT_EQ(writeBlock(kFlashBase + 0x1000, block).back(), Stm32Frames::kAck) << "page 2 held no old data";
    // Erase page 0 only: N-1 = 0, page 0, checksum 0.
    EXPECT_EQ(sendEach({Stm32Frames::command(0x43), QByteArray::fromHex("000000")}), QByteArray(2, Stm32Frames::kAck));
    EXPECT_EQ(writeBlock(kFlashBase, block).back(), Stm32Frames::kAck);
    EXPECT_EQ(writeBlock(kFlashBase + 0x800, block).back(), Stm32Frames::kNack) << "page 1 still holds old data";

    const QByteArray flash = simulator->image();
    EXPECT_EQ(flash.left(256), block);
    EXPECT_EQ(flash.mid(256, 0x800 - 256), QByteArray(0x800 - 256, char(0xFF)));
    EXPECT_EQ(flash.mid(0x800, 0x800), QByteArray(0x800, char(0x5A)));
    EXPECT_TRUE(simulator->log().contains("old data that was not erased")) << simulator->log().toStdString();
}

// An Erase count byte of 0xFF is the global-erase code: what follows the
// 0x00 checksum is read as new commands.
TEST_F(Stm32Unit, EraseCountFFErasesTheWholeFlash)
{
    start({"--old-data", "0x08000000:0x80000", "--erase-command", "erase"});
    ASSERT_TRUE(init());
    EXPECT_EQ(sendEach({Stm32Frames::command(0x43), QByteArray::fromHex("ff00")}), QByteArray(2, Stm32Frames::kAck));
    EXPECT_EQ(simulator->image(), QByteArray(0x80000, char(0xFF)));
    EXPECT_EQ(writeBlock(0x0807F800, randomBytes(256)).back(), Stm32Frames::kAck);
}

TEST_F(Stm32Unit, StrayFaultSendsABurstRightAfterTheReplyToTheGivenRead)
{
    start({"--stray-after-read", "2:5"});
    ASSERT_TRUE(init());
    EXPECT_EQ(readBlock(kFlashBase, 4), QByteArray(4, char(0xFF)));
    EXPECT_EQ(sendEach({Stm32Frames::command(0x11), Stm32Frames::address(kFlashBase)}),
              QByteArray(2, Stm32Frames::kAck));
    EXPECT_EQ(send(QByteArray::fromHex("03fc"), 1 + 4 + 5),
              QByteArray(1, Stm32Frames::kAck) + QByteArray(4, char(0xFF)) + QByteArray(5, Stm32Frames::kAck));
    EXPECT_EQ(readBlock(kFlashBase, 4), QByteArray(4, char(0xFF))) << "one burst only";
}

TEST_F(Stm32Unit, SilenceFromByteNAnswersNothingFromThere)
{
    start({"--silent-from-byte", "3"});
    ASSERT_TRUE(init());
    EXPECT_TRUE(send(Stm32Frames::command(0x00), 0).isEmpty()) << "the Get complement is byte 3";
    EXPECT_TRUE(send("\x7f", 0).isEmpty());
}

TEST_F(Stm32Unit, UnplugAfterBlocksRemovesThePath)
{
    start({"--unplug-after-blocks", "1"});
    ASSERT_TRUE(init());
    EXPECT_EQ(writeBlock(kFlashBase, randomBytes(256)).back(), Stm32Frames::kAck);
    ASSERT_TRUE(simulator->waitForExit(3000));
    EXPECT_FALSE(QFileInfo(simulator->path()).isSymLink());
    EXPECT_TRUE(simulator->events().contains("unplugged"));
}

// The independent client: stm32flash writes, verifies and reads back.
struct Stm32flashCase {
    const char* name;
    QStringList arguments;
    const char* baud;
    qsizetype imageSize;
};

class Stm32flashRoundTrip : public ::testing::TestWithParam<Stm32flashCase> {};

TEST_P(Stm32flashRoundTrip, WritesVerifiesAndReadsBackTheImage)
{
    const QString stm32flash = QStandardPaths::findExecutable("stm32flash");
    if (stm32flash.isEmpty())
        GTEST_SKIP() << "stm32flash is not installed";
    UnitSimulator simulator(QStringList{"--mode", "stm32"} + GetParam().arguments);
    ASSERT_TRUE(simulator.isReady()) << simulator.log().toStdString();
    QTemporaryDir folder;
    const QByteArray image = randomBytes(GetParam().imageSize);
    QFile imageFile(folder.filePath("image.bin"));
    ASSERT_TRUE(imageFile.open(QIODevice::WriteOnly));
    imageFile.write(image);
    imageFile.close();

    QElapsedTimer timer;
    timer.start();
    QProcess write;
    write.start(stm32flash, {"-m", "8n1", "-b", GetParam().baud, "-w", imageFile.fileName(), "-v", simulator.path()});
    ASSERT_TRUE(write.waitForFinished(kStm32flashTimeoutMs));
    ASSERT_EQ(write.exitCode(), 0) << write.readAll().toStdString() << simulator.log().toStdString();
    std::printf("[ figure ] stm32flash write+verify of %lld bytes (%s): %lld ms\n", qlonglong(image.size()),
                GetParam().name, timer.elapsed());

    const QString readBack = folder.filePath("read.bin");
    QProcess read;
    read.start(stm32flash, {"-m", "8n1", "-b", GetParam().baud, "-r", readBack, "-S",
                            QStringLiteral("0x08000000:%1").arg(image.size()), simulator.path()});
    ASSERT_TRUE(read.waitForFinished(kStm32flashTimeoutMs));
    ASSERT_EQ(read.exitCode(), 0) << read.readAll().toStdString();
    QFile readFile(readBack);
    ASSERT_TRUE(readFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(readFile.readAll(), image);

    const QByteArray flash = simulator.image();
    ASSERT_EQ(flash.size(), 0x80000);
    EXPECT_EQ(flash.left(image.size()), image);
    EXPECT_EQ(flash.mid(image.size()).count(char(0xFF)), flash.size() - image.size());
}

INSTANTIATE_TEST_SUITE_P(
    Clients, Stm32flashRoundTrip,
    ::testing::Values(Stm32flashCase{"ExtendedErase", {}, "115200", 5000},
                      Stm32flashCase{"LegacyErase", {"--erase-command", "erase"}, "115200", 4099},
                      Stm32flashCase{"PacedAt460800", {"--baud", "460800"}, "460800", 6000}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
