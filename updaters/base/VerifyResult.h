#pragma once

#include <QMetaType>
#include <cstdint>

// What reading the written image back showed. Unknown: verification was
// asked for, but the unit gave nothing to compare with.
enum VerifyResult : std::int32_t {
    VerifyPassed = 0,
    VerifyFailed = 1,
    VerifyUnknown = 2,
};

Q_DECLARE_METATYPE(VerifyResult)
