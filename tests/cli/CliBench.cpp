#include "CliBench.h"

#include "McubootImageBuilder.h"
#include "Stm32ImageBuilder.h"
#include "TrailerFlag.h"

#include <QFile>

namespace {

QString configFor(Backend backend)
{
    switch (backend) {
    case Backend::Mcuboot:
        return QStringLiteral("interface=mcuboot_serial\nproduct_list=Unit:1209:4c55\n");
    case Backend::Uart:
        return QStringLiteral("interface=uart\nproduct_list=Unit:1209:4c55\nboot_mode_address=0x0807F800\n"
                              "start_address=0x08000000\nprogramming_address=0x08000000\n"
                              "otp_address=0x1FFF7000\notp_size=512\n");
    case Backend::Usb:
        break;
    }
    return QStringLiteral("interface=usb\nproduct_list=STM32 DFU:0483:df11\nprogramming_address=0x08000000\n"
                          "otp_address=0x1FFF7000\notp_size=512\n");
}

} // namespace

CliBench::CliBench(Backend unitBackend, const QString& extraIni, int imageSize) : backend(unitBackend)
{
    resources = std::make_unique<TempResources>(configFor(backend) +
                                                QStringLiteral("firmware_filename=firmware.bin\n"
                                                               "device_id_list=7, 12\n") +
                                                extraIni);
    image = backend == Backend::Mcuboot ? McubootImageBuilder::imageOfSize(imageSize)
                                        : Stm32ImageBuilder().size(imageSize).build();
    resources->writeFile(QStringLiteral("firmware.bin"), image);
    if (backend == Backend::Usb) {
        resources->copyFrom(DfuSimEnvironment::toolPath(), QStringLiteral("dfu-util-static"));
        dfu.set("DFU_SIM_MODEL_ID", "7");
        dfu.set("DFU_SIM_DOWNLOAD_COPY", dfu.filePath(QStringLiteral("received-{path}.bin")).toLocal8Bit());
    }
}

void CliBench::replaceImage(const QByteArray& bytes)
{
    image = bytes;
    resources->writeFile(QStringLiteral("firmware.bin"), image);
}

UnitSimulator& CliBench::plug(const QStringList& arguments)
{
    QStringList all;
    if (backend == Backend::Uart)
        all << QStringLiteral("--mode") << QStringLiteral("stm32");
    if (!arguments.contains(QStringLiteral("--model-id")))
        all << QStringLiteral("--model-id") << QStringLiteral("7");
    units.push_back(std::make_unique<UnitSimulator>(all + arguments));
    QStringList paths;
    for (const auto& unit : units)
        paths << unit->path();
    process.announce(paths);
    return *units.back();
}

CliResult CliBench::run(const QStringList& arguments, const std::function<void(QProcess&)>& whileRunning) const
{
    return process.run(arguments + QStringList{QStringLiteral("--resources"), resources->path()}, 120000,
                       whileRunning);
}

bool CliBench::unitHoldsImage(std::size_t unitIndex) const
{
    switch (backend) {
    case Backend::Mcuboot:
        return units.at(unitIndex)->image() == image;
    case Backend::Uart:
        return units.at(unitIndex)->image().left(image.size()) == withTrailerFlag(image);
    case Backend::Usb:
        break;
    }
    // The simulated tool lists DFU unit i at USB path "1-<i+1>".
    QFile copy(dfu.filePath(QStringLiteral("received-1-%1.bin").arg(unitIndex + 1)));
    return copy.open(QIODevice::ReadOnly) && copy.readAll() == image;
}
