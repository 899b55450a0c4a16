#pragma once

class QLabel;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QWidget;

// The window's widget tree. Holds non-owning pointers: the widgets belong to
// the window through their parents.
class MainWindowUi {
public:
    QWidget* centralwidget = nullptr;
    QLabel* titleLabel = nullptr;
    QLabel* productLabel = nullptr;
    QLabel* typeLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* updateButton = nullptr;
    QLabel* instructionsLabel = nullptr;
    QLabel* versionNumberLabel = nullptr;
    QLabel* versionLabel = nullptr;
    QLabel* progressBarFrame = nullptr;
    QLabel* infoLabel = nullptr;

    void setupUi(QMainWindow* window);
    void retranslateUi(QMainWindow* window);

private:
    void setupProgressBarPalette();
};
