#include "CheckModelIdInOtp.h"
#include "DfuSimEnvironment.h"
#include "Stm32DfuUtilUpdater.h"
#include "WaitUntil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using stm32_updater::Stm32DfuUtilUpdater;

namespace {

constexpr int kWaitMs = 20000;
const QString kFilter = QStringLiteral("0483:df11");

// The runner's signals in the order they came, as short texts.
class RunnerEvents {
public:
    explicit RunnerEvents(Stm32DfuUtilUpdater& runner)
    {
        QObject::connect(&runner, &Stm32DfuUtilUpdater::EraseStarted, &context, [this] { add("EraseStarted"); });
        QObject::connect(&runner, &Stm32DfuUtilUpdater::EraseFinished, &context, [this] { add("EraseFinished"); });
        QObject::connect(&runner, &Stm32DfuUtilUpdater::ProgressUpdate, &context,
                         [this](int percent) { add(QStringLiteral("Progress %1").arg(percent)); });
        QObject::connect(&runner, &Stm32DfuUtilUpdater::UpdateFinished, &context,
                         [this](bool status) { add(status ? "Finished true" : "Finished false"); });
    }

    bool finished() const { return list.contains("Finished true") || list.contains("Finished false"); }
    bool waitFor(const QString& event) const
    {
        return waitUntil([&] { return list.contains(event); }, kWaitMs);
    }
    bool waitFinished() const { return waitUntil([&] { return finished(); }, kWaitMs); }

    QStringList list;

private:
    void add(const QString& event) { list.append(event); }

    QObject context;
};

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator random(11);
    for (char& byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    return bytes;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes, QFileDevice::Permissions extra = {})
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    file.setPermissions(file.permissions() | extra);
}

class DfuRunnerTest : public ::testing::Test {
protected:
    std::unique_ptr<Stm32DfuUtilUpdater> makeRunner(const QString& tool = DfuSimEnvironment::toolPath())
    {
        return std::make_unique<Stm32DfuUtilUpdater>(nullptr, kFilter, tool);
    }

    QString writeImage(int size)
    {
        image = randomBytes(size);
        const QString path = sim.filePath(QStringLiteral("firmware image.bin"));
        writeFile(path, image);
        return path;
    }

    // Script lines that wait, at most 20 s, until the test creates the file.
    static QByteArray waitForFile(const QString& path)
    {
        return "i=0; while [ ! -e '" + path.toUtf8() + "' ] && [ $i -lt 1000 ]; do sleep 0.02; i=$((i+1)); done\n";
    }

    // A stand-in tool: a shell script with the given body.
    QString writeScript(const QByteArray& body)
    {
        const QString path = sim.filePath(QStringLiteral("tool.sh"));
        writeFile(path, "#!/bin/sh\n" + body, QFileDevice::ExeOwner);
        return path;
    }

    DfuSimEnvironment sim;
    QByteArray image;
};

// Progress values between the erase end and the finish, in order.
QList<int> progressValues(const QStringList& events)
{
    QList<int> values;
    for (const QString& event : events) {
        if (event.startsWith(QLatin1String("Progress ")))
            values.append(event.mid(9).toInt());
    }
    return values;
}

} // namespace

TEST_F(DfuRunnerTest, DownloadReportsEraseProgressThenFinishThenFull)
{
    sim.set("DFU_SIM_DOWNLOAD_COPY", sim.filePath(QStringLiteral("copy.bin")).toLocal8Bit());
    sim.set("DFU_SIM_DOWNLOAD_MS", "2500");
    sim.set("DFU_SIM_STEPS", "10");
    const QString imagePath = writeImage(40000);
    auto runner = makeRunner();
    RunnerEvents events(*runner);

    ASSERT_TRUE(runner->DownloadFirmware(imagePath.toUtf8().toStdString(), 0x0800C000));
    ASSERT_TRUE(events.waitFinished()) << events.list.join(", ").toStdString();
    ASSERT_TRUE(events.waitFor("Progress 100")) << events.list.join(", ").toStdString();

    const QStringList& list = events.list;
    EXPECT_EQ(list.first(), "EraseStarted");
    const qsizetype eraseEnd = list.indexOf("EraseFinished");
    ASSERT_GT(eraseEnd, 0) << list.join(", ").toStdString();
    EXPECT_TRUE(list[eraseEnd + 1].startsWith("Progress ")) << list.join(", ").toStdString();
    EXPECT_EQ(list.count("EraseFinished"), 1);
    EXPECT_EQ(list[list.size() - 2], "Finished true");
    EXPECT_EQ(list.last(), "Progress 100");
    const QList<int> values = progressValues(list);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << list.join(", ").toStdString();

    EXPECT_EQ(readAll(sim.filePath(QStringLiteral("copy.bin"))), image);
    ASSERT_EQ(sim.runs().size(), 1);
    EXPECT_EQ(sim.runs().first(),
              QStringList({"-d", "0483:df11", "-a", "0", "-s", "0X0800C000:fast:leave", "-D", imagePath}));
}

