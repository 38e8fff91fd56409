#pragma once

// One unit's record of a run, as the tests of the history, the reports and
// `kvx-update history` write it: a ZP-9E that ran 1.02 (build0110), given
// the VK-3F 1.04 (build0119) image by the window, and the last text its
// result ends with. A test changes only what its case is about.

#include "core/unitrunrecord.h"

inline UnitRunRecord sampleRecord(const QDateTime &run, const QString &address,
                                  const QString &result = UnitRunRecord::kSucceeded)
{
    UnitRunRecord r;
    r.run = run;
    r.started = run.addMSecs(100);
    r.ended = run.addSecs(35);
    r.address = address;
    r.model = QStringLiteral("ZP-9E");
    r.nickname = QStringLiteral("FOH");
    r.versionBefore = QStringLiteral("1.02 (build0110)");
    r.result = result;
    r.lastText = result == UnitRunRecord::kSucceeded ? QStringLiteral("Firmware update completed.")
                                                     : QStringLiteral("ERROR: Connection refused");
    r.image.model = QStringLiteral("VK-3F");
    r.image.version = QStringLiteral("1.04");
    r.image.build = QStringLiteral("0119");
    r.image.sha256 = QString(64, QLatin1Char('a'));
    r.program = QStringLiteral("kvx-updater 1.0");
    return r;
}
