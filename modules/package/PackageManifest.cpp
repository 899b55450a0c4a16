#include "PackageManifest.h"

#include "PackageEntryName.h"
#include "PackageLimits.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <cmath>

namespace {

const QStringList kRequiredKeys{"format", "product", "version", "interface", "models",
                                "image",  "size",    "sha256",  "created"};
const QStringList kOptionalKeys{"programming_address", "notes"};

// A JSON number that is a whole number within [low, high].
std::optional<qint64> wholeNumber(const QJsonValue& value, qint64 low, qint64 high)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (std::floor(number) != number || number < static_cast<double>(low) || number > static_cast<double>(high))
        return std::nullopt;
    return static_cast<qint64>(number);
}

QString checkKeys(const QJsonObject& object)
{
    for (const QString& key : kRequiredKeys)
        if (!object.contains(key))
            return QStringLiteral("has no \"%1\"").arg(key);
    for (const QString& key : object.keys())
        if (!kRequiredKeys.contains(key) && !kOptionalKeys.contains(key))
            return QStringLiteral("has an unknown key \"%1\"").arg(key);
    for (const char* key : {"product", "version", "interface", "image", "sha256", "created"})
        if (!object.value(key).isString())
            return QStringLiteral("has a \"%1\" that is not text").arg(key);
    if (object.contains("notes") && !object.value("notes").isString())
        return QStringLiteral("has \"notes\" that are not text");
    return {};
}

std::optional<QList<uint8_t>> readModels(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    QList<uint8_t> models;
    for (const QJsonValue& item : value.toArray()) {
        const std::optional<qint64> model = wholeNumber(item, 0, 255);
        if (!model)
            return std::nullopt;
        models.append(static_cast<uint8_t>(*model));
    }
    return models;
}

std::optional<std::uint32_t> readAddress(const QJsonValue& value)
{
    static const QRegularExpression form(QStringLiteral("^0x[0-9a-fA-F]{1,8}$"));
    if (!value.isString() || !form.match(value.toString()).hasMatch())
        return std::nullopt;
    return value.toString().mid(2).toUInt(nullptr, 16);
}

std::optional<QDateTime> readCreated(const QString& text)
{
    const QDateTime created = QDateTime::fromString(text, Qt::ISODate);
    if (!created.isValid() || !text.endsWith(QLatin1Char('Z')))
        return std::nullopt;
    return created.toUTC();
}

QString fillFrom(const QJsonObject& object, PackageManifest& manifest)
{
    if (wholeNumber(object.value("format"), 0, 1000) != PackageManifest::kFormat)
        return QStringLiteral("is not format %1").arg(PackageManifest::kFormat);
    manifest.product = object.value("product").toString();
    manifest.version = object.value("version").toString();
    manifest.interfaceName = object.value("interface").toString();
    manifest.image = object.value("image").toString();
    manifest.sha256 = object.value("sha256").toString();
    const std::optional<QList<uint8_t>> models = readModels(object.value("models"));
    if (!models)
        return QStringLiteral("has \"models\" that are not a list of model identifiers 0 to 255");
    manifest.models = *models;
    const std::optional<qint64> size = wholeNumber(object.value("size"), 0, package::kMaxImageBytes);
    if (!size)
        return QStringLiteral("has a \"size\" that is not a whole number up to %1").arg(package::kMaxImageBytes);
    manifest.size = *size;
    if (object.contains("programming_address")) {
        manifest.programmingAddress = readAddress(object.value("programming_address"));
        if (!manifest.programmingAddress)
            return QStringLiteral("has a \"programming_address\" that is not text like \"0x08000000\"");
    }
    const std::optional<QDateTime> created = readCreated(object.value("created").toString());
    if (!created)
        return QStringLiteral("has a \"created\" that is not a UTC time like \"2024-05-01T12:00:00Z\"");
    manifest.created = *created;
    if (object.contains("notes"))
        manifest.notes = object.value("notes").toString();
    return {};
}

} // namespace

bool PackageManifest::isKnownInterface(const QString& name)
{
    return name == QLatin1String("mcuboot_serial") || name == QLatin1String("uart") || name == QLatin1String("usb");
}

std::optional<PackageManifest> PackageManifest::parse(const QByteArray& json, QString& error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        error = QStringLiteral("manifest.json is not a JSON object");
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    PackageManifest manifest;
    QString problem = checkKeys(object);
    if (problem.isEmpty())
        problem = fillFrom(object, manifest);
    if (problem.isEmpty())
        problem = manifest.problem();
    if (!problem.isEmpty()) {
        error = QStringLiteral("manifest.json %1").arg(problem);
        return std::nullopt;
    }
    return manifest;
}

void PackageManifest::describeImage(const QByteArray& imageBytes)
{
    size = imageBytes.size();
    sha256 = QString::fromLatin1(QCryptographicHash::hash(imageBytes, QCryptographicHash::Sha256).toHex());
}

QString PackageManifest::problem() const
{
    static const QRegularExpression hexDigest(QStringLiteral("^[0-9a-f]{64}$"));
    if (version.isEmpty())
        return QStringLiteral("has an empty \"version\"");
    if (!isKnownInterface(interfaceName))
        return QStringLiteral("names the interface \"%1\", not mcuboot_serial, uart or usb").arg(interfaceName);
    if (models.isEmpty())
        return QStringLiteral("accepts no model identifiers");
    if (!package::isSafeEntryName(image.toUtf8()) || image == package::kManifestEntry ||
        image == package::kSignatureEntry)
        return QStringLiteral("names the image \"%1\", which is not a plain file name").arg(image);
    if (size <= 0 || size > package::kMaxImageBytes)
        return QStringLiteral("gives the image size %1, not 1 to %2 bytes").arg(size).arg(package::kMaxImageBytes);
    if (!hexDigest.match(sha256).hasMatch())
        return QStringLiteral("has a \"sha256\" that is not 64 lower-case hexadecimal digits");
    if (programmingAddress && interfaceName == QLatin1String("mcuboot_serial"))
        return QStringLiteral("gives a programming address for mcuboot_serial, which has none");
    if (!created.isValid())
        return QStringLiteral("has no creation time");
    return {};
}

QByteArray PackageManifest::toJson() const
{
    QJsonArray modelArray;
    for (const uint8_t model : models)
        modelArray.append(model);
    QJsonObject object{{"format", kFormat},        {"product", product}, {"version", version},
                       {"interface", interfaceName}, {"models", modelArray}, {"image", image},
                       {"size", size},             {"sha256", sha256},
                       {"created", created.toUTC().toString(Qt::ISODate)}};
    if (programmingAddress)
        object.insert("programming_address", addressText(*programmingAddress));
    if (notes)
        object.insert("notes", *notes);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QString PackageManifest::addressText(std::uint32_t address)
{
    return QStringLiteral("0x%1").arg(address, 8, 16, QLatin1Char('0'));
}

QString PackageManifest::modelListText(const QList<uint8_t>& ids)
{
    QStringList list;
    for (const uint8_t id : ids)
        list.append(QString::number(id));
    return list.isEmpty() ? QStringLiteral("none") : list.join(QLatin1Char(','));
}

QString PackageManifest::modelsText() const
{
    return modelListText(models);
}
