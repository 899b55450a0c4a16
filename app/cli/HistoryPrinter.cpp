#include "HistoryPrinter.h"

#include "Console.h"
#include "ProductionReport.h"

#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>

namespace {

const QStringList kFields{QStringLiteral("started_utc"),   QStringLiteral("ended_utc"),
                          QStringLiteral("station"),       QStringLiteral("front_end"),
                          QStringLiteral("port"),          QStringLiteral("vid_pid"),
                          QStringLiteral("serial_number"), QStringLiteral("model_id"),
                          QStringLiteral("interface"),     QStringLiteral("image_name"),
                          QStringLiteral("image_sha256"),  QStringLiteral("image_version"),
                          QStringLiteral("outcome"),       QStringLiteral("reason"),
                          QStringLiteral("seconds"),       QStringLiteral("verified")};

QJsonValue textOrNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QString shortTime(const QDateTime& time)
{
    return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

QString verifiedText(const std::optional<bool>& verified)
{
    return verified ? (*verified ? QStringLiteral("true") : QStringLiteral("false")) : QString();
}

} // namespace

QJsonObject HistoryPrinter::json(const AttemptRecord& row)
{
    return QJsonObject{
        {QStringLiteral("started_utc"), AttemptRecord::timeText(row.startedUtc)},
        {QStringLiteral("ended_utc"), textOrNull(AttemptRecord::timeText(row.endedUtc))},
        {QStringLiteral("station"), row.station},
        {QStringLiteral("front_end"), row.frontEnd},
        {QStringLiteral("port"), row.port},
        {QStringLiteral("vid_pid"), row.vidPid},
        {QStringLiteral("serial_number"), row.serialNumber},
        {QStringLiteral("model_id"), row.modelId ? QJsonValue(*row.modelId) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("interface"), row.interfaceName},
        {QStringLiteral("image_name"), row.imageName},
        {QStringLiteral("image_sha256"), row.imageSha256},
        {QStringLiteral("image_version"), row.imageVersion},
        {QStringLiteral("outcome"), row.outcome},
        {QStringLiteral("reason"), row.reason},
        {QStringLiteral("seconds"), qRound(row.seconds * 10) / 10.0},
        {QStringLiteral("verified"), row.verified ? QJsonValue(*row.verified) : QJsonValue(QJsonValue::Null)}};
}

QString HistoryPrinter::csvHeader()
{
    return kFields.join(QLatin1Char(','));
}

QString HistoryPrinter::csvRow(const AttemptRecord& row)
{
    QStringList values{AttemptRecord::timeText(row.startedUtc),
                       AttemptRecord::timeText(row.endedUtc),
                       row.station,
                       row.frontEnd,
                       row.port,
                       row.vidPid,
                       row.serialNumber,
                       row.modelId ? QString::number(*row.modelId) : QString(),
                       row.interfaceName,
                       row.imageName,
                       row.imageSha256,
                       row.imageVersion,
                       row.outcome,
                       row.reason,
                       QString::number(row.seconds, 'f', 1),
                       verifiedText(row.verified)};
    for (QString& value : values)
        value = ProductionReport::field(value);
    return values.join(QLatin1Char(','));
}

// The columns a person looks at first; --json and --csv have them all.
QStringList HistoryPrinter::table(const QList<AttemptRecord>& rows)
{
    QList<QStringList> cells{{QStringLiteral("started (UTC)"), QStringLiteral("station"), QStringLiteral("front end"),
                              QStringLiteral("port"), QStringLiteral("serial number"), QStringLiteral("image"),
                              QStringLiteral("version"), QStringLiteral("outcome"), QStringLiteral("seconds"),
                              QStringLiteral("reason")}};
    for (const AttemptRecord& row : rows) {
        cells << QStringList{shortTime(row.startedUtc), row.station, row.frontEnd, row.port, row.serialNumber,
                             row.imageName, row.imageVersion, row.outcome, QString::number(row.seconds, 'f', 1),
                             row.reason};
    }
    QList<qsizetype> widths(cells.first().size(), 0);
    for (const QStringList& line : std::as_const(cells)) {
        for (qsizetype column = 0; column < line.size(); ++column)
            widths[column] = std::max(widths[column], line[column].size());
    }
    QStringList lines;
    for (const QStringList& line : std::as_const(cells)) {
        QStringList padded;
        for (qsizetype column = 0; column < line.size(); ++column)
            padded << (column + 1 == line.size() ? line[column] : line[column].leftJustified(widths[column]));
        lines << padded.join(QStringLiteral("  ")).trimmed();
    }
    return lines;
}

void HistoryPrinter::print(const Console& console, HistoryOptions::Format format, const QList<AttemptRecord>& rows)
{
    switch (format) {
    case HistoryOptions::Format::Json:
        for (const AttemptRecord& row : rows)
            console.event(json(row));
        return;
    case HistoryOptions::Format::Csv:
        console.raw(csvHeader() + QStringLiteral("\r\n"));
        for (const AttemptRecord& row : rows)
            console.raw(csvRow(row) + QStringLiteral("\r\n"));
        return;
    case HistoryOptions::Format::Table:
        break;
    }
    for (const QString& line : table(rows))
        console.line(line);
}
