#pragma once

#include <QString>
#include <optional>
#include <vector>

// One connect and upload by McubootSerialUpdater on a worker thread of its
// own, timed from the start to the end of the upload.
class UploadBenchRun {
public:
    struct Measurement {
        double wallSeconds = 0;
        double userCpuSeconds = 0;
        double systemCpuSeconds = 0;
        // Time of each answered request, from the previous answer (or the
        // upload's start), in milliseconds.
        std::vector<double> exchangeMs;
    };

    UploadBenchRun(QString portPath, QString imagePath, int baudRate);

    // Empty when the connect or the upload failed; `error` says which.
    std::optional<Measurement> run(QString& error);

private:
    std::optional<Measurement> connectAndUpload(QString& error) const;

    QString portPath;
    QString imagePath;
    int baudRate;
};
