#pragma once

#include "PseudoTerminal.h"

#include <QByteArray>
#include <QString>
#include <thread>
#include <vector>

// A unit's system bootloader reduced to a script: on its own thread it waits
// for each expected request on the line and answers with the scripted reply.
class ScriptedBootloader {
public:
    struct Exchange {
        QByteArray request;
        QByteArray reply;
    };

    ScriptedBootloader(PseudoTerminal& line, std::vector<Exchange> script);
    ~ScriptedBootloader();
    ScriptedBootloader(const ScriptedBootloader&) = delete;
    ScriptedBootloader& operator=(const ScriptedBootloader&) = delete;

    // Waits for the script to end; empty when every request came as expected.
    QString finish();

private:
    void run(PseudoTerminal& line, const std::vector<Exchange>& script);

    std::vector<Exchange> steps;
    QString mismatch;
    std::thread runner;
};
