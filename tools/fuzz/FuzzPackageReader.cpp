// Fuzz target: an update package's bytes through the package reader (archive,
// limits, entry names, signature, image against manifest), and the same bytes
// through the manifest rules, which the fuzzer can rarely reach behind a valid
// signature. The seeds are signed with package_keys/fuzz.key, whose public half
// is trusted here.
#include "KeyFile.h"
#include "PackageManifest.h"
#include "PackageReader.h"
#include "QuietMessages.h"

#include <QCryptographicHash>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

TrustedKeys fuzzKeys()
{
    QString error;
    const std::optional<QByteArray> key = package::decodeKeyFile(
        package::KeyKind::Public,
        QByteArrayLiteral("fwupdater ed25519 public key\nVqEWrXj6inNTKuC8PuDGkRWi4CqSwOXnMdoeLoZm3ZY=\n"), error);
    if (!key)
        std::abort();
    TrustedKeys keys;
    keys.add(QStringLiteral("fuzz"), *key);
    return keys;
}

void checkAccepted(const FirmwarePackage& package)
{
    const PackageManifest& manifest = package.manifest;
    const QByteArray digest = QCryptographicHash::hash(package.image, QCryptographicHash::Sha256).toHex();
    if (package.image.size() != manifest.size || QString::fromLatin1(digest) != manifest.sha256 ||
        !manifest.problem().isEmpty() || package.keyName != QLatin1String("fuzz"))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quietMessages();
    static const PackageReader reader(fuzzKeys());
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const PackageVerdict verdict = reader.read(bytes);
    if (verdict.isValid() == !verdict.reason.isEmpty())
        std::abort();
    if (verdict.isValid())
        checkAccepted(*verdict.package);
    QString error;
    const std::optional<PackageManifest> manifest = PackageManifest::parse(bytes, error);
    if (manifest.has_value() == !error.isEmpty() || (manifest && !manifest->problem().isEmpty()))
        std::abort();
    return 0;
}
