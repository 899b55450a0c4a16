#include "PackageImageCheck.h"

QString checkImageForPackage(const QString& fileName, const QByteArray& image, const QString& interfaceName,
                             std::optional<std::uint32_t> programmingAddress)
{
    // The format and vector-table checks of plain images are not in this tree
    // yet; until they are, only an empty image is refused here.
    Q_UNUSED(interfaceName);
    Q_UNUSED(programmingAddress);
    if (image.isEmpty())
        return QStringLiteral("firmware image \"%1\" is empty").arg(fileName);
    return {};
}
