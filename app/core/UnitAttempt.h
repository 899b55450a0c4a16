#pragma once

#include "UnitOutcome.h"
#include "UnitIdentity.h"

#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class UnitFinder;

// One unit's update attempt as a production run drives it: it takes the unit
// from the connection request to its outcome over the unit's own session. The
// front end supplies it, because it also draws the attempt.
class UnitAttempt : public QObject {
    Q_OBJECT

public:
    // Why a unit that identified itself is not to be written, given to the
    // answer (empty: write it). The answer may come later, from the history's
    // thread; it is dropped when `context` is gone.
    using SkipAnswer = std::function<void(const QString& reason)>;
    using SkipRule = std::function<void(const UnitIdentity& identity, QObject* context, SkipAnswer answer)>;

    using QObject::QObject;

    virtual void start(const UnitFinder& finder, const QList<uint8_t>& deviceIds) = 0;

signals:
    void Ended(const UnitOutcome& outcome);
};
