#include "DfuListing.h"

#include <QProcess>
#include <QRegularExpression>

QStringList parseDfuListing(const QString& output)
{
    static const QRegularExpression pairPattern(
        QStringLiteral("\\[([0-9a-fA-F]{4}):([0-9a-fA-F]{4})\\]"));
    QStringList identifiers;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::KeepEmptyParts)) {
        const QRegularExpressionMatch match = pairPattern.match(line);
        if (match.hasMatch())
            identifiers.append(match.captured(1) + QLatin1Char(':') + match.captured(2));
    }
    return identifiers;
}

QStringList runDfuListing(const QString& toolPath, int timeoutMs)
{
    QProcess process;
    process.start(toolPath, {QStringLiteral("-l"), QStringLiteral("-a0")}, QIODevice::ReadWrite);
    process.waitForFinished(timeoutMs);
    const QStringList identifiers = parseDfuListing(QString::fromUtf8(process.readAllStandardOutput()));
    if (process.state() != QProcess::NotRunning) {
        // A tool that hangs is killed rather than left behind.
        process.kill();
        process.waitForFinished(1000);
    }
    return identifiers;
}
