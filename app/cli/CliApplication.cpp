#include "CliApplication.h"

#include "AllUnitsRun.h"
#include "CliConfig.h"
#include "CliOptions.h"
#include "Console.h"
#include "DispatcherLogTap.h"
#include "ExitCode.h"
#include "ImageInfo.h"
#include "ListCommand.h"
#include "SessionLog.h"
#include "SessionRecorder.h"
#include "UnitFinder.h"
#include "UpdateRun.h"
#include "UpdateSession.h"
#include "UpdaterFactory.h"

#include <QCoreApplication>
#include <QDateTime>
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

UnitFinder finderFor(const CliConfig& config, const CliOptions& options)
{
    UnitFinder finder(config.startup.interfaceType, config.dfuUtilPath, config.products);
    finder.restrictToPort(options.port);
    return finder;
}

std::atomic<bool> interruptRequested{false};

// The first Ctrl-C asks for a stop after the running updates; the next one
// gets the default action again.
extern "C" void onInterrupt(int)
{
    interruptRequested = true;
    std::signal(SIGINT, SIG_DFL);
}

int runAllUnits(const Console& console, const CliOptions& options, const CliConfig& config, SessionLog& log,
                const FirmwareImage& image)
{
    SessionRecorder::recordStart(log, QStringLiteral("fwupdater-cli update --all"), config.configPath,
                                 config.startup, ImageInfo::of(image));
    AllUnitsRun::Settings settings{options.waitSeconds, options.count,       options.watch,
                                   options.reportFile,  image,
                                   log.isWritable() ? log.path() : QString()};
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

int runUpdate(const Console& console, const CliOptions& options, const CliConfig& config, SessionLog& log)
{
    QString error;
    const std::optional<FirmwareImage> image = CliConfig::loadImage(config.startup.firmwarePath, error);
    if (!image)
        return inputError(console, error);
    if (options.all)
        return runAllUnits(console, options, config, log, *image);
    UpdateSession session(config.startup.interfaceType, config.dfuUtilPath,
                          createUpdater(config.startup, config.dfuUtilPath).release());
    session.setReadsIdentity(true);
    session.setImage(*image);
    SessionRecorder recorder(log, session);
    SessionRecorder::recordStart(log, QStringLiteral("fwupdater-cli update"), config.configPath, config.startup,
                                 ImageInfo::of(*image));
    UpdateRun::Settings settings{options.waitSeconds, options.port,
                                 config.startup.fwTargetType == QLatin1String("service"), image->bytes.size(),
                                 log.isWritable() ? log.path() : QString(), {}};
    UpdateRun run(console, session, settings);
    QObject::connect(&run, &UpdateRun::Finished, QCoreApplication::instance(), &QCoreApplication::exit);
    run.start(finderFor(config, options), config.deviceIds);
    return QCoreApplication::exec();
}

int runCommand(const Console& console, const CliOptions& options, SessionLog& log)
{
    QString error;
    const std::optional<CliConfig> config = CliConfig::load(options, error);
    if (!config)
        return inputError(console, error);
    if (options.command == CliOptions::Command::List) {
        log.info(QStringLiteral("fwupdater-cli list, configuration %1").arg(config->configPath));
        return static_cast<int>(runListCommand(console, finderFor(*config, options)));
    }
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
    SessionLog log(logPathFor(*options), false);
    if (options->logFile.isEmpty())
        SessionLog::prune(SessionLog::defaultFolder());
    DispatcherLogTap dispatcherLog(log);
    return runCommand(console, *options, log);
}