TEST_F(DfuRunnerTest, PollKeepsOnlyTheLastUpdateAfterTheLastLineFeed)
{
    const QString go = sim.filePath(QStringLiteral("go"));
    const QString tool = writeScript(
        "printf 'Opening DFU capable USB device...\\n\\rDownload\\t[==   ]  42%%   100 bytes"
        "\\rDownload\\t[===  ]  57%%   200 bytes'\n"
        + waitForFile(go) +
        "exit 0\n");
    auto runner = makeRunner(tool);
    RunnerEvents events(*runner);

    ASSERT_TRUE(runner->DownloadFirmware("image.bin", 0x08000000));
    ASSERT_TRUE(events.waitFor("Progress 57")) << events.list.join(", ").toStdString();
    EXPECT_EQ(events.list, QStringList({"EraseStarted", "EraseFinished", "Progress 57"}));

    writeFile(go, "");
    ASSERT_TRUE(events.waitFor("Progress 100")) << events.list.join(", ").toStdString();
    EXPECT_EQ(events.list,
              QStringList({"EraseStarted", "EraseFinished", "Progress 57", "Finished true", "Progress 100"}));
}

// Polls that find nothing new, or only a finished line, emit nothing and poll again.
TEST_F(DfuRunnerTest, PollsWithoutAnUpdateKeepPolling)
{
    const QString go = sim.filePath(QStringLiteral("go"));
    const QString tool = writeScript(
        "printf 'Opening DFU capable USB device...\\n'\n"
        "sleep 1.5\n"
        "printf '\\rDownload\\t[==   ]  57%%   200 bytes\\n'\n"
        "sleep 1.2\n"
        "printf '\\rDownload\\t[==== ]  80%%   300 bytes'\n"
        + waitForFile(go) +
        "exit 0\n");
    auto runner = makeRunner(tool);
    RunnerEvents events(*runner);

    ASSERT_TRUE(runner->DownloadFirmware("image.bin", 0x08000000));
    ASSERT_TRUE(events.waitFor("Progress 80")) << events.list.join(", ").toStdString();
    EXPECT_EQ(events.list, QStringList({"EraseStarted", "EraseFinished", "Progress 80"}));
    writeFile(go, "");
    EXPECT_TRUE(events.waitFinished());
}

TEST_F(DfuRunnerTest, EndOfRunFollowsHowTheToolEnded)
{
    struct Case {
        const char* fault;
        bool status;
    };
    const Case cases[] = {
        {"none", true},
        {"leave-error", true},  // the device left DFU mode before answering: image written
        {"silent", true},       // exit code 0 without any progress line
        {"crash", false},
        {"abort", false},
        {"exit", false},        // transfer error, nonzero exit code
        {"nodevice", false},
    };
    sim.set("DFU_SIM_DOWNLOAD_MS", "100");
    sim.set("DFU_SIM_ERASE_MS", "20");
    const QString imagePath = writeImage(5000);
    for (const Case& c : cases) {
        sim.set("DFU_SIM_DOWNLOAD_FAULT", c.fault);
        auto runner = makeRunner();
        RunnerEvents events(*runner);
        ASSERT_TRUE(runner->DownloadFirmware(imagePath.toUtf8().toStdString(), 0x08000000));
        ASSERT_TRUE(events.waitFinished()) << c.fault;
        EXPECT_EQ(events.list.first(), "EraseStarted") << c.fault;
        EXPECT_TRUE(events.list.contains(c.status ? "Finished true" : "Finished false")) << c.fault;
        if (c.status) {
            EXPECT_TRUE(events.waitFor("Progress 100")) << c.fault;
        }
    }
}

