#include "ProductionReport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

ProductionReport::ProductionReport(const QString& reportPath, const QString& imageName, const QString& imageSha256)
    : path(reportPath), image_name(imageName), image_sha256(imageSha256), host_name(QSysInfo::machineHostName())
{
}

QString ProductionReport::headerRow()
{
    return QStringLiteral("utc_time,port,vid_pid,serial_number,model_id,image_name,image_sha256,outcome,reason,"
                          "seconds,host_name,verified");
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

bool ProductionReport::append(const UnitOutcome& outcome) const
{
    QFile file(path);
    const bool fresh = !QFileInfo::exists(path) || QFileInfo(path).size() == 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
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
                    outcome.verified ? (*outcome.verified ? QStringLiteral("yes") : QStringLiteral("no")) : QString()};
    for (QString& value : row)
        value = field(value);
    QByteArray bytes;
    if (fresh)
        bytes += headerRow().toUtf8() + "\r\n";
    bytes += row.join(QLatin1Char(',')).toUtf8() + "\r\n";
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    return written;
}
