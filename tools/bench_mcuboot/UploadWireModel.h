#pragma once

#include <QByteArray>
#include <vector>

// What an upload of an image puts on the line, request by request, built with
// the same encoders the updater uses, and the times that bound it.
class UploadWireModel {
public:
    struct Exchange {
        qsizetype requestBytes = 0;  // whole request line: marker, base64, line feed
        qsizetype responseBytes = 0; // the unit's {"rc": 0, "off": next} answer line
    };

    // The updater's fixed waits around every exchange.
    static constexpr double kSettleBeforeSendMs = 10.0;
    static constexpr double kSleepAfterFlushMs = 3.0;
    static constexpr double kTrailingQuietMs = 3.0;

    UploadWireModel(const QByteArray& image, int baudRate, int bitsPerByte);

    const std::vector<Exchange>& exchanges() const { return steps; }
    double wireMs(qsizetype bytes) const;
    // Time the line needs for every request and answer, back to back.
    double linkLimitSeconds() const;
    // Best time with the waits added to the line time of each exchange.
    double bestSeconds() const;
    // Best time when the sleep after flushing runs while the request is still
    // on the line (flushing hands the bytes to the driver, it does not drain them).
    double overlappedBestSeconds() const;
    double bestExchangeMs(const Exchange& step) const;

private:
    static QByteArray responsePayload(qsizetype nextOffset);

    int baudRate;
    int bitsPerByte;
    std::vector<Exchange> steps;
};
