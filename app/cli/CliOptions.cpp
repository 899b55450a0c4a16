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
const QCommandLineOption kHistory(QStringLiteral("history"), QString(), QStringLiteral("URL"));
const QCommandLineOption kForce(QStringLiteral("force"));
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
    if (name == QLatin1String("check-image"))
        return CliOptions::Command::CheckImage;
    if (name == QLatin1String("history"))
        return CliOptions::Command::History;
    return std::nullopt;
}

// history has a --version V of its own (the image version); everywhere else
// --version prints the program's.
bool namesHistory(const QStringList& arguments)
{
    return arguments.mid(1).contains(QStringLiteral("history"));
}

// --all and the options that only make sense with it.
bool readProductionOptions(const QCommandLineParser& parser, CliOptions& options, QString& error)
{
    options.all = parser.isSet(kAll);
    options.watch = parser.isSet(kWatch);
    options.reportFile = parser.value(kReport);
    options.force = parser.isSet(kForce);
    if (parser.isSet(kCount)) {
        bool ok = false;
        options.count = parser.value(kCount).toInt(&ok);
        if (!ok || options.count < 1) {
            error = QStringLiteral("--count needs a whole number of units, 1 or more; got \"%1\".")
                        .arg(parser.value(kCount));
            return false;
        }
    }
    const bool needsAll = options.watch || parser.isSet(kCount) || !options.reportFile.isEmpty() || options.force;
    if (options.command != CliOptions::Command::Update && (options.all || needsAll)) {
        error = QStringLiteral("--all, --count, --watch, --report and --force belong to the update command.");
        return false;
    }
    if (needsAll && !options.all) {
        error = QStringLiteral("--count, --watch, --report and --force work with --all only.");
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

// "package" comes first and brings its own options (its --version takes a value).
std::optional<CliOptions> parsePackageCommand(const QStringList& arguments, const QString& applicationDir,
                                              QString& error)
{
    bool help = false;
    const std::optional<PackageOptions> package = PackageOptions::parse(arguments, applicationDir, help, error);
    if (!package)
        return std::nullopt;
    CliOptions options;
    options.command = help ? CliOptions::Command::Help : CliOptions::Command::Package;
    options.package = *package;
    options.json = package->json;
    return options;
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
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("package"))
        return parsePackageCommand(arguments.mid(2), applicationDir, error);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kJson, kPort, kWait, kLog, kResources, kConfig, kImage, kAll, kCount, kWatch, kReport,
                       kHistory, kForce, kVerify, kNoVerify, kHelp});
    const bool history = namesHistory(arguments);
    parser.addOptions(history ? HistoryOptions::options() : QList<QCommandLineOption>{kVersion});
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    CliOptions options;
    if (parser.isSet(kHelp))
        return options;
    if (!history && parser.isSet(kVersion)) {
        options.command = Command::Version;
        return options;
    }
    const QStringList positional = parser.positionalArguments();
    const bool known = !positional.isEmpty() && commandNamed(positional.first());
    if (!known || (positional.size() != 1 && commandNamed(positional.first()) != Command::History)) {
        error = positional.isEmpty()
                    ? QStringLiteral("No command given: use list or update, or check-image, history, or package "
                                     "as the first argument.")
                    : QStringLiteral("Unknown command \"%1\": use list or update, or check-image, history, or "
                                     "package as the first argument.")
                                           .arg(positional.join(QLatin1Char(' ')));
        return std::nullopt;
    }
    options.command = *commandNamed(positional.first());
    options.historyUrl = parser.value(kHistory);
    if (options.command == Command::History && !HistoryOptions::read(parser, positional.mid(1), options.history, error))
        return std::nullopt;
    if (options.command == Command::List && !options.historyUrl.isEmpty()) {
        error = QStringLiteral("--history belongs to the update and history commands.");
        return std::nullopt;
    }
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
                       [--force] [--verify | --no-verify] [--json] [--log FILE] [common options]
  fwupdater-cli check-image [--json] [common options]
  fwupdater-cli package keygen --out NAME
  fwupdater-cli package create --image FILE --version V --models LIST --interface NAME
                       [--product TEXT] [--programming-address ADDRESS] [--notes TEXT]
                       --key NAME.key --out FILE.fwpkg [--json]
  fwupdater-cli package verify FILE.fwpkg [--resources DIR] [--json]
  fwupdater-cli history [--serial S] [--version V] [--outcome OUTCOME] [--since DATE]
                        [--station NAME] [--json | --csv] [common options]
  fwupdater-cli history sync [common options]

Writes a firmware image into a Lumavex unit, as the updater window does, without a display.

