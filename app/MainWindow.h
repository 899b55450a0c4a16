#pragma once

#include "FirmwareUpdaterBase.h"
#include "InterfaceType.h"
#include "UpdaterConfig.h"

#include <QDir>
#include <QFont>
#include <QList>
#include <QMainWindow>
#include <QString>

class MainWindowUi;
class QSettings;
class UpdateSession;

// The updater's only window: a view over the update session, which owns the
// back-end and its worker thread and polls for a unit. The window shows the
// update's progress and outcome and starts the update on UPDATE.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // The configuration as start-up read it; the settings give the branding
    // texts and are read only here.
    MainWindow(const UpdaterConfig& config, QSettings* settings, FirmwareUpdaterBase* updater);
    // Reads the configuration from the settings, with this tool and interface.
    MainWindow(const QDir& resourcesDir, QSettings* settings, const QString& dfuUtilPath,
               InterfaceType interfaceType, FirmwareUpdaterBase* updater);
    ~MainWindow() override;

    UpdateSession& updateSession() const { return *session; }

private slots:
    void onUpdateButtonClicked();
    void onWorkerThreadStarted();
    void onWorkerThreadFinished(bool status);
    void onConnectionStatus(ConnectionStatus status);
    void onEraseStarted();
    void onEraseFinished();

private:
    void connectToSession();
    QList<uint8_t> openPackages(const UpdaterConfig& config);
    void setupProgressBar();
    void loadFonts();
    void applyBackground(const QSettings& settings);
    void applyConfigTexts(const QSettings& settings);
    bool installDrivers();
    void showButton(bool enabled, const QString& text, const QString& style);

    MainWindowUi* ui;
    UpdateSession* session;
    FirmwareUpdaterBase* updater;
    QDir resources_dir;
    InterfaceType interface_type;
    QString dfu_util_path;
    QFont regular7;
    QFont regular9;
    QFont bold12;
    QFont bold15;
};
