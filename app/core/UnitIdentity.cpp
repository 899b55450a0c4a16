#include "UnitIdentity.h"

#include "FirmwareUpdaterBase.h"

std::optional<UnitIdentity> UnitIdentity::read(FirmwareUpdaterBase& backend)
{
    IdentityReader* reader = backend.identityReader();
    if (!reader)
        return std::nullopt;
    UnitIdentity identity;
    identity.model = reader->readModelId();
    identity.serialNumber = reader->readSerialNumber();
    return identity;
}

bool UnitIdentity::isReadableFrom(FirmwareUpdaterBase& backend)
{
    return backend.identityReader() != nullptr;
}
