#pragma once

#include "Console.h"

class UnitBoard;

#include <QElapsedTimer>
#include <QString>

// Shows an update's progress: on a terminal one self-rewriting line with
// percent, bytes, rate and time left; otherwise one line per 10 %; with
// --json one "progress" event per new percentage. A USB erase shows as such.
class ProgressDisplay {
public:
    // With a board, the unit's status goes to its line there.
    ProgressDisplay(const Console& console, const QString& port, qint64 imageSize, UnitBoard* board = nullptr);

    void started();
    void eraseStarted();
    void eraseFinished();
    void progress(int percent);
    // Ends the terminal line, if one is open.
    void finished();

private:
    QString statusText(int percent) const;
    void jsonProgress(int percent, const QString& phase) const;
    void show(const QString& text);

    const Console& console;
    QString port;
    qint64 image_size;
    UnitBoard* board;
    bool terminal;
    QElapsedTimer clock;
    int last_percent = -1;
    int last_tenth = 0;
    bool line_open = false;
};
