#include "ConfigValueWarning.h"

#include <QDebug>

void warnConfigValue(const QString& key, const QString& value, const QString& problem, const QString& instead)
{
    qWarning().noquote() << QStringLiteral("%1: \"%2\" %3; %4").arg(key, value, problem, instead);
}
