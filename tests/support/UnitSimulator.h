#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs lumavex-unit-sim as a real child process for the length of a test:
// a unit on a pseudo-terminal at path(), its received image (MCUboot) or
// flash (STM32) in imagePath(). The destructor stops it.
class UnitSimulator {
public:
    static constexpr int kStartTimeoutMs = 5000;
    static constexpr int kStopTimeoutMs = 3000;

    // `arguments` are simulator options (--model-id 7, --mode stm32, ...);
    // --link and --image-out are added. Waits until the unit is ready.
    explicit UnitSimulator(const QStringList& arguments = {});
    ~UnitSimulator();
    UnitSimulator(const UnitSimulator&) = delete;
    UnitSimulator& operator=(const UnitSimulator&) = delete;

    static QString programPath();

    bool isReady() const { return ready; }
    bool isRunning() const;
    QString path() const { return linkPath; }
    QString imagePath() const { return imageFilePath; }
    QByteArray image() const;

    // Pulls the cable: stops the simulator, which removes the path.
    void unplug();
    // For runs that end by themselves (--after-reset exit, an unplug fault).
    bool waitForExit(int timeoutMs);
    int exitCode() const { return process.exitCode(); }

    // Event lines printed so far ("ready PATH", "reset 1", "go 0x8000000", ...).
    QStringList events();
    bool waitForEvent(const QString& prefix, int timeoutMs);
    // The number in the last "reset N" line, 0 when none came.
    int resetCount();
    // The readable request log (stderr) so far.
    QString log();

private:
    void collectOutput();

    QTemporaryDir folder;
    QString linkPath;
    QString imageFilePath;
    QProcess process;
    QStringList eventLines;
    QByteArray partialLine;
    QByteArray errorText;
    bool ready = false;
};
