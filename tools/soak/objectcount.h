#pragma once

#include <QMap>
#include <QSet>
#include <QString>

class QObject;

// Counts the QObjects alive in the process, through Qt's object hooks (the
// ones debugging tools use). A count that climbs from round to round, taken
// at the same point of every round, is a leak that resident memory hides in
// its noise; the classes of the objects that stayed say where it is.
namespace ObjectCount {

// Installs the hooks; objects made before this call are not known, so only
// differences between two counts mean anything. False when the running Qt
// does not offer the hooks.
bool install();
long long live();

// The objects alive now, and the classes (with counts) of those alive now
// that were not in an earlier snapshot.
QSet<QObject *> snapshot();
QMap<QString, int> newSince(const QSet<QObject *> &earlier);

} // namespace ObjectCount