TEST_F(DfuRunnerTest, FailedRunStopsPollingWithoutFillingTheBar)
{
    sim.set("DFU_SIM_DOWNLOAD_FAULT", "crash");
    sim.set("DFU_SIM_DOWNLOAD_MS", "100");
    const QString imagePath = writeImage(5000);
    auto runner = makeRunner();
    RunnerEvents events(*runner);
    ASSERT_TRUE(runner->DownloadFirmware(imagePath.toUtf8().toStdString(), 0x08000000));
    ASSERT_TRUE(events.waitFinished());
    // Longer than a poll interval: a poll still armed would have fired.
    waitUntil([] { return false; }, 2 * Stm32DfuUtilUpdater::kPollIntervalMs);
    EXPECT_EQ(events.list.last(), "Finished false");
    EXPECT_FALSE(events.list.contains("Progress 100"));
}

TEST_F(DfuRunnerTest, ToolThatCannotStartEndsTheRunAsFailed)
{
    auto runner = makeRunner(sim.filePath(QStringLiteral("no-such-tool")));
    RunnerEvents events(*runner);
    for (int attempt = 0; attempt < 2; ++attempt) {
        events.list.clear();
        ASSERT_TRUE(runner->DownloadFirmware("image.bin", 0x08000000)) << attempt;
        ASSERT_TRUE(events.waitFinished()) << attempt;
        waitUntil([] { return false; }, 2 * Stm32DfuUtilUpdater::kPollIntervalMs);
        EXPECT_EQ(events.list, QStringList({"EraseStarted", "Finished false"})) << attempt;
    }
}

TEST_F(DfuRunnerTest, SecondDownloadIsRefusedWhileOneRuns)
{
    sim.set("DFU_SIM_DOWNLOAD_MS", "1500");
    const QString imagePath = writeImage(5000);
    auto runner = makeRunner();
    RunnerEvents events(*runner);
    ASSERT_TRUE(runner->DownloadFirmware(imagePath.toUtf8().toStdString(), 0x08000000));
    EXPECT_FALSE(runner->DownloadFirmware(imagePath.toUtf8().toStdString(), 0x08000000));
    ASSERT_TRUE(events.waitFor("Progress 100"));
    EXPECT_EQ(events.list.count("EraseStarted"), 1);
    EXPECT_EQ(events.list.count("Finished true"), 1);
    EXPECT_EQ(sim.runs().size(), 1);
}

TEST_F(DfuRunnerTest, DestroyingTheRunnerStopsTheToolAndThePoll)
{
    sim.set("DFU_SIM_DOWNLOAD_FAULT", "hang");
    const QString imagePath = writeImage(5000);
    auto runner = makeRunner();
    ASSERT_TRUE(runner->DownloadFirmware(imagePath.toUtf8().toStdString(), 0x08000000));
    auto* process = runner->findChild<QProcess*>();
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(waitUntil([&] { return process->state() == QProcess::Running; }, kWaitMs));
    const qint64 pid = process->processId();

    runner.reset();
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0) << "the tool outlived its runner";
    // A poll bound to a destroyed runner would crash here.
    waitUntil([] { return false; }, 2 * Stm32DfuUtilUpdater::kPollIntervalMs);
}

qint64 toolPid(Stm32DfuUtilUpdater& runner)
{
    auto* process = runner.findChild<QProcess*>();
    return process ? process->processId() : 0;
}

