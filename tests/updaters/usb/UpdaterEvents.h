#pragma once

#include "FirmwareUpdaterBase.h"
#include "WaitUntil.h"

#include <QObject>
#include <QStringList>

// The back-end's signals in the order they reached this thread, as short texts.
class UpdaterEvents {
public:
    static constexpr int kWaitMs = 20000;

    explicit UpdaterEvents(FirmwareUpdaterBase& updater)
    {
        using Base = FirmwareUpdaterBase;
        QObject::connect(&updater, &Base::UpdateStarted, &context, [this] { list.append("UpdateStarted"); });
        QObject::connect(&updater, &Base::EraseStarted, &context, [this] { list.append("EraseStarted"); });
        QObject::connect(&updater, &Base::EraseFinished, &context, [this] { list.append("EraseFinished"); });
        QObject::connect(&updater, &Base::ProgressUpdate, &context,
                         [this](int percent) { list.append(QStringLiteral("Progress %1").arg(percent)); });
        QObject::connect(&updater, &Base::UpdateFinished, &context,
                         [this](bool status) { list.append(status ? "Finished true" : "Finished false"); });
        QObject::connect(&updater, &Base::UpdateConnectionStatus, &context,
                         [this](ConnectionStatus status) { list.append(QStringLiteral("Status %1").arg(status)); });
    }

    bool waitFor(const QString& event) const
    {
        return waitUntil([&] { return list.contains(event); }, kWaitMs);
    }

    bool waitFinished() const
    {
        return waitUntil([&] { return list.contains("Finished true") || list.contains("Finished false"); }, kWaitMs);
    }

    QString text() const { return list.join(QStringLiteral(", ")); }

    QStringList list;

private:
    QObject context;
};
