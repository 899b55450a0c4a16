#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the Qt message log while alive: "debug: text" / "warning: text".
class QtLogCapture {
public:
    QtLogCapture();
    ~QtLogCapture();
    QtLogCapture(const QtLogCapture&) = delete;
    QtLogCapture& operator=(const QtLogCapture&) = delete;

    QStringList lines() const;

private:
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& message);
    QtMessageHandler previous = nullptr;
};
