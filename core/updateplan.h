#pragma once

#include <QString>

// Which units an update writes: the one rule of both programs, from how a
// unit stands against the embedded image. kvx-update takes its options as
// the rules; the window's plan takes "Update older only" (olderOnly) or
// "Update all selected" (everything allowed).
namespace UpdatePlan {

struct Rules
{
    bool olderOnly = false; // only units that run an older version
    bool reinstall = false; // also units that run the image's version
    bool allowOlder = false; // also units that run a newer one
    bool anyModel = false; // also units of another model
};

enum Verdict {
    Write,
    SkipOtherModel, // another model's unit, and not anyModel
    SkipNotOlder, // olderOnly, and the version is not known to be older
    SkipCurrent, // runs the image's version, and not reinstall
    SkipNewer, // runs a newer one, and not allowOlder
};

// The model decides first; the version then is judged by itself, so that a
// unit of another model that is written anyway stands by its version alone.
Verdict verdict(const QString &unitModel, const QString &unitVersion, const QString &unitBuild,
                const QString &imageModel, const QString &imageVersion, const QString &imageBuild,
                const Rules &rules);

// Everything allowed: the window's "Update all selected".
Rules allSelected();
// Only what is older and of the image's model: "Update older only".
Rules olderOnly();

} // namespace UpdatePlan
