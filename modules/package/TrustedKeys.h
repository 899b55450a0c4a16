#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The public keys whose signatures a package may carry: every NAME.pub of a
// folder (Resources/keys), each known by its NAME.
class TrustedKeys {
public:
    struct Key {
        QString name;
        QByteArray publicKey;
    };

    // A file that is not a public key file is left out and named in `problems`.
    static TrustedKeys loadFolder(const QString& folder, QStringList& problems);

    void add(const QString& name, const QByteArray& publicKey);
    bool isEmpty() const { return keys.isEmpty(); }
    QStringList names() const;
    // The name of the key that made this Ed25519 signature over the message.
    std::optional<QString> signerOf(const QByteArray& message, const QByteArray& signature) const;

private:
    QList<Key> keys;
};
