#include "core/runimage.h"

#include "core/firmwareheader.h"

#include <QCryptographicHash>
#include <QFile>

static void registerAssets()
{
    // The asset collection lives in this static library; its registration
    // must be pulled in by name.
    Q_INIT_RESOURCE(assets);
}

RunImage RunImage::fromImage(const QByteArray &image)
{
    RunImage result;
    const FirmwareHeader header = FirmwareHeader::fromImage(image);
    result.model = header.model;
    for (QChar &c : result.model) {
        // A damaged header must not put control characters into a report
        // or onto a terminal (C0, DEL and C1: the name's bytes are Latin-1).
        const ushort u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            c = QLatin1Char('?');
    }
    result.version = header.versionText;
    result.build = header.buildText;
    result.size = image.size();
    result.sha256 = QString::fromLatin1(
            QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
    return result;
}

QByteArray RunImage::embeddedImage()
{
    registerAssets();
    QFile file(QStringLiteral("://Resource/binfile"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QJsonObject RunImage::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("model"), model);
    object.insert(QStringLiteral("version"), version);
    object.insert(QStringLiteral("build"), build);
    object.insert(QStringLiteral("size"), double(size));
    object.insert(QStringLiteral("sha256"), sha256);
    return object;
}

QString RunImage::summary() const
{
    return QStringLiteral("%1 %2 (build%3), %4 bytes, SHA-256 %5")
            .arg(model.isEmpty() ? QStringLiteral("(no model)") : model, version, build)
            .arg(size)
            .arg(sha256);
}
