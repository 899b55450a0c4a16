#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// An Ed25519 private key that signs package manifests. It lives on the
// release machine only; service machines hold the public half.
class SigningKey {
public:
    static std::optional<SigningKey> generate(QString& error);
    // Reads a private key file (see KeyFile.h).
    static std::optional<SigningKey> load(const QString& path, QString& error);

    // Writes NAME.key, readable by its owner only, and NAME.pub; replaces
    // neither when one of them exists.
    bool save(const QString& basePath, QString& error) const;

    QByteArray publicKey() const { return public_key; }
    // The 64-byte detached signature of the message.
    QByteArray sign(const QByteArray& message) const;

private:
    static std::optional<SigningKey> fromSeed(const QByteArray& seed, QString& error);

    QByteArray seed;
    QByteArray public_key;
    QByteArray secret_key;
};
