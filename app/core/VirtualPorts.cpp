#include "VirtualPorts.h"

#include <QDebug>
#include <QFileInfo>
#include <QRegularExpression>

QList<SerialPortEntry> VirtualPorts::parse(const QString& text)
{
    static const QRegularExpression entryPattern(
        QStringLiteral("^(.+)=([0-9a-fA-F]{4}):([0-9a-fA-F]{4})$"));
    QList<SerialPortEntry> entries;
    for (const QString& raw : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString entry = raw.trimmed();
        const QRegularExpressionMatch match = entryPattern.match(entry);
        if (!match.hasMatch()) {
            qWarning() << kEnvironmentVariable << "skipping malformed entry:" << entry;
            continue;
        }
        entries.append(SerialPortEntry{match.captured(1),
                                       static_cast<std::uint16_t>(match.captured(2).toUShort(nullptr, 16)),
                                       static_cast<std::uint16_t>(match.captured(3).toUShort(nullptr, 16))});
    }
    return entries;
}

QList<SerialPortEntry> VirtualPorts::present()
{
    QList<SerialPortEntry> existing;
    const QByteArray text = qgetenv(kEnvironmentVariable);
    if (text.isEmpty())
        return existing;
    for (const SerialPortEntry& entry : parse(QString::fromLocal8Bit(text))) {
        if (QFileInfo::exists(entry.portName))
            existing.append(entry);
    }
    return existing;
}
