#include "PackageEntryName.h"

namespace package {

bool isSafeEntryName(const QByteArray& name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\\') && !name.contains("..") &&
           !name.contains('\0');
}

} // namespace package
