#include "CliApplication.h"

#include "AllUnitsRun.h"
#include "CheckImageCommand.h"
#include "CliConfig.h"
#include "CliOptions.h"
#include "Console.h"
#include "DispatcherLogTap.h"
#include "ExitCode.h"
#include "ImageCheck.h"
#include "ImageForRun.h"
#include "HistoryCommand.h"
#include "HistoryRecorder.h"
#include "ImageInfo.h"
#include "ListCommand.h"
#include "PackageCommands.h"
#include "SessionLog.h"
#include "SessionRecorder.h"
#include "ToolProcessGroup.h"
#include "UnitFinder.h"
#include "UpdateRun.h"
#include "UpdateSession.h"
#include "UpdaterFactory.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QJsonObject>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

int inputError(const Console& console, const QString& text)
{
    console.event(QJsonObject{{QStringLiteral("event"), QStringLiteral("done")},
                              {QStringLiteral("port"), QString()},
                              {QStringLiteral("ok"), false},
                              {QStringLiteral("reason"), text},
                              {QStringLiteral("exit"), static_cast<int>(ExitCode::UsageOrInput)},
                              {QStringLiteral("verified"), QJsonValue()}});
    console.tell(text);
    return static_cast<int>(ExitCode::UsageOrInput);
}

UnitFinder finderFor(const UpdaterConfig& config, const CliOptions& options)
{
    UnitFinder finder(config.startup.interfaceType, config.dfuUtilPath, config.products);
    finder.restrictToPort(options.port);
    return finder;
}

std::atomic<bool> interruptRequested{false};

// dfu-util-static runs in a process group of its own and so does not see the
// terminal's Ctrl-C: stopping at once means ending it too, then ourselves.
extern "C" void onStopAtOnce(int signal)
{
    stm32_updater::ToolProcessGroup::interruptAll();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// With --all the first Ctrl-C asks for a stop after the running updates; the
// next one stops at once.
extern "C" void onInterrupt(int)
{
    interruptRequested = true;
    std::signal(SIGINT, onStopAtOnce);
}

// The history every attempt goes to; empty (after saying why) when the run must not start.
std::unique_ptr<HistoryService> startHistory(const Console& console, const CliOptions& options,
                                             const UpdaterConfig& config, QString& error)
{
    const std::optional<HistoryLocation> location = config.history.resolve(options.historyUrl, error);
    if (!location) {
        error = QStringLiteral("The history cannot be used: %1. Check history= in the configuration, or --history.")
                    .arg(error);
        return nullptr;
    }
    qInfo().noquote() << "history:" << location->describe() << "station" << HistorySettings::stationName();
    return config.history.startService(*location, [&console](const QString& text) {
        qWarning().noquote() << text;
        console.tell(text);
    }, error);
}

HistoryRecorder::Settings historySettings(const UpdaterConfig& config, const ImageForRun& image)
{
    return {QStringLiteral("cli"), SessionRecorder::interfaceName(config.startup.interfaceType),
            image.admitted.version()};
}

void recordStart(SessionLog& log, const QString& frontEnd, const UpdaterConfig& config, const ImageForRun& image)
{
    SessionRecorder::recordStart(log, frontEnd, config.configPath, config.startup, ImageInfo::of(image.image));
    if (image.admitted.package)
        log.info(image.admitted.packageText());
}

int runAllUnits(const Console& console, const CliOptions& options, const UpdaterConfig& config, SessionLog& log,
                const ImageForRun& image, HistoryService* history)
{
    recordStart(log, QStringLiteral("fwupdater-cli update --all"), config, image);
    AllUnitsRun::Settings settings;
    settings.run.waitSeconds = options.waitSeconds;
    settings.run.count = options.count;
    settings.run.watch = options.watch;
    settings.run.reportPath = options.reportFile;
    settings.run.image = image.image;
    settings.run.imageVersion = image.admitted.version();
    settings.run.frontEnd = QStringLiteral("cli");
    settings.run.history = history->isOff() ? nullptr : history;
    settings.run.force = options.force;
    // No unit may start once Ctrl-C was pressed, even before the next look.
    settings.run.interruptCheck = [] { return interruptRequested.load(); };
    settings.logPath = log.isWritable() ? log.path() : QString();
    AllUnitsRun run(console, config, log, settings);
    QObject::connect(&run, &AllUnitsRun::Finished, QCoreApplication::instance(), &QCoreApplication::exit);
    std::signal(SIGINT, onInterrupt);
    QTimer interruptCheck;
    QObject::connect(&interruptCheck, &QTimer::timeout, &run, [&run] {
        if (interruptRequested)
            run.interrupt();
    });
    interruptCheck.start(100);
    run.start();
    return QCoreApplication::exec();
}

// Before any unit is looked for: a refused image ends the run here.
QString checkImage(const Console& console, const StartupConfig& config, const FirmwareImage& image, SessionLog& log)
{
    if (!config.imageCheck) {
        console.tell(QStringLiteral("image_check is false in the configuration: the image is written without the "
                                    "image checks."));
        return {};
    }
    const QString problem = ImageCheck(config).problem(image);
    if (problem.isEmpty())
        return {};
    log.info(QStringLiteral("image refused: %1").arg(problem));
    return problem + QStringLiteral(". Nothing was written. Give the right image with --image, or set "
                                    "image_check=false for an image that breaks these rules on purpose.");
}

int runCheckImage(const Console& console, const UpdaterConfig& config, SessionLog& log)
{
    // A package is opened and verified first: what is checked is the image it carries.
    QString error;
    const std::optional<ImageForRun> image = ImageForRun::prepare(config, error);
    if (!image)
        return inputError(console, error);
    log.info(QStringLiteral("fwupdater-cli check-image, configuration %1, image %2")
                 .arg(config.configPath, ImageInfo::of(image->image).describe()));
    return static_cast<int>(runCheckImageCommand(console, config.startup, image->image));
}

int runUpdate(const Console& console, const CliOptions& options, const UpdaterConfig& loaded, SessionLog& log)
{
    QString error;
    const std::optional<ImageForRun> image = ImageForRun::prepare(loaded, error);
    if (!image)
        return inputError(console, error);
    if (const QString refusal = checkImage(console, loaded.startup, image->image, log); !refusal.isEmpty())
        return inputError(console, refusal);
    UpdaterConfig config = loaded;
    config.deviceIds = image->deviceIds;
    const std::unique_ptr<HistoryService> history = startHistory(console, options, config, error);
    if (!history)
        return inputError(console, error);
    if (options.all)
        return runAllUnits(console, options, config, log, *image, history.get());
    UpdateSession session(config.startup.interfaceType, config.dfuUtilPath,
                          createUpdater(config.startup, config.dfuUtilPath).release());
    session.setReadsIdentity(true);
    session.setImage(image->image);
    session.setImageCheck(ImageCheck::forSession(config.startup));
    SessionRecorder recorder(log, session);
    HistoryRecorder historyRecorder(*history, session, historySettings(config, *image));
    recordStart(log, QStringLiteral("fwupdater-cli update"), config, *image);
    UpdateRun::Settings settings{options.waitSeconds,
                                 options.port,
                                 config.isServiceImage(),
                                 image->image.bytes.size(),
                                 image->admitted.version(),
                                 log.isWritable() ? log.path() : QString(),
                                 {}};
    UpdateRun run(console, session, settings);
    QObject::connect(&run, &UpdateRun::Finished, QCoreApplication::instance(), &QCoreApplication::exit);
    run.start(finderFor(config, options), config.deviceIds);
    return QCoreApplication::exec();
}

int runCommand(const Console& console, const CliOptions& options, SessionLog& log)
{
    if (options.command == CliOptions::Command::History)
        return static_cast<int>(runHistoryCommand(console, options));
    QString error;
    const std::optional<UpdaterConfig> config = CliConfig::load(options, error);
    if (!config)
        return inputError(console, error);
    if (options.command == CliOptions::Command::List) {
        log.info(QStringLiteral("fwupdater-cli list, configuration %1").arg(config->configPath));
        return static_cast<int>(runListCommand(console, finderFor(*config, options)));
    }
    if (options.command == CliOptions::Command::CheckImage)
        return runCheckImage(console, *config, log);
    return runUpdate(console, options, *config, log);
}

QString logPathFor(const CliOptions& options)
{
    if (!options.logFile.isEmpty())
        return options.logFile;
    return SessionLog::defaultFolder() + QLatin1Char('/') +
           SessionLog::fileNameFor(QDateTime::currentDateTime(), QStringLiteral("cli"));
}

} // namespace

