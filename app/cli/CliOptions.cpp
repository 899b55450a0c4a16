#include "CliOptions.h"

#include <QCommandLineParser>
#include <QDir>

namespace {

const QCommandLineOption kJson(QStringLiteral("json"));
const QCommandLineOption kPort(QStringLiteral("port"), QString(), QStringLiteral("PATH"));
const QCommandLineOption kWait(QStringLiteral("wait"), QString(), QStringLiteral("SECONDS"));
const QCommandLineOption kLog(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kResources(QStringLiteral("resources"), QString(), QStringLiteral("DIR"));
const QCommandLineOption kConfig(QStringLiteral("config"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kImage(QStringLiteral("image"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kAll(QStringLiteral("all"));
const QCommandLineOption kCount(QStringLiteral("count"), QString(), QStringLiteral("N"));
const QCommandLineOption kWatch(QStringLiteral("watch"));
const QCommandLineOption kReport(QStringLiteral("report"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kVerify(QStringLiteral("verify"));
const QCommandLineOption kNoVerify(QStringLiteral("no-verify"));
const QCommandLineOption kHelp(QStringList{QStringLiteral("help"), QStringLiteral("h")});
const QCommandLineOption kVersion(QStringLiteral("version"));

std::optional<CliOptions::Command> commandNamed(const QString& name)
{
    if (name == QLatin1String("list"))
        return CliOptions::Command::List;
    if (name == QLatin1String("update"))
        return CliOptions::Command::Update;
    return std::nullopt;
}

// --all and the options that only make sense with it.
bool readProductionOptions(const QCommandLineParser& parser, CliOptions& options, QString& error)
{
    options.all = parser.isSet(kAll);
    options.watch = parser.isSet(kWatch);
    options.reportFile = parser.value(kReport);
    if (parser.isSet(kCount)) {
        bool ok = false;
        options.count = parser.value(kCount).toInt(&ok);
        if (!ok || options.count < 1) {
            error = QStringLiteral("--count needs a whole number of units, 1 or more; got \"%1\".")
                        .arg(parser.value(kCount));
            return false;
        }
    }
    const bool needsAll = options.watch || parser.isSet(kCount) || !options.reportFile.isEmpty();
    if (options.command != CliOptions::Command::Update && (options.all || needsAll)) {
        error = QStringLiteral("--all, --count, --watch and --report belong to the update command.");
        return false;
    }
    if (needsAll && !options.all) {
        error = QStringLiteral("--count, --watch and --report work with --all only.");
        return false;
    }
    if (options.all && !options.port.isEmpty()) {
        error = QStringLiteral("--all updates every unit; leave out --port, or leave out --all.");
        return false;
    }
    if (options.watch && options.count > 0) {
        error = QStringLiteral("--watch updates each unit as it comes; leave out --count.");
        return false;
    }
    return true;
}

bool readVerifyOption(const QCommandLineParser& parser, CliOptions& options, QString& error)
{
    if (!parser.isSet(kVerify) && !parser.isSet(kNoVerify))
        return true;
    if (parser.isSet(kVerify) && parser.isSet(kNoVerify)) {
        error = QStringLiteral("--verify and --no-verify contradict each other; give one of them.");
        return false;
    }
    if (options.command != CliOptions::Command::Update) {
        error = QStringLiteral("--verify and --no-verify belong to the update command.");
        return false;
    }
    options.verify = parser.isSet(kVerify);
    return true;
}

} // namespace

std::optional<CliOptions> CliOptions::parse(const QStringList& arguments, const QString& applicationDir,
                                            QString& error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(
        {kJson, kPort, kWait, kLog, kResources, kConfig, kImage, kAll, kCount, kWatch, kReport, kVerify, kNoVerify,
         kHelp, kVersion});
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    CliOptions options;
    if (parser.isSet(kHelp))
        return options;
    if (parser.isSet(kVersion)) {
        options.command = Command::Version;
        return options;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1 || !commandNamed(positional.first())) {
        error = positional.isEmpty() ? QStringLiteral("No command given: use list or update.")
                                     : QStringLiteral("Unknown command \"%1\": use list or update.")
                                           .arg(positional.join(QLatin1Char(' ')));
        return std::nullopt;
    }
    options.command = *commandNamed(positional.first());
    options.json = parser.isSet(kJson);
    options.port = parser.value(kPort);
    options.logFile = parser.value(kLog);
    if (parser.isSet(kWait)) {
        bool ok = false;
        options.waitSeconds = parser.value(kWait).toInt(&ok);
        if (!ok || options.waitSeconds < 0) {
            error = QStringLiteral("--wait needs a whole number of seconds, 0 or more; got \"%1\".")
                        .arg(parser.value(kWait));
            return std::nullopt;
        }
    }
    options.resourcesDir = parser.isSet(kResources) ? parser.value(kResources)
                                                    : applicationDir + QStringLiteral("/Resources");
    options.configFile = parser.isSet(kConfig) ? parser.value(kConfig)
                                               : QDir(options.resourcesDir).filePath(QStringLiteral("config.ini"));
    options.imageFile = parser.value(kImage);
    if (!readProductionOptions(parser, options, error) || !readVerifyOption(parser, options, error))
        return std::nullopt;
    return options;
}

QString CliOptions::helpText()
{
    return QStringLiteral(R"(Usage:
  fwupdater-cli list   [--json] [common options]
  fwupdater-cli update [--port PATH] [--wait SECONDS] [--verify | --no-verify] [--json]
                       [--log FILE] [common options]
  fwupdater-cli update --all [--wait SECONDS] [--count N | --watch] [--report FILE.csv]
                       [--verify | --no-verify] [--json] [--log FILE] [common options]

Writes a firmware image into a Lumavex unit, as the updater window does, without a display.

Commands:
  list     Print the units that count as connected under the configuration:
           port (or DFU path), VID:PID and product name. Asks no unit anything.
  update   Find the unit, check its model identifier against device_id_list
           (not with fw_target_type "service"), write the image and start the
           new firmware.

Options:
  --port PATH       update only the unit on this port (usb: the DFU unit at this
                    USB path, as list shows it). Without it exactly one unit
                    must be connected.
  --wait SECONDS    keep looking for a unit for up to SECONDS (default 0: look once).
  --all             update every connected unit at the same time, each with a
                    back-end of its own; a unit that fails or is refused never
                    stops the others. Ends with a table of units, outcomes and
                    seconds. With usb the DFU units go one after another, each
                    named to dfu-util-static by its USB path.
  --count N         with --all: wait (see --wait) until N units are present, then
                    start them together; fewer after the wait: nothing is written.
  --watch           with --all: keep running and update each unit that appears,
                    once (a unit is known by its port, and by its serial number
                    where the back-end reads one). Ctrl-C lets running updates
                    finish, then stops; a second Ctrl-C stops at once.
  --report FILE     with --all: append one CSV row per unit and attempt (UTC time,
                    port, VID:PID, serial number, model identifier, image name,
                    image SHA-256, outcome, reason, seconds, host name, verified);
                    a new file gets a header row.
  --verify          read the image back from the unit after writing it and
                    report done only when it matches (verify_after_write=true
                    for this run).
  --no-verify       do not read the image back (verify_after_write=false for
                    this run).
  --json            print one JSON object per line on standard output and nothing
                    else there (events "found", "model", "progress", "done").
  --log FILE        write the session log to FILE instead of the application-data
                    folder's logs/ (list accepts it too).
  --resources DIR   the Resources folder (default: Resources beside the executable).
  --config FILE     the configuration (default: DIR/config.ini).
  --image FILE      the firmware image, in place of firmware_filename.
  --help            print this text and exit.
  --version         print the version and exit.

Progress goes to standard output: on a terminal one line that rewrites itself,
otherwise one line per 10 %. Messages for a person go to standard error.

Exit codes:
  0  done (list: the listing was printed, also when it is empty; --all:
     every unit done)
  1  the update failed (or the unit did not answer)
  2  usage, configuration or image error (missing or unreadable config or
     image, empty image, unknown option)
  3  no unit found (after --wait; --all: also a DFU unit that Ctrl-C kept
     from its turn)
  4  model identifier refused
  5  more than one unit and no --port (--all: DFU units that the listing
     gives no distinct USB paths)
With --all the code is the worst outcome among the units: 1, then 4, then 3.
)");
}
