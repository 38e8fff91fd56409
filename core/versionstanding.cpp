#include "core/versionstanding.h"

#include "core/firmwareheader.h"
#include "core/versioncompare.h"

bool VersionStanding::isOtherModel(const QString &unitModel, const QString &imageModel)
{
    return !unitModel.isEmpty() && !imageModel.isEmpty() && !unitModel.startsWith(imageModel);
}

VersionStanding::Standing
VersionStanding::judge(const QString &unitModel, const QString &unitVersion,
                       const QString &unitBuild, const QString &imageModel,
                       const QString &imageVersion, const QString &imageBuild)
{
    // A unit the image is not for stands nowhere against it, whatever it runs.
    if (isOtherModel(unitModel, imageModel))
        return OtherModel;
    VersionCompare::Order order = VersionCompare::compare(unitVersion, imageVersion);
    if (order == VersionCompare::Same) {
        // A build the unit has not told (SSDP carries none) does not count
        // against it.
        const VersionCompare::Order builds = VersionCompare::compareBuilds(
                VersionCompare::buildNumber(unitBuild), VersionCompare::buildNumber(imageBuild));
        if (builds != VersionCompare::Invalid)
            order = builds;
    }
    switch (order) {
    case VersionCompare::Invalid:
        return Unknown;
    case VersionCompare::Older:
        return Older;
    case VersionCompare::Same:
        return Current;
    case VersionCompare::Newer:
        return Newer;
    }
    return Unknown;
}

VersionStanding::Standing VersionStanding::judge(const QString &unitModel,
                                                 const QString &unitVersion,
                                                 const QString &unitBuild,
                                                 const FirmwareHeader &image)
{
    return judge(unitModel, unitVersion, unitBuild, image.model, image.versionText,
                 image.buildText);
}

QString VersionStanding::tagText(Standing standing)
{
    switch (standing) {
    case Unknown:
        return QString();
    case Current:
        return QStringLiteral("current");
    case Older:
        return QStringLiteral("older");
    case Newer:
        return QStringLiteral("newer");
    case OtherModel:
        return QStringLiteral("other model");
    }
    return QString();
}

QString VersionStanding::statusName(Standing standing)
{
    switch (standing) {
    case Unknown:
        return QStringLiteral("unknown");
    case Current:
        return QStringLiteral("current");
    case Older:
        return QStringLiteral("older");
    case Newer:
        return QStringLiteral("newer");
    case OtherModel:
        return QStringLiteral("other-model");
    }
    return QStringLiteral("unknown");
}
