#include "OtpReadSize.h"

#include "ConfigValueWarning.h"

std::uint64_t otpReadSize(std::uint64_t configured)
{
    const QString key = QStringLiteral("otp_size");
    const QString value = QString::number(configured);
    if (configured == 0) {
        warnConfigValue(key, value, QStringLiteral("reads no OTP byte, so no model identifier can be checked"),
                        QStringLiteral("using 0: every unit is refused unless fw_target_type is service"));
        return 0;
    }
    if (configured > kOtpCheckedBytes) {
        warnConfigValue(key, value, QStringLiteral("is more than the 512 OTP bytes the model check uses"),
                        QStringLiteral("using 512"));
        return kOtpCheckedBytes;
    }
    return configured;
}