Commands:
  list     Print the units that count as connected under the configuration:
           port (or DFU path), VID:PID and product name. Asks no unit anything.
  update   Check the image (see check-image), find the unit, check its model
           identifier against device_id_list (not with fw_target_type
           "service"), write the image and start the new firmware. Every
           attempt is recorded in the history.
  check-image
           Run only the image check and print what it found: format, sizes,
           hashes, vector table. mcuboot_serial takes an MCUboot image (header
           magic, sizes, TLV area, SHA-256 TLV); uart and usb take an
           application for programming_address (it ends below the flash end,
           its stack pointer lies in SRAM, its reset handler is odd and inside
           the image). Asks no unit anything.
  package  Signed update packages (NAME.fwpkg): a ZIP archive with
           manifest.json, the image and manifest.sig, the Ed25519 signature of
           the manifest. update takes a package wherever it takes an image.
    keygen   write a new key pair: NAME.key (private, readable by its owner
             only; keep it off the service machines) and NAME.pub (copy it
             into Resources/keys/ of every machine that updates units).
    create   check the image for the interface, then write a package signed
             with the private key.
    verify   read a package and check its signature against the keys in
             DIR/keys and its image against its manifest; print what it holds.
  history  Print the attempts of the history, newest first: a table, or one
           JSON object per row with --json, or CSV with --csv.
           "history sync" sends the attempts that wait in this station's own
           file to the history server now.

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
                    image SHA-256, outcome, reason, seconds, host name, version,
                    verified); a new file gets a header row. The file is opened
                    before any unit is touched (nothing is written when it
                    cannot be), and each row is synced to disk as it is written.
  --force           with --all: also update units that the history has as done
                    with this image (by serial number; otherwise they are skipped).
  --serial S        history: only rows of this serial number.
  --version V       history: only rows of this image version.
  --outcome OUTCOME history: only rows with this outcome (running, done, failed,
                    refused, interrupted).
  --since DATE      history: only rows started on or after DATE (2026-03-01, UTC,
                    or a time such as 2026-03-01T08:00:00Z).
  --station NAME    history: only rows of this station.
  --csv             history: CSV with a header row instead of a table.
  --verify          read the image back from the unit after writing it and
                    report done only when it matches (verify_after_write=true
                    for this run).
  --no-verify       do not read the image back (verify_after_write=false for
                    this run).
  --json            print one JSON object per line on standard output and nothing
                    else there (events "found", "model", "progress", "done"; found and done
                    carry the package's "version", empty for a plain image;
                    check-image: one "image" event; history: one object per row).
  --log FILE        write the session log to FILE instead of the application-data
                    folder's logs/ (list accepts it too).
  --resources DIR   the Resources folder (default: Resources beside the executable).
  --config FILE     the configuration (default: DIR/config.ini).
  --image FILE      the firmware image or signed package (.fwpkg), in place of
                    firmware_filename. A package is refused before any unit is
                    touched when its signature, its image, its interface or its
                    programming address does not fit; units must have a model
                    in both device_id_list and the package's models. With
                    require_signed_package=true in the configuration a plain
                    image is refused.
  --history URL     the history, in place of config.ini's history=: off,
                    sqlite:PATH or postgresql://USER@HOST:PORT/DB (libpq's URI
                    form, also postgresql://USER@/DB?host=/run/postgresql).
                    Default: history.sqlite in the application-data folder.
  --help            print this text and exit.

Options of package:
  --out NAME | FILE.fwpkg   keygen: the key files' name without .key/.pub;
                    create: the package to write (an existing one is replaced).
  --image FILE      create: the firmware image to put into the package.
  --version V       create: the firmware's version, as text (for example 1.4.2).
  --models LIST     create: the model identifiers the package is for, 0 to 255
                    separated by commas (5,7); update writes only units whose
                    model is both here and in device_id_list.
  --interface NAME  create: mcuboot_serial, uart or usb; update refuses a package
                    made for another interface than the configured one.
  --product TEXT    create: the product's name for people and the log (default
                    empty).
  --programming-address ADDRESS
                    create (uart, usb): the flash address the image was built
                    for (0x08000000); update refuses the package when the
                    configured programming_address differs.
  --notes TEXT      create: release notes kept in the manifest.
  --key NAME.key    create: the private key to sign with.
  --resources DIR   verify: the Resources folder whose keys/*.pub are trusted.
  --json            create, verify: print one JSON object (event "package").
  --version         print the version and exit.

The image check is on unless config.ini says image_check=false; then update
writes the image unchecked and says so once at start-up.

Progress goes to standard output: on a terminal one line that rewrites itself,
otherwise one line per 10 %. Messages for a person go to standard error.

Exit codes:
  0  done (list: the listing was printed, also when it is empty; --all:
     every unit done or skipped; check-image: the image passes the checks;
     history: the rows were printed, also none)
  1  the update failed (or the unit did not answer); history: the history
     cannot be read, or (sync) its server does not answer
  2  usage, configuration or image error (missing or unreadable config or
     image, empty image, an image the image check refuses, unknown option; a
     refused package; a history value that cannot be used, or with
     history_required=true a history that cannot be reached; --all: a report
     that cannot be written); check-image: the image check refuses the image;
     package verify: the package is not valid
  3  no unit found (after --wait; --all: also a DFU unit that Ctrl-C kept
     from its turn)
  4  model identifier refused (not in device_id_list, or not among the
     package's models)
  5  more than one unit and no --port (--all: DFU units that the listing
     gives no distinct USB paths)
With --all the code is the worst outcome of the run, worst first: 1 (a unit
may be half written), 2, 5, 4, 3; it is 0 only when every unit is done or
skipped and, with --report, has its row.
)");
}
