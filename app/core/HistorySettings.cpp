#include "HistorySettings.h"

#include "ConfigValueWarning.h"
#include "SessionLog.h"

#include <QFileInfo>
#include <QSysInfo>

namespace {

bool readRequired(const QSettings& settings)
{
    const QString key = QStringLiteral("history_required");
    const QString value = settings.value(key).toString().trimmed().toLower();
    if (value == QLatin1String("true") || value == QLatin1String("yes") || value == QLatin1String("1"))
        return true;
    if (!value.isEmpty() && value != QLatin1String("false") && value != QLatin1String("no") &&
        value != QLatin1String("0"))
        warnConfigValue(key, settings.value(key).toString(), QStringLiteral("is neither true nor false"),
                        QStringLiteral("using false"));
    return false;
}

} // namespace

HistorySettings HistorySettings::read(const QSettings& settings)
{
    HistorySettings history;
    const QVariant value = settings.value(QStringLiteral("history"));
    // A URL with a comma in it comes back as a list; put it together again.
    history.location = value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                                : value.toString();
    history.required = readRequired(settings);
    return history;
}

QString HistorySettings::defaultFile()
{
    return QFileInfo(SessionLog::defaultFolder()).path() + QStringLiteral("/history.sqlite");
}

QString HistorySettings::stationName()
{
    const QString named = qEnvironmentVariable(kStationVariable).trimmed();
    return named.isEmpty() ? QSysInfo::machineHostName() : named;
}

std::optional<HistoryLocation> HistorySettings::resolve(const QString& override, QString& error) const
{
    return HistoryLocation::parse(override.isEmpty() ? location : override, defaultFile(), error);
}

std::unique_ptr<HistoryService> HistorySettings::startService(const HistoryLocation& location,
                                                              HistoryService::Notify warn, QString& error) const
{
    auto service = std::make_unique<HistoryService>(location, defaultFile(), stationName(), std::move(warn));
    if (!required) {
        service->open();
        return service;
    }
    if (!service->openAndWait(error)) {
        error = QStringLiteral("The history (%1) cannot be written, and history_required=true: %2")
                    .arg(location.describe(), error);
        return nullptr;
    }
    return service;
}
