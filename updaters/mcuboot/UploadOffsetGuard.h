#pragma once

#include <QtGlobal>

// Judges the offsets a unit answers during an upload. The unit is untrusted:
// an offset outside the image would make us index outside it, and a unit that
// never advances would hold the upload forever.
class UploadOffsetGuard {
public:
    enum class Verdict { Continue, OutOfRange, Stalled, TooManyRequests };

    // The same offset answered this many times in a row ends the upload.
    static constexpr int kMaxSameAnswers = 32;

    UploadOffsetGuard(qint64 imageSize, int chunkSize);

    Verdict accept(qint64 answeredOffset);

private:
    qint64 imageSize;
    qint64 requestsLeft;
    qint64 lastAnswer = -1;
    int sameAnswers = 0;
};
