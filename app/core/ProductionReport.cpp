#include "ProductionReport.h"

#include "FileSync.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

ProductionReport::ProductionReport(const QString& reportPath, const QString& imageName, const QString& imageSha256,
                                   const QString& imageVersion)
    : report_path(reportPath),
      image_name(imageName),
      image_sha256(imageSha256),
      image_version(imageVersion),
      host_name(QSysInfo::machineHostName())
{
}

QString ProductionReport::headerRow()
{
    return QStringLiteral("utc_time,port,vid_pid,serial_number,model_id,image_name,image_sha256,outcome,reason,"
                          "seconds,host_name,version,verified");
}

QString ProductionReport::field(const QString& text)
{
    QString value = text;
    // A serial number or port name that starts like a formula comes from the
    // unit or the system, not from the person: a spreadsheet must not run it.
    if (!value.isEmpty() && QStringLiteral("=+-@\t\r").contains(value.front()))
        value.prepend(QLatin1Char('\''));
    if (!value.contains(QRegularExpression(QStringLiteral("[\",\r\n]"))))
        return value;
    value.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

bool ProductionReport::open(QString& error)
{
    const QFileInfo existing(report_path);
    const bool fresh = !existing.exists() || existing.size() == 0;
    // Unbuffered: every row goes to the system at once, and a failed row
    // leaves nothing behind to be written with the next one.
    if (!openForAppend(file, report_path, error))
        return false;
    // Rows already in the file stay as they are; only a new file is written to here.
    return !fresh || writeThrough(headerRow().toUtf8() + "\r\n", error);
}

bool ProductionReport::append(const UnitOutcome& outcome, QString& error)
{
    QStringList row{QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                    outcome.unit.port,
                    outcome.unit.ids.vid || outcome.unit.ids.pid ? outcome.unit.idsText() : QString(),
                    outcome.serialNumber,
                    outcome.model ? QString::number(*outcome.model) : QString(),
                    image_name,
                    image_sha256,
                    outcome.outcomeText(),
                    outcome.reason,
                    QString::number(outcome.seconds, 'f', 1),
                    host_name,
                    image_version,
                    outcome.verified ? (*outcome.verified ? QStringLiteral("yes") : QStringLiteral("no")) : QString()};
    for (QString& value : row)
        value = field(value);
    return writeThrough(row.join(QLatin1Char(',')).toUtf8() + "\r\n", error);
}

bool ProductionReport::writeThrough(const QByteArray& bytes, QString& error)
{
    if (!file.isOpen()) {
        error = QStringLiteral("the report is not open");
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        error = file.errorString();
        return false;
    }
    return syncToDisk(file, error);
}
