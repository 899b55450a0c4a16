#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the Qt message log while alive: "debug: text" / "warning: text".
class QtMessageCapture {
public:
    QtMessageCapture();
    ~QtMessageCapture();
    QtMessageCapture(const QtMessageCapture&) = delete;
    QtMessageCapture& operator=(const QtMessageCapture&) = delete;

    QStringList lines() const;

private:
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& message);
    QtMessageHandler previous = nullptr;
};
