#include "DfuListing.h"

#include "ToolProcessGroup.h"

#include <QProcess>
#include <QRegularExpression>

namespace {

QStringList identifiersOf(const QList<DfuListingEntry>& entries)
{
    QStringList identifiers;
    for (const DfuListingEntry& entry : entries)
        identifiers.append(entry.identifier);
    return identifiers;
}

} // namespace

QList<DfuListingEntry> parseDfuEntries(const QString& output)
{
    static const QRegularExpression pairPattern(
        QStringLiteral("\\[([0-9a-fA-F]{4}):([0-9a-fA-F]{4})\\]"));
    static const QRegularExpression pathPattern(QStringLiteral("path=\"([^\"]*)\""));
    QList<DfuListingEntry> entries;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::KeepEmptyParts)) {
        const QRegularExpressionMatch match = pairPattern.match(line);
        if (match.hasMatch())
            entries.append({match.captured(1) + QLatin1Char(':') + match.captured(2),
                            pathPattern.match(line).captured(1)});
    }
    return entries;
}

QStringList parseDfuListing(const QString& output)
{
    return identifiersOf(parseDfuEntries(output));
}

QList<DfuListingEntry> runDfuEntryListing(const QString& toolPath, int timeoutMs)
{
    QProcess process;
    stm32_updater::ToolProcessGroup::separate(process);
    process.start(toolPath, {QStringLiteral("-l"), QStringLiteral("-a0")}, QIODevice::ReadWrite);
    process.waitForFinished(timeoutMs);
    const QList<DfuListingEntry> entries = parseDfuEntries(QString::fromUtf8(process.readAllStandardOutput()));
    if (process.state() != QProcess::NotRunning) {
        // A tool that hangs is killed rather than left behind.
        process.kill();
        process.waitForFinished(1000);
    }
    return entries;
}

QStringList runDfuListing(const QString& toolPath, int timeoutMs)
{
    return identifiersOf(runDfuEntryListing(toolPath, timeoutMs));
}