int runCliApplication(int argc, char* argv[])
{
#ifndef _WIN32
    // A reader that goes away (| head) must not kill the program mid-flash:
    // writes to it just fail.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // A plain update stops at once on Ctrl-C, the tool with it, as before
    // the tool had a process group of its own.
    std::signal(SIGINT, onStopAtOnce);
    QCoreApplication application(argc, argv);
    // The window's name, so both front ends keep their logs in one folder.
    QCoreApplication::setApplicationName(QStringLiteral("fwupdater"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FWU_VERSION));
    QString error;
    const std::optional<CliOptions> options =
        CliOptions::parse(QCoreApplication::arguments(), QCoreApplication::applicationDirPath(), error);
    if (!options) {
        std::fprintf(stderr, "%s\nRun fwupdater-cli --help for the commands and options.\n", qPrintable(error));
        return static_cast<int>(ExitCode::UsageOrInput);
    }
    if (options->command == CliOptions::Command::Help) {
        std::fputs(qPrintable(CliOptions::helpText()), stdout);
        return 0;
    }
    if (options->command == CliOptions::Command::Version) {
        std::printf("fwupdater-cli %s\n", FWU_VERSION);
        return 0;
    }
    const Console console(options->json);
    if (options->command == CliOptions::Command::Package)
        return static_cast<int>(runPackageCommand(console, options->package));
    SessionLog log(logPathFor(*options), false);
    if (options->logFile.isEmpty())
        SessionLog::prune(SessionLog::defaultFolder(), log.path());
    DispatcherLogTap dispatcherLog(log);
    return runCommand(console, *options, log);
}
