#include "MainWindowUi.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int kWidth = 665;
constexpr int kHeight = 517;

QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

void MainWindowUi::setupUi(QMainWindow* window)
{
    if (window->objectName().isEmpty())
        window->setObjectName("MainWindow");
    window->resize(kWidth, kHeight);
    window->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    window->setMinimumSize(kWidth, kHeight);
    window->setMaximumSize(kWidth, kHeight);

    centralwidget = new QWidget(window);
    centralwidget->setObjectName("centralwidget");
    centralwidget->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);

    titleLabel = makeLabel(centralwidget, "titleLabel", QRect(40, 30, 201, 21));
    productLabel = makeLabel(centralwidget, "productLabel", QRect(40, 55, 201, 21));
    typeLabel = makeLabel(centralwidget, "typeLabel", QRect(40, 80, 181, 21));

    progressBar = new QProgressBar(centralwidget);
    progressBar->setObjectName("progressBar");
    progressBar->setGeometry(QRect(148, 400, 477, 40));
    setupProgressBarPalette();
    progressBar->setAutoFillBackground(false);

    updateButton = new QPushButton(centralwidget);
    updateButton->setObjectName("updateButton");
    updateButton->setGeometry(QRect(40, 400, 99, 40));
    updateButton->setPalette(QPalette());

    instructionsLabel = makeLabel(centralwidget, "instructionsLabel", QRect(40, 160, 201, 231));
    instructionsLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    instructionsLabel->setMinimumSize(QSize(0, 200));
    instructionsLabel->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignBottom);

    versionNumberLabel = makeLabel(centralwidget, "versionNumberLabel", QRect(560, 55, 58, 16));
    versionNumberLabel->setAlignment(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
    versionLabel = makeLabel(centralwidget, "versionLabel", QRect(520, 30, 101, 16));
    versionLabel->setAlignment(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);

    progressBarFrame = makeLabel(centralwidget, "progressBarFrame", QRect(148, 400, 477, 40));
    progressBarFrame->setStyleSheet("border: 1px solid white; border-radius: 3px;");
    infoLabel = makeLabel(centralwidget, "infoLabel", QRect(40, 478, 311, 31));

    window->setCentralWidget(centralwidget);
    retranslateUi(window);
}

void MainWindowUi::setupProgressBarPalette()
{
    struct Entry {
        QPalette::ColorGroup group;
        QPalette::ColorRole role;
        QColor colour;
    };
    const QColor white(255, 255, 255), black(0, 0, 0), dark(191, 0, 191), mint(152, 255, 152);
    const Entry entries[] = {
        {QPalette::Active, QPalette::Dark, dark},
        {QPalette::Active, QPalette::Text, white},
        {QPalette::Active, QPalette::ButtonText, white},
        {QPalette::Active, QPalette::Base, black},
        {QPalette::Active, QPalette::Window, black},
        {QPalette::Active, QPalette::Highlight, white},
        {QPalette::Active, QPalette::HighlightedText, black},
        {QPalette::Active, QPalette::AlternateBase, mint},
        {QPalette::Inactive, QPalette::Dark, dark},
        {QPalette::Inactive, QPalette::Text, white},
        {QPalette::Inactive, QPalette::Base, black},
        {QPalette::Inactive, QPalette::Window, QColor(0, 1, 0)},
        {QPalette::Inactive, QPalette::Highlight, white},
        {QPalette::Inactive, QPalette::HighlightedText, black},
        {QPalette::Inactive, QPalette::AlternateBase, mint},
        {QPalette::Disabled, QPalette::Dark, dark},
        {QPalette::Disabled, QPalette::Highlight, QColor(255, 226, 54)},
        {QPalette::Disabled, QPalette::HighlightedText, black},
        {QPalette::Disabled, QPalette::AlternateBase, mint},
    };
    QPalette palette;
    for (const Entry& entry : entries)
        palette.setBrush(entry.group, entry.role, QBrush(entry.colour, Qt::SolidPattern));
    progressBar->setPalette(palette);
}

void MainWindowUi::retranslateUi(QMainWindow* window)
{
    window->setWindowTitle(tr("Lumavex firmware updater"));
    titleLabel->setText(tr("Firmware upgrade"));
    productLabel->setText(tr("Unknown"));
    typeLabel->setText(QString());
    progressBar->setFormat(tr("%p%"));
    updateButton->setText(tr("UPDATE"));
    instructionsLabel->setText(
        tr("Instructions\n\n- plugin \n- place in boot mode \n- reset \n- press Update"));
    versionNumberLabel->setText(tr("A1"));
    versionLabel->setText(tr("Version"));
    progressBarFrame->setText(QString());
    infoLabel->setText(tr("Update requires cable with USB-C connector."));
}
