#include "SigningKey.h"

#include "KeyFile.h"
#include "Sodium.h"

#include <QFile>
#include <sodium.h>

namespace {

bool writeNewFile(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions,
                  QString& error)
{
    QFile file(path);
    // Created with its final permissions, so the private key is never readable by others.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, permissions)) {
        error = QStringLiteral("cannot create %1 (%2)").arg(path, file.exists() ? QStringLiteral("it exists already")
                                                                                 : file.errorString());
        return false;
    }
    if (file.write(content) != content.size() || !file.flush()) {
        error = QStringLiteral("cannot write %1 (%2)").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

std::optional<SigningKey> SigningKey::fromSeed(const QByteArray& seed, QString& error)
{
    if (!package::sodiumReady() || seed.size() != crypto_sign_SEEDBYTES) {
        error = QStringLiteral("libsodium cannot be used");
        return std::nullopt;
    }
    SigningKey key;
    key.seed = seed;
    key.public_key.resize(crypto_sign_PUBLICKEYBYTES);
    key.secret_key.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_seed_keypair(reinterpret_cast<unsigned char*>(key.public_key.data()),
                             reinterpret_cast<unsigned char*>(key.secret_key.data()),
                             reinterpret_cast<const unsigned char*>(seed.constData()));
    return key;
}

std::optional<SigningKey> SigningKey::generate(QString& error)
{
    if (!package::sodiumReady()) {
        error = QStringLiteral("libsodium cannot be used");
        return std::nullopt;
    }
    QByteArray seed(crypto_sign_SEEDBYTES, Qt::Uninitialized);
    randombytes_buf(seed.data(), static_cast<size_t>(seed.size()));
    return fromSeed(seed, error);
}

std::optional<SigningKey> SigningKey::load(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the private key %1 (%2)").arg(path, file.errorString());
        return std::nullopt;
    }
    QString problem;
    const std::optional<QByteArray> seed = package::decodeKeyFile(package::KeyKind::Private, file.read(4096), problem);
    if (!seed) {
        error = QStringLiteral("the private key %1 %2").arg(path, problem);
        return std::nullopt;
    }
    return fromSeed(*seed, error);
}

bool SigningKey::save(const QString& basePath, QString& error) const
{
    const QString privatePath = basePath + QStringLiteral(".key");
    const QString publicPath = basePath + QStringLiteral(".pub");
    if (QFile::exists(privatePath) || QFile::exists(publicPath)) {
        error = QStringLiteral("%1 or %2 exists already; keys are never replaced").arg(privatePath, publicPath);
        return false;
    }
    return writeNewFile(privatePath, package::encodeKeyFile(package::KeyKind::Private, seed),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner, error) &&
           writeNewFile(publicPath, package::encodeKeyFile(package::KeyKind::Public, public_key),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                            QFileDevice::ReadOther,
                        error);
}

QByteArray SigningKey::sign(const QByteArray& message) const
{
    QByteArray signature(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(message.constData()),
                         static_cast<unsigned long long>(message.size()),
                         reinterpret_cast<const unsigned char*>(secret_key.constData()));
    return signature;
}
