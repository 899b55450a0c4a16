#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the Qt message log while alive: "debug: text" / "warning: text".
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const;

private:
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& message);
    QtMessageHandler previous = nullptr;
};
