#pragma once

#include <QString>

struct FirmwareHeader;

// How a unit stands against the embedded image, from what is known of it:
// its model, its version text and, where it has been read, its build.
namespace VersionStanding {

enum Standing {
    Unknown, // the version is missing or is no version
    Current, // the image's version, and its build where the unit's is known
    Older,
    Newer,
    OtherModel, // the model is known and does not begin with the image's
};

// The image's model is the NUL-padded name at the head of the image; an
// empty one (no image) makes no unit another model's.
Standing judge(const QString &unitModel, const QString &unitVersion, const QString &unitBuild,
               const QString &imageModel, const QString &imageVersion, const QString &imageBuild);
Standing judge(const QString &unitModel, const QString &unitVersion, const QString &unitBuild,
               const FirmwareHeader &image);

bool isOtherModel(const QString &unitModel, const QString &imageModel);

// The card's tag: "current", "older", "newer", "other model"; none ("") for
// Unknown.
QString tagText(Standing standing);
// kvx-update's status column: "current", "older", "newer", "unknown",
// "other-model".
QString statusName(Standing standing);

} // namespace VersionStanding
