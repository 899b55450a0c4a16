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

} // namespace

std::optional<CliOptions> CliOptions::parse(const QStringList& arguments, const QString& applicationDir,
                                            QString& error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kJson, kPort, kWait, kLog, kResources, kConfig, kImage, kHelp, kVersion});
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
    return options;
}

QString CliOptions::helpText()
{
    return QStringLiteral(R"(Usage:
  fwupdater-cli list   [--json] [common options]
  fwupdater-cli update [--port PATH] [--wait SECONDS] [--json] [--log FILE] [common options]

Writes a firmware image into a Lumavex unit, as the updater window does, without a display.

Commands:
  list     Print the units that count as connected under the configuration:
           port (or DFU path), VID:PID and product name. Asks no unit anything.
  update   Find the unit, check its model identifier against device_id_list
           (not with fw_target_type "service"), write the image and start the
           new firmware.

Options:
  --port PATH       update only the unit on this port. Without it exactly one
                    unit must be connected.
  --wait SECONDS    keep looking for a unit for up to SECONDS (default 0: look once).
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
  0  done (list: the listing was printed, also when it is empty)
  1  the update failed (or the unit did not answer)
  2  usage, configuration or image error (missing or unreadable config or
     image, empty image, unknown option)
  3  no unit found (after --wait)
  4  model identifier refused
  5  more than one unit and no --port
)");
}