// A tool that stops printing, before its first line or in the middle of the
// download, is ended once its output has stood still for the bound, and the
// run fails; one that keeps printing is left alone however long it takes.
TEST_F(DfuRunnerTest, ToolWhoseOutputStandsStillIsEndedAfterTheStallBound)
{
    struct Case {
        const char* fault;
        const char* downloadMs;
        bool status;
    };
    constexpr int kStallMs = 1500;
    const Case cases[] = {
        {"hang", "400", false},
        {"stall", "400", false},
        {"none", "6000", true}, // a bar line every 500 ms for 6 s
    };
    sim.set("DFU_SIM_ERASE_MS", "100");
    sim.set("DFU_SIM_STEPS", "12");
    const QString imagePath = writeImage(5000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        sim.set("DFU_SIM_DOWNLOAD_FAULT", c.fault);
        sim.set("DFU_SIM_DOWNLOAD_MS", c.downloadMs);
        auto runner = makeRunner();
        runner->setStallTimeoutMs(kStallMs);
        RunnerEvents events(*runner);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(runner->DownloadFirmware(imagePath.toUtf8().toStdString(), 0x08000000));
        ASSERT_TRUE(waitUntil([&] { return toolPid(*runner) > 0; }, kWaitMs));
        const qint64 pid = toolPid(*runner);
        ASSERT_TRUE(events.waitFinished());
        const qint64 elapsed = clock.elapsed();
        EXPECT_TRUE(events.list.contains(c.status ? "Finished true" : "Finished false"));
        EXPECT_GE(elapsed, kStallMs);
        EXPECT_TRUE(waitUntil([&] { return ::kill(static_cast<pid_t>(pid), 0) != 0; }, 5000)) << "tool still running";
    }
}

// The program's own bound, measured on a tool that never prints: about a minute.
TEST_F(DfuRunnerTest, DefaultStallBoundIsAMinute)
{
    sim.set("DFU_SIM_DOWNLOAD_FAULT", "hang");
    const QString imagePath = writeImage(5000);
    auto runner = makeRunner();
    RunnerEvents events(*runner);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(runner->DownloadFirmware(imagePath.toUtf8().toStdString(), 0x08000000));
    ASSERT_TRUE(waitUntil([&] { return events.finished(); }, 120000));
    const qint64 elapsed = clock.elapsed();
    std::printf("[ figure ] silent dfu-util-static ended after %lld ms\n", elapsed);
    EXPECT_TRUE(events.list.contains("Finished false"));
    EXPECT_GE(elapsed, 55000);
    EXPECT_LE(elapsed, 75000);
}

TEST_F(DfuRunnerTest, BinaryNoiseFromTheToolIsHarmless)
{
    sim.set("DFU_SIM_DOWNLOAD_FAULT", "noise");
    sim.set("DFU_SIM_DOWNLOAD_MS", "2500");
    sim.set("DFU_SIM_NOISE_BYTES", "2000000");
    const QString imagePath = writeImage(1000);
    auto runner = makeRunner();
    RunnerEvents events(*runner);
    ASSERT_TRUE(runner->DownloadFirmware(imagePath.toUtf8().toStdString(), 0x08000000));
    ASSERT_TRUE(events.waitFor("Progress 100")) << events.list.join(", ").toStdString();
    EXPECT_TRUE(events.list.contains("Finished true"));
}

TEST_F(DfuRunnerTest, ReadMemoryReturnsTheFileTheToolWroteAndRemovesItsFolder)
{
    sim.set("DFU_SIM_MODEL_ID", "5");
    auto runner = makeRunner();
    const std::vector<std::byte> otp = runner->ReadMemory(0x1FFF7800, 512);
    ASSERT_EQ(otp.size(), 512U);
    EXPECT_TRUE(checkModelIdInOtp(otp, {5}));
    ASSERT_EQ(sim.runs().size(), 1);
    const QStringList arguments = sim.runs().first();
    EXPECT_EQ(arguments.mid(0, 7), QStringList({"-d", "0483:df11", "-a", "2", "-s", "0x1fff7800:512", "-U"}));
    const QFileInfo file(arguments.value(7));
    EXPECT_TRUE(file.absolutePath().startsWith(sim.filePath(QString()))) << "in the temporary folder";
    EXPECT_FALSE(QFileInfo::exists(file.absolutePath())) << "the private folder is left behind";
}

TEST_F(DfuRunnerTest, ReadMemoryOfNothingPassesSizeZero)
{
    auto runner = makeRunner();
    EXPECT_TRUE(runner->ReadMemory(0x1FFF7800, 0).empty());
    ASSERT_EQ(sim.runs().size(), 1);
    EXPECT_EQ(sim.runs().first().at(5), "0x1fff7800:0");
}

