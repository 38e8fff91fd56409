#include "core/runimage.h"

#include "core/firmwareheader.h"

#include <QCryptographicHash>

RunImage RunImage::fromImage(const QByteArray &image)
{
    RunImage result;
    const QByteArray field = image.left(8);
    const int nul = field.indexOf('\0');
    for (const char c : nul >= 0 ? field.left(nul) : field) {
        // A damaged header must not put control characters into a report.
        const uchar u = uchar(c);
        result.model += u < 0x20 || u == 0x7f ? QLatin1Char('?') : QLatin1Char(c);
    }
    const FirmwareHeader header = FirmwareHeader::fromImage(image);
    result.version = header.versionText;
    result.build = header.buildText;
    result.sha256 = QString::fromLatin1(
            QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
    return result;
}
