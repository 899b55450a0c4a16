#include "UploadOffsetGuard.h"

namespace {

// Room for the unit to ask for every chunk again a few times over.
constexpr qint64 kPassesAllowed = 4;
constexpr qint64 kExtraRequests = 64;

} // namespace

UploadOffsetGuard::UploadOffsetGuard(qint64 size, int chunkSize)
    : imageSize(size), requestsLeft(kPassesAllowed * ((size + chunkSize - 1) / chunkSize) + kExtraRequests)
{
}

UploadOffsetGuard::Verdict UploadOffsetGuard::accept(qint64 answeredOffset)
{
    if (answeredOffset < 0 || answeredOffset > imageSize)
        return Verdict::OutOfRange;
    if (answeredOffset == lastAnswer) {
        ++sameAnswers;
    } else {
        lastAnswer = answeredOffset;
        sameAnswers = 1;
    }
    if (sameAnswers >= kMaxSameAnswers)
        return Verdict::Stalled;
    if (--requestsLeft <= 0 && answeredOffset < imageSize)
        return Verdict::TooManyRequests;
    return Verdict::Continue;
}
