#include "UnitOutcomes.h"

#include <QJsonDocument>
#include <QJsonObject>

UnitOutcomes UnitOutcomes::fromJsonLines(const QByteArray& output)
{
    UnitOutcomes result;
    for (const QByteArray& line : output.split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (event.value("event").toString() != "done")
            continue;
        Outcome outcome;
        outcome.ok = event.value("ok").toBool();
        outcome.seconds = event.value("seconds").toDouble();
        outcome.reason = event.value("reason").toString();
        result.outcomes.insert(event.value("port").toString(), outcome);
    }
    return result;
}
