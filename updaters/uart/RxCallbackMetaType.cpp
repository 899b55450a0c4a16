#include "RxCallbackMetaType.h"

void registerRxCallbackMetaType()
{
    qRegisterMetaType<hal::uart::RxByte_ISR>("hal::uart::RxByte_ISR");
}
