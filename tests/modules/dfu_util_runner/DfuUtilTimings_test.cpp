#include "DfuSimEnvironment.h"
#include "Stm32DfuUtilUpdater.h"
#include "WaitUntil.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <gtest/gtest.h>

using stm32_updater::Stm32DfuUtilUpdater;

namespace {

const QString kFilter = QStringLiteral("0483:df11");

// The tool prints a progress line every 50 ms; the runner looks at its output
// once a second, so the window hears of progress about once a second. The
// window leaves out half and double of the interval.
TEST(DfuUtilTimings, ProgressIsPolledOnceASecond)
{
    DfuSimEnvironment sim;
    sim.set("DFU_SIM_ERASE_MS", "200");
    sim.set("DFU_SIM_DOWNLOAD_MS", "6000");
    sim.set("DFU_SIM_STEPS", "120");
    QFile image(sim.filePath("image.bin"));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(QByteArray(4096, '\x5A'));
    image.close();

    Stm32DfuUtilUpdater runner(nullptr, kFilter, DfuSimEnvironment::toolPath());
    QElapsedTimer clock;
    QList<qint64> updates;
    bool finished = false;
    QObject::connect(&runner, &Stm32DfuUtilUpdater::ProgressUpdate, [&](int) { updates << clock.elapsed(); });
    QObject::connect(&runner, &Stm32DfuUtilUpdater::UpdateFinished, [&](bool) { finished = true; });
    clock.start();
    ASSERT_TRUE(runner.DownloadFirmware(image.fileName().toStdString(), 0x08000000));
    ASSERT_TRUE(waitUntil([&] { return finished; }, 20000));

    ASSERT_GE(updates.size(), 4);
    QList<qint64> gaps;
    for (qsizetype i = 1; i < updates.size(); ++i)
        gaps << updates[i] - updates[i - 1];
    std::sort(gaps.begin(), gaps.end());
    const qint64 median = gaps[gaps.size() / 2];
    EXPECT_GE(median, 750);
    EXPECT_LE(median, 1500);
    std::printf("progress updates every %lld ms (median of %lld)\n", static_cast<long long>(median),
                static_cast<long long>(gaps.size()));
}

// A tool that hangs while reading the OTP block is ended after 30 s.
TEST(DfuUtilTimings, HungOtpReadEndsAfterThirtySeconds)
{
    DfuSimEnvironment sim;
    sim.set("DFU_SIM_MODEL_ID", "5");
    sim.set("DFU_SIM_UPLOAD_FAULT", "hang");
    Stm32DfuUtilUpdater runner(nullptr, kFilter, DfuSimEnvironment::toolPath());
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(runner.ReadMemory(0x1FFF7800, 512).empty());
    const qint64 waited = clock.elapsed();
    EXPECT_GE(waited, 22500);
    EXPECT_LE(waited, 45000);
    std::printf("hung OTP read ended after %lld ms\n", static_cast<long long>(waited));
}

} // namespace
