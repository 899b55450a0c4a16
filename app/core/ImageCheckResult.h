#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <utility>

// What the image check found in a firmware file: its format, the facts read
// from it (in the order they are shown) and, for a file that cannot be
// right, the reason, which names the file.
struct ImageCheckResult {
    QString fileName;
    QString format; // "mcuboot" or "stm32"
    QList<std::pair<QString, QVariant>> facts;
    QString problem;

    bool passed() const { return problem.isEmpty(); }
};
