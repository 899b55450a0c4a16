#include "MainWindow.h"

#include "ButtonStyles.h"
#include "DriverInstaller.h"
#include "MainWindowUi.h"
#include "PackageOpener.h"
#include "UnitFinder.h"
#include "UpdateSession.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSysInfo>

namespace {

const QString kErrorText = QStringLiteral(
    "Error connecting to device \u2014 Disconnect device and repeat step 1-3");

QFont brandFont(const QString& style, int points)
{
    QFont font = QFontDatabase::font(QStringLiteral("Lumavex Sans"), style, points);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::All, QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

namespace {

UpdaterConfig configFrom(const QSettings& settings, const QDir& resourcesDir, const QString& dfuUtilPath,
                         InterfaceType interfaceType)
{
    UpdaterConfig config = UpdaterConfig::read(settings, resourcesDir);
    config.dfuUtilPath = dfuUtilPath;
    config.startup.interfaceType = interfaceType;
    return config;
}

} // namespace

MainWindow::MainWindow(const QDir& resourcesDir, QSettings* settings, const QString& dfuUtilPath,
                       InterfaceType interfaceType, FirmwareUpdaterBase* backend)
    : MainWindow(configFrom(*settings, resourcesDir, dfuUtilPath, interfaceType), settings, backend)
{
}

MainWindow::MainWindow(const UpdaterConfig& config, QSettings* settings, FirmwareUpdaterBase* backend)
    : QMainWindow(nullptr),
      ui(new MainWindowUi),
      session(new UpdateSession(config.startup.interfaceType, config.dfuUtilPath, backend)),
      updater(backend),
      resources_dir(config.resourcesPath),
      interface_type(config.startup.interfaceType),
      dfu_util_path(config.dfuUtilPath)
{
    registerUpdaterMetaTypes();
    if (QSysInfo::productType() == QLatin1String("windows"))
        setWindowIcon(QIcon(resources_dir.filePath("AppIcon.ico")));
    connectToSession();
    ui->setupUi(this);
    loadFonts();
    applyBackground(*settings);
    applyConfigTexts(*settings);
    ui->updateButton->setFont(bold12);
    showButton(false, "UPDATE", kButtonDisabledStyle);
    connect(ui->updateButton, &QPushButton::clicked, this, &MainWindow::onUpdateButtonClicked);
    setupProgressBar();
    installDrivers();
    session->startSearching(UnitFinder(interface_type, dfu_util_path, config.products), openPackages(config));
}

MainWindow::~MainWindow()
{
    // The session lets a running update end and stops the worker thread before
    // the widgets its reports are drawn on go away.
    delete session;
    delete ui;
}

// A package as firmware_filename: units are checked against the models it
// shares with device_id_list, and each update writes the image it carries.
QList<uint8_t> MainWindow::openPackages(const UpdaterConfig& config)
{
    auto opener = std::make_shared<PackageOpener>(ImageAdmission(config.startup));
    const QList<uint8_t> accepted = opener->modelsAtStartup(config.startup.firmwarePath, config.deviceIds);
    session->setImageOpener(
        [opener](const FirmwareImage& file, QString& refusal) { return opener->open(file, refusal); });
    return accepted;
}

void MainWindow::connectToSession()
{
    connect(updater, &FirmwareUpdaterBase::UpdateStarted, this, &MainWindow::onWorkerThreadStarted);
    connect(updater, &FirmwareUpdaterBase::UpdateFinished, this, &MainWindow::onWorkerThreadFinished);
    connect(updater, &FirmwareUpdaterBase::UpdateConnectionStatus, this, &MainWindow::onConnectionStatus);
}

void MainWindow::setupProgressBar()
{
    ui->progressBar->setFont(regular9);
    ui->progressBar->setValue(0);
    ui->progressBar->setFormat(QString());
    connect(updater, &FirmwareUpdaterBase::ProgressUpdate, ui->progressBar, &QProgressBar::setValue);
    if (interface_type == InterfaceType::Usb) {
        connect(updater, &FirmwareUpdaterBase::EraseStarted, this, &MainWindow::onEraseStarted);
        connect(updater, &FirmwareUpdaterBase::EraseFinished, this, &MainWindow::onEraseFinished);
    }
}

void MainWindow::loadFonts()
{
    const QFileInfoList fontFiles =
        resources_dir.entryInfoList({QStringLiteral("*.otf")}, QDir::Files, QDir::Unsorted);
    for (const QFileInfo& file : fontFiles)
        QFontDatabase::addApplicationFont(file.absoluteFilePath());
    regular7 = brandFont(QStringLiteral("Regular"), 7);
    regular9 = brandFont(QStringLiteral("Regular"), 9);
    bold12 = brandFont(QStringLiteral("Bold"), 12);
    bold15 = brandFont(QStringLiteral("Bold"), 15);
}

void MainWindow::applyBackground(const QSettings& settings)
{
    const QFileInfoList images =
        resources_dir.entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Unsorted);
    QString title = settings.value("window_title").toString();
    if (title.isEmpty())
        title = QStringLiteral("Lumavex firmware updater");
    setWindowTitle(title);
    if (images.isEmpty())
        return;
    setStyleSheet(QStringLiteral("#centralwidget {\n") + QStringLiteral("border-image: url(") +
                  images.first().absoluteFilePath() + QStringLiteral(") ") +
                  QStringLiteral("0 0 0 0 stretch stretch;\n") + QStringLiteral("}\n"));
}

void MainWindow::applyConfigTexts(const QSettings& settings)
{
    const QColor lightGrey(Qt::lightGray);
    ui->titleLabel->setFont(bold15);
    setTextColour(ui->titleLabel, Qt::white);
    ui->versionLabel->setFont(bold15);
    setTextColour(ui->versionLabel, Qt::white);

    ui->instructionsLabel->setFont(regular9);
    ui->instructionsLabel->setText(settings.value("instructions_text").toString());
    setTextColour(ui->instructionsLabel, lightGrey);

    ui->productLabel->setFont(bold15);
    ui->productLabel->setText(settings.value("product_text").toString());
    setTextColour(ui->productLabel, lightGrey);

    ui->versionNumberLabel->setFont(bold15);
    ui->versionNumberLabel->setText(settings.value("fw_version").toString());
    setTextColour(ui->versionNumberLabel, lightGrey);

    ui->infoLabel->setFont(regular7);
    setTextColour(ui->infoLabel, Qt::black);

    const QString targetType = settings.value("fw_target_type").toString();
    if (targetType != QLatin1String("customer")) {
        ui->typeLabel->setFont(bold15);
        QString shown = targetType;
        if (!shown.isEmpty())
            shown[0] = shown[0].toUpper();
        ui->typeLabel->setText(shown);
        setTextColour(ui->typeLabel, Qt::yellow);
    }
}

bool MainWindow::installDrivers()
{
    DriverInstaller::install(QCoreApplication::applicationDirPath(), interface_type);
    return true;
}

void MainWindow::showButton(bool enabled, const QString& text, const QString& style)
{
    ui->updateButton->setEnabled(enabled);
    ui->updateButton->setText(text);
    ui->updateButton->setStyleSheet(style);
}

void MainWindow::onConnectionStatus(ConnectionStatus status)
{
    switch (status) {
    case Connected:
        showButton(true, "UPDATE", kButtonEnabledStyle);
        break;
    case Disconnected:
        showButton(false, "UPDATE", kButtonDisabledStyle);
        ui->progressBar->setValue(0);
        ui->progressBar->setFormat(QString());
        break;
    case DeviceMismatch:
        showButton(false, "UPDATE", kButtonDisabledStyle);
        ui->progressBar->setFormat(kErrorText);
        break;
    }
}

void MainWindow::onUpdateButtonClicked()
{
    ui->updateButton->setEnabled(false);
    session->startUpdate();
}

void MainWindow::onWorkerThreadStarted()
{
    ui->updateButton->setText("UPDATING");
    ui->updateButton->setStyleSheet(kButtonEnabledStyle);
    if (interface_type == InterfaceType::Uart)
        ui->progressBar->setFormat(QStringLiteral("%p%"));
}

void MainWindow::onEraseStarted()
{
    ui->progressBar->setFormat(QStringLiteral("Erasing"));
}

void MainWindow::onEraseFinished()
{
    ui->progressBar->setFormat(QStringLiteral("%p%"));
    ui->progressBar->setValue(0);
}

void MainWindow::onWorkerThreadFinished(bool status)
{
    ui->updateButton->setEnabled(false);
    if (status) {
        ui->updateButton->setStyleSheet(kButtonEnabledStyle);
        ui->progressBar->setValue(100);
        ui->updateButton->setText("DONE");
    } else {
        ui->updateButton->setStyleSheet(kButtonDisabledStyle);
        ui->progressBar->setFormat(kErrorText);
    }
}
