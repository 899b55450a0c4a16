#include "HistoryOptions.h"

#include "AttemptRecord.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QTimeZone>

namespace {

const QCommandLineOption kSerial(QStringLiteral("serial"), QString(), QStringLiteral("S"));
const QCommandLineOption kImageVersion(QStringLiteral("version"), QString(), QStringLiteral("V"));
const QCommandLineOption kOutcome(QStringLiteral("outcome"), QString(), QStringLiteral("OUTCOME"));
const QCommandLineOption kSince(QStringLiteral("since"), QString(), QStringLiteral("DATE"));
const QCommandLineOption kStation(QStringLiteral("station"), QString(), QStringLiteral("NAME"));
const QCommandLineOption kCsv(QStringLiteral("csv"));

// A day (from its start, UTC) or a moment in ISO 8601 (UTC unless it says otherwise).
QDateTime sinceFrom(const QString& text)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid())
        return QDateTime(day, QTime(0, 0), Qt::UTC);
    QDateTime moment = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (moment.isValid() && moment.timeSpec() == Qt::LocalTime)
        moment.setTimeSpec(Qt::UTC);
    return moment;
}

} // namespace

QList<QCommandLineOption> HistoryOptions::options()
{
    return {kSerial, kImageVersion, kOutcome, kSince, kStation, kCsv};
}

bool HistoryOptions::read(const QCommandLineParser& parser, const QStringList& arguments, HistoryOptions& options,
                          QString& error)
{
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments.first() != QLatin1String("sync"))) {
        error = QStringLiteral("history takes no word but \"sync\"; got \"%1\".").arg(arguments.join(QLatin1Char(' ')));
        return false;
    }
    options.sync = !arguments.isEmpty();
    options.filter.serialNumber = parser.value(kSerial);
    options.filter.imageVersion = parser.value(kImageVersion);
    options.filter.outcome = parser.value(kOutcome);
    options.filter.station = parser.value(kStation);
    if (!options.filter.outcome.isEmpty() && !AttemptRecord::outcomes().contains(options.filter.outcome)) {
        error = QStringLiteral("--outcome is one of %1; got \"%2\".")
                    .arg(AttemptRecord::outcomes().join(QStringLiteral(", ")), options.filter.outcome);
        return false;
    }
    if (parser.isSet(kSince)) {
        options.filter.since = sinceFrom(parser.value(kSince));
        if (!options.filter.since.isValid()) {
            error = QStringLiteral("--since needs a date (2026-03-01) or a time (2026-03-01T08:00:00Z); got \"%1\".")
                        .arg(parser.value(kSince));
            return false;
        }
    }
    const bool json = parser.isSet(QStringLiteral("json"));
    if (json && parser.isSet(kCsv)) {
        error = QStringLiteral("--json and --csv: choose one.");
        return false;
    }
    options.format = json ? Format::Json : parser.isSet(kCsv) ? Format::Csv : Format::Table;
    const bool filtered = !options.filter.serialNumber.isEmpty() || !options.filter.imageVersion.isEmpty() ||
                          !options.filter.outcome.isEmpty() || !options.filter.station.isEmpty() ||
                          options.filter.since.isValid() || options.format != Format::Table;
    if (options.sync && filtered) {
        error = QStringLiteral("history sync sends every row that waits; it takes no filter or format.");
        return false;
    }
    return true;
}
