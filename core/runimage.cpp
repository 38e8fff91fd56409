#include "core/runimage.h"

#include "core/firmwareheader.h"

#include <QCryptographicHash>

RunImage RunImage::fromImage(const QByteArray &image)
{
    RunImage result;
    const FirmwareHeader header = FirmwareHeader::fromImage(image);
    result.model = header.model;
    for (QChar &c : result.model) {
        // A damaged header must not put control characters into a report
        // (C0, DEL and C1: the name's bytes are Latin-1).
        const ushort u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            c = QLatin1Char('?');
    }
    result.version = header.versionText;
    result.build = header.buildText;
    result.sha256 = QString::fromLatin1(
            QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
    return result;
}
