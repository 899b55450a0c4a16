#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>
#include <utility>

// Per-test settings of the simulated dfu-util (see tools/dfu_util_sim/README.md).
// Children started while it lives inherit them; a private TMPDIR keeps the OTP
// file of each test apart. Everything is restored on destruction.
class DfuSimEnvironment {
public:
    DfuSimEnvironment()
    {
        remember("TMPDIR");
        qputenv("TMPDIR", folder.path().toLocal8Bit());
        set("DFU_SIM_LOG", filePath(QStringLiteral("runs.log")).toLocal8Bit());
    }

    ~DfuSimEnvironment()
    {
        for (const auto& [name, value] : saved) {
            if (value)
                qputenv(name.constData(), *value);
            else
                qunsetenv(name.constData());
        }
    }

    DfuSimEnvironment(const DfuSimEnvironment&) = delete;
    DfuSimEnvironment& operator=(const DfuSimEnvironment&) = delete;

    static QString toolPath() { return QStringLiteral(FWU_DFU_SIM_PATH); }

    void set(const char* name, const QByteArray& value)
    {
        remember(name);
        qputenv(name, value);
    }

    QString filePath(const QString& name) const { return folder.filePath(name); }

    // The argument lists of the runs so far, oldest first.
    QList<QStringList> runs() const
    {
        QFile log(filePath(QStringLiteral("runs.log")));
        QList<QStringList> lines;
        if (!log.open(QIODevice::ReadOnly))
            return lines;
        for (const QByteArray& line : log.readAll().split('\n')) {
            if (!line.isEmpty())
                lines.append(QString::fromUtf8(line).split(QLatin1Char('\t')));
        }
        return lines;
    }

private:
    void remember(const char* name)
    {
        for (const auto& entry : saved) {
            if (entry.first == name)
                return;
        }
        saved.append({QByteArray(name), qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
    }

    QTemporaryDir folder;
    QList<std::pair<QByteArray, std::optional<QByteArray>>> saved;
};
