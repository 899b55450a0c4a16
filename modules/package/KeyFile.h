#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The text form of a key file: a header line that names what the file holds,
// then the key's bytes in base64 on one line.
//
//   fwupdater ed25519 public key
//   <32 bytes in base64>
//
// A private key file has the header "fwupdater ed25519 private key" and holds
// the 32-byte seed the key pair is derived from.
namespace package {

enum class KeyKind { Public, Private };

QByteArray encodeKeyFile(KeyKind kind, const QByteArray& key);
// The key's bytes, or nothing (with `error`) when the text is not such a file.
std::optional<QByteArray> decodeKeyFile(KeyKind kind, const QByteArray& text, QString& error);

} // namespace package
