#include "AttemptRecord.h"

#include <QStringList>
#include <QUuid>

QString AttemptRecord::newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString AttemptRecord::timeText(const QDateTime& time)
{
    if (!time.isValid())
        return QString();
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QDateTime AttemptRecord::timeFromText(const QString& text)
{
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

const QStringList& AttemptRecord::outcomes()
{
    static const QStringList names{QStringLiteral("running"), QStringLiteral("done"), QStringLiteral("failed"),
                                   QStringLiteral("refused"), QStringLiteral("interrupted")};
    return names;
}
