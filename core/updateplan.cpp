#include "core/updateplan.h"

#include "core/versionstanding.h"

UpdatePlan::Verdict UpdatePlan::verdict(const QString &unitModel, const QString &unitVersion,
                                        const QString &unitBuild, const QString &imageModel,
                                        const QString &imageVersion, const QString &imageBuild,
                                        const Rules &rules)
{
    if (VersionStanding::isOtherModel(unitModel, imageModel) && !rules.anyModel)
        return SkipOtherModel;
    const VersionStanding::Standing standing = VersionStanding::judge(
            QString(), unitVersion, unitBuild, QString(), imageVersion, imageBuild);
    if (rules.olderOnly && standing != VersionStanding::Older)
        return SkipNotOlder;
    if (standing == VersionStanding::Current && !rules.reinstall)
        return SkipCurrent;
    if (standing == VersionStanding::Newer && !rules.allowOlder)
        return SkipNewer;
    return Write;
}

UpdatePlan::Rules UpdatePlan::allSelected()
{
    Rules rules;
    rules.reinstall = true;
    rules.allowOlder = true;
    rules.anyModel = true;
    return rules;
}

UpdatePlan::Rules UpdatePlan::olderOnly()
{
    Rules rules;
    rules.olderOnly = true;
    return rules;
}
