#pragma once

#include "ConnectionStatus.h"
#include "FoundUnit.h"
#include "ImageInfo.h"
#include "StartupConfig.h"
#include "UnitIdentity.h"
#include "VerifyResult.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class SessionLog;
class UpdateSession;

// Writes what support needs into the session log: the configuration used,
// the image, every unit seen, each connection answer and each update's
// outcome and duration.
class SessionRecorder : public QObject {
    Q_OBJECT

public:
    SessionRecorder(SessionLog& log, UpdateSession& session, QObject* parent = nullptr);

    // The interface as the log and the history name it.
    static QString interfaceName(InterfaceType type);
    static void recordStart(SessionLog& log, const QString& frontEnd, const QString& configPath,
                            const StartupConfig& config, const ImageInfo& image);

private slots:
    void onUnitsChecked(const QList<FoundUnit>& units);
    void onUnitRequested(const FoundUnit& unit);
    void onConnectionStatus(ConnectionStatus status);
    void onUnitIdentified(const UnitIdentity& identity);
    void onImageChosen(const FirmwareImage& image);
    void onUpdateStarted();
    void onUpdateFinished(bool status);
    void onVerified(VerifyResult result, int milliseconds);

private:
    SessionLog& log;
    QSet<QString> seen;
    QString current_port;
    UpdateSession& session;
    QElapsedTimer update_clock;
};
