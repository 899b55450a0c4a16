#include "KeyFile.h"

#include <QList>

namespace package {

namespace {

constexpr qsizetype kKeyBytes = 32;

QByteArray headerFor(KeyKind kind)
{
    return kind == KeyKind::Public ? QByteArrayLiteral("fwupdater ed25519 public key")
                                   : QByteArrayLiteral("fwupdater ed25519 private key");
}

} // namespace

QByteArray encodeKeyFile(KeyKind kind, const QByteArray& key)
{
    return headerFor(kind) + '\n' + key.toBase64() + '\n';
}

std::optional<QByteArray> decodeKeyFile(KeyKind kind, const QByteArray& text, QString& error)
{
    QList<QByteArray> lines = text.trimmed().split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed();
    if (lines.size() != 2 || lines.first() != headerFor(kind)) {
        error = QStringLiteral("does not start with the line \"%1\"").arg(QString::fromLatin1(headerFor(kind)));
        return std::nullopt;
    }
    const auto decoded = QByteArray::fromBase64Encoding(lines.last(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != kKeyBytes) {
        error = QStringLiteral("does not hold a %1-byte key in base64").arg(kKeyBytes);
        return std::nullopt;
    }
    return decoded.decoded;
}

} // namespace package