// Each read names a file in a folder of its own; no earlier read's file, nor
// anything someone put in the temporary folder, can pass for the unit's.
TEST_F(DfuRunnerTest, EveryReadGetsAFileOfItsOwn)
{
    sim.set("DFU_SIM_MODEL_ID", "5");
    auto runner = makeRunner();
    for (int round = 0; round < 3; ++round)
        EXPECT_TRUE(checkModelIdInOtp(runner->ReadMemory(0x1FFF7800, 512), {5}));
    QStringList folders;
    for (const QStringList& run : sim.runs())
        folders << QFileInfo(run.value(7)).absolutePath();
    ASSERT_EQ(folders.size(), 3);
    EXPECT_EQ(QSet<QString>(folders.begin(), folders.end()).size(), 3) << folders.join(' ').toStdString();
}

// Two units read at the same time, again and again, by two runners on two
// threads (as two programs would): each read sees its own unit's model.
TEST_F(DfuRunnerTest, ConcurrentReadsOfTwoUnitsEachSeeTheirOwnModel)
{
    sim.set("DFU_SIM_DEVICES", "0483:df11,0483:df11");
    sim.set("DFU_SIM_MODEL_ID", "7,99");
    constexpr int kRounds = 15;
    struct Reader {
        QString usbPath;
        std::uint8_t model;
        int ownModel = 0;
    };
    Reader readers[] = {{"1-1", 7}, {"1-2", 99}};
    QList<QThread*> threads;
    for (Reader& reader : readers) {
        threads << QThread::create([&reader] {
            Stm32DfuUtilUpdater runner(nullptr, kFilter, DfuSimEnvironment::toolPath());
            runner.setUsbPath(reader.usbPath);
            for (int round = 0; round < kRounds; ++round)
                reader.ownModel += checkModelIdInOtp(runner.ReadMemory(0x1FFF7800, 512), {reader.model}) ? 1 : 0;
        });
        threads.last()->start();
    }
    for (QThread* thread : threads) {
        thread->wait();
        delete thread;
    }
    for (const Reader& reader : readers)
        EXPECT_EQ(reader.ownModel, kRounds) << reader.usbPath.toStdString();
    EXPECT_EQ(sim.runs().size(), 2 * kRounds);
}

// Only a run of the tool that ends normally with exit code 0 and leaves
// exactly the bytes asked for gives them; anything else gives no model.
TEST_F(DfuRunnerTest, ReadMemoryFailuresGiveNothing)
{
    struct Case {
        const char* name;
        const char* fault;
        QString tool;
    };
    const Case cases[] = {
        {"no unit", "nodevice", DfuSimEnvironment::toolPath()},
        {"tool that hangs is killed", "hang", DfuSimEnvironment::toolPath()},
        {"tool missing", "none", sim.filePath(QStringLiteral("no-such-tool"))},
        {"tool crashes after half the file", "crash", DfuSimEnvironment::toolPath()},
        {"whole file, then an error exit", "exit-after-file", DfuSimEnvironment::toolPath()},
        {"exit code 0 over half the file", "short-file", DfuSimEnvironment::toolPath()},
        {"exit code 0 over a longer file", "long-file", DfuSimEnvironment::toolPath()},
    };
    sim.set("DFU_SIM_MODEL_ID", "5");
    for (const Case& c : cases) {
        sim.set("DFU_SIM_UPLOAD_FAULT", c.fault);
        auto runner = makeRunner(c.tool);
        runner->setReadTimeoutMs(1500);
        EXPECT_TRUE(runner->ReadMemory(0x1FFF7800, 512).empty()) << c.name;
    }
    for (const QStringList& run : sim.runs())
        EXPECT_FALSE(QFileInfo::exists(QFileInfo(run.value(7)).absolutePath())) << "left behind";
}

TEST_F(DfuRunnerTest, InterfaceSlotsThatDoNothingHere)
{
    auto runner = makeRunner();
    const std::byte image[4] = {};
    EXPECT_FALSE(runner->Flash(image, {}, 0x08000000));
    EXPECT_FALSE(runner->Flash(image, {}));
    EXPECT_TRUE(runner->GetTrailerFlag());
    EXPECT_TRUE(runner->ConnectDevice());
    runner->DisconnectDevice();
    runner->ExitDfu(0x08000000, 0x20000000);
    EXPECT_TRUE(sim.runs().isEmpty());
    EXPECT_NE(runner->qt_metacast("IStm32Updater"), nullptr);
    EXPECT_NE(qobject_cast<IStm32Updater*>(runner.get()), nullptr);
}
