#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>

// Reads the window's state the way a person sees it: through its widgets.
class WindowProbe {
public:
    explicit WindowProbe(QMainWindow& window) : window(window) {}

    QPushButton* button() const { return window.findChild<QPushButton*>("updateButton"); }
    QProgressBar* progress() const { return window.findChild<QProgressBar*>("progressBar"); }
    QLabel* label(const char* name) const { return window.findChild<QLabel*>(name); }

    QString buttonText() const { return button()->text(); }
    bool buttonEnabled() const { return button()->isEnabled(); }
    QString buttonStyle() const { return button()->styleSheet(); }
    QString progressFormat() const { return progress()->format(); }
    int progressValue() const { return progress()->value(); }

private:
    QMainWindow& window;
};
