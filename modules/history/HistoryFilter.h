#pragma once

#include <QDateTime>
#include <QString>

// Which rows a history query gives; an empty field matches every row.
struct HistoryFilter {
    QString serialNumber{};
    QString imageVersion{};
    QString outcome{};
    QString station{};
    QDateTime since{}; // rows started at or after it
};
