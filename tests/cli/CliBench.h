#pragma once

#include "CliProcess.h"
#include "DfuSimEnvironment.h"
#include "TempResources.h"
#include "UnitSimulator.h"

#include <QByteArray>
#include <QStringList>
#include <memory>
#include <vector>

enum class Backend { Mcuboot, Uart, Usb };

// A bench for one command-line run: a Resources folder configured for one
// back-end with a firmware image, simulated units, and the CLI to run.
class CliBench {
public:
    static constexpr int kImageSize = 24 * 1024;

    explicit CliBench(Backend backend, const QString& extraIni = QString(), int imageSize = kImageSize);

    // A serial unit (MCUboot or STM32 bootloader) with model identifier 7 unless
    // the arguments say otherwise, announced beside the units plugged before.
    UnitSimulator& plug(const QStringList& arguments = {});
    // USB: the DFU devices the simulated dfu-util lists, "vvvv:pppp,...".
    void listDfuDevices(const QByteArray& devices) { dfu.set("DFU_SIM_DEVICES", devices); }
    void setDfu(const char* name, const QByteArray& value) { dfu.set(name, value); }
    // The arguments of every run of the simulated dfu-util, oldest first.
    QList<QStringList> dfuRuns() const { return dfu.runs(); }

    CliResult run(const QStringList& arguments, const std::function<void(QProcess&)>& whileRunning = {}) const;
    // What the unit's memory holds: the received image (MCUboot), the flash (STM32).
    QByteArray unitImage(std::size_t unitIndex) const { return units.at(unitIndex)->image(); }
    UnitSimulator& unit(std::size_t unitIndex) { return *units.at(unitIndex); }
    // True when the unit holds exactly the image (for STM32 with the trailer
    // flag the bootloader client sets). USB: the index is that of the listing.
    bool unitHoldsImage(std::size_t unitIndex = 0) const;

    // Another image in firmware.bin for the runs that follow.
    void replaceImage(const QByteArray& bytes);

    QString resourcesPath() const { return resources->path(); }
    QString imagePath() const { return resources->filePath(QStringLiteral("firmware.bin")); }
    const QByteArray& imageBytes() const { return image; }
    CliProcess& cli() { return process; }

private:
    Backend backend;
    DfuSimEnvironment dfu;
    std::unique_ptr<TempResources> resources;
    QByteArray image;
    std::vector<std::unique_ptr<UnitSimulator>> units;
    CliProcess process;
};
