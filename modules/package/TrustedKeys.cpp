#include "TrustedKeys.h"

#include "KeyFile.h"
#include "Sodium.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sodium.h>

TrustedKeys TrustedKeys::loadFolder(const QString& folder, QStringList& problems)
{
    TrustedKeys trusted;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.pub")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        QString problem = QStringLiteral("cannot be read");
        std::optional<QByteArray> key;
        if (file.open(QIODevice::ReadOnly))
            key = package::decodeKeyFile(package::KeyKind::Public, file.read(4096), problem);
        if (key)
            trusted.add(info.completeBaseName(), *key);
        else
            problems.append(QStringLiteral("the key file %1 %2").arg(info.filePath(), problem));
    }
    return trusted;
}

void TrustedKeys::add(const QString& name, const QByteArray& publicKey)
{
    keys.append(Key{name, publicKey});
}

QStringList TrustedKeys::names() const
{
    QStringList list;
    for (const Key& key : keys)
        list.append(key.name);
    return list;
}

std::optional<QString> TrustedKeys::signerOf(const QByteArray& message, const QByteArray& signature) const
{
    if (!package::sodiumReady() || signature.size() != crypto_sign_BYTES)
        return std::nullopt;
    for (const Key& key : keys) {
        if (key.publicKey.size() != crypto_sign_PUBLICKEYBYTES)
            continue;
        if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.constData()),
                                        reinterpret_cast<const unsigned char*>(message.constData()),
                                        static_cast<unsigned long long>(message.size()),
                                        reinterpret_cast<const unsigned char*>(key.publicKey.constData())) == 0)
            return key.name;
    }
    return std::nullopt;
}
