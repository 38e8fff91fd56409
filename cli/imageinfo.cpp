#include "cli/imageinfo.h"

#include "core/firmwareheader.h"
#include "cli/textformat.h"

#include <QCryptographicHash>
#include <QFile>

static void registerAssets()
{
    // The asset collection lives in the static core library; its
    // registration must be pulled in by name.
    Q_INIT_RESOURCE(assets);
}

ImageInfo ImageInfo::fromImage(const QByteArray &image)
{
    ImageInfo info;
    const FirmwareHeader header = FirmwareHeader::fromImage(image);
    info.model = TextFormat::printable(header.model);
    info.versionText = header.versionText;
    info.buildText = header.buildText;
    info.size = image.size();
    info.sha256 = QString::fromLatin1(
            QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
    return info;
}

QByteArray ImageInfo::embeddedImage()
{
    registerAssets();
    QFile file(QStringLiteral("://Resource/binfile"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QJsonObject ImageInfo::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("model"), model);
    object.insert(QStringLiteral("version"), versionText);
    object.insert(QStringLiteral("build"), buildText);
    object.insert(QStringLiteral("size"), double(size));
    object.insert(QStringLiteral("sha256"), sha256);
    return object;
}

QString ImageInfo::summary() const
{
    return QStringLiteral("%1 %2 (build%3), %4 bytes, SHA-256 %5")
            .arg(model.isEmpty() ? QStringLiteral("(no model)") : model, versionText, buildText)
            .arg(size)
            .arg(sha256);
}
