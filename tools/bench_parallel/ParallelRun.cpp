#include "ParallelRun.h"

#include "BenchFiles.h"
#include "BenchSimulator.h"
#include "CliChild.h"
#include "UnitOutcomes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUuid>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr const char* kUsbIds = "1209:4c55";

QByteArray configText(int modelId, int baudRate)
{
    return QByteArray("interface=mcuboot_serial\n"
                      "firmware_filename=firmware.bin\n"
                      "product_list=Unit:") +
           kUsbIds + "\ndevice_id_list=" + QByteArray::number(modelId) +
           "\nmcuboot_baud=" + QByteArray::number(baudRate) + "\n";
}

using Simulators = std::vector<std::unique_ptr<BenchSimulator>>;

bool startUnits(const QString& program, const QDir& folder, int units, Simulators& simulators, QString& error)
{
    for (int index = 1; index <= units; ++index) {
        const QString unitFolder = folder.filePath(QString("unit-%1").arg(index));
        if (!QDir().mkpath(unitFolder)) {
            error = "cannot make " + unitFolder;
            return false;
        }
        // A serial number new to any history, so no unit is skipped as done.
        const QString serial = QString("BENCH-%1-%2").arg(QUuid::createUuid().toString(QUuid::Id128).left(12)).arg(index);
        simulators.push_back(std::make_unique<BenchSimulator>(
            program, unitFolder, ParallelRun::kBaudRate,
            QStringList{"--model-id", QString::number(ParallelRun::kModelId), "--serial-number", serial}));
        if (!simulators.back()->start(error))
            return false;
    }
    return true;
}

QString virtualPorts(const Simulators& simulators)
{
    QStringList entries;
    for (const auto& simulator : simulators)
        entries << simulator->linkPath() + '=' + kUsbIds;
    return entries.join(';');
}

// Every unit said done and took the whole image; fills the per-unit figures.
bool checkUnits(const Simulators& simulators, const UnitOutcomes& outcomes, const QByteArray& image,
                RunFigures& figures, QString& error)
{
    double total = 0;
    for (const auto& simulator : simulators) {
        const QString port = simulator->linkPath();
        const auto found = outcomes.byPort().find(port);
        if (found == outcomes.byPort().end()) {
            error = "no \"done\" event for " + port;
            return false;
        }
        if (!found->ok) {
            error = port + " failed: " + found->reason;
            return false;
        }
        const QByteArray complete = "image-complete " + QByteArray::number(image.size());
        if (!simulator->waitForEvent(complete, ParallelRun::kImageCompleteWaitMs) ||
            bench_files::read(simulator->imagePath()) != image) {
            error = port + " did not receive the image intact";
            return false;
        }
        figures.simulatorCpuSeconds += simulator->cpuSeconds();
        total += found->seconds;
        figures.maxUnitSeconds = std::max(figures.maxUnitSeconds, found->seconds);
    }
    figures.meanUnitSeconds = total / double(simulators.size());
    return true;
}

} // namespace

ParallelRun::ParallelRun(const ParallelOptions& options, const QByteArray& image) : options(options), image(image) {}

QStringList ParallelRun::cliArguments(const QString& resources, const QString& log) const
{
    QStringList arguments{"update"};
    if (options.all)
        arguments << "--all";
    arguments << "--json" << "--resources" << resources << "--log" << log;
    if (!options.history.isEmpty())
        arguments << "--history" << options.history;
    return arguments;
}

std::optional<RunFigures> ParallelRun::run(int units, QString& error) const
{
    QTemporaryDir temporary;
    const QDir folder(temporary.path());
    const QString resources = folder.filePath("Resources");
    if (!temporary.isValid() || !QDir().mkpath(resources) ||
        !bench_files::write(resources + "/config.ini", configText(kModelId, kBaudRate)) ||
        !bench_files::write(resources + "/firmware.bin", image)) {
        error = "cannot write the Resources folder";
        return std::nullopt;
    }
    const auto failed = [&](const QString& why) {
        temporary.setAutoRemove(false);
        error = why + " (kept: " + folder.path() + ")";
        return std::nullopt;
    };

    Simulators simulators;
    QString why;
    if (!startUnits(QDir(options.binFolder).filePath("lumavex-unit-sim"), folder, units, simulators, why))
        return failed(why);

    CliChild cli(QDir(options.binFolder).filePath("fwupdater-cli"),
                 cliArguments(resources, folder.filePath("session.log")));
    cli.setEnvironment({"FWUPDATER_VIRTUAL_PORTS=" + virtualPorts(simulators),
                        "XDG_DATA_HOME=" + folder.filePath("data")});
    cli.setOutputFiles(folder.filePath("cli.out"), folder.filePath("cli.err"));
    const auto measured = cli.run(kCliTimeoutSeconds, why);
    if (!measured)
        return failed(why);
    if (measured->exitCode != 0) {
        const QString said = QString::fromLocal8Bit(bench_files::read(folder.filePath("cli.err"))).trimmed();
        return failed(QString("fwupdater-cli exited with %1: %2").arg(measured->exitCode).arg(said.section('\n', 0, 0)));
    }

    RunFigures figures;
    figures.units = units;
    figures.wallSeconds = measured->wallSeconds;
    figures.cpuSeconds = measured->cpuSeconds;
    const UnitOutcomes outcomes = UnitOutcomes::fromJsonLines(bench_files::read(folder.filePath("cli.out")));
    if (!checkUnits(simulators, outcomes, image, figures, why))
        return failed(why);
    return figures;
}
