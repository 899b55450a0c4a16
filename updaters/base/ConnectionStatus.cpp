#include "ConnectionStatus.h"

#include "VerifyResult.h"

void registerUpdaterMetaTypes()
{
    qRegisterMetaType<ConnectionStatus>("ConnectionStatus");
    qRegisterMetaType<QList<uint8_t>>("QList<uint8_t>");
    qRegisterMetaType<VerifyResult>("VerifyResult");
}
