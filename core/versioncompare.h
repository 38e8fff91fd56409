#pragma once

#include <QString>
#include <QStringView>

// Firmware version texts as units and the image header write them ("1.04",
// "1.10", ".12"), compared numerically part by part: "1.10" is newer than
// "1.9", "1.04" equals "1.4" and "1.04.0". The texts come from the network, so
// anything that is not such a version (empty, letters, "1..2", a trailing dot)
// is not a version at all rather than a guess; a text of any length is
// compared without overflow and without copying it.
namespace VersionCompare {

enum Order { Invalid = -2, Older = -1, Same = 0, Newer = 1 };

// True for a text made only of decimal parts joined by single dots, with
// blanks around it allowed. The first part may be empty when more follow,
// because the image header writes versions below 1 that way (".12").
bool isVersion(QStringView text);

// How `version` stands against `reference`; Invalid when either is no version.
Order compare(QStringView version, QStringView reference);

// The build number inside a build text: "(build0119)", "0119" or "119" all
// give "119"; an empty string when the text carries no build number.
QString buildNumber(QStringView text);

// How one build number stands against another (as buildNumber gives them);
// Invalid when either is empty.
Order compareBuilds(QStringView build, QStringView reference);

} // namespace VersionCompare
