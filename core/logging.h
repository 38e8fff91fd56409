#pragma once

#include <QLoggingCategory>

// All categories print warnings only by default; switch one on with e.g.
// QT_LOGGING_RULES="kvx.wire.debug=true". kvx.wire records every byte exchanged
// with a unit (passwords are replaced by "<password>"), so a session with real
// hardware can be turned into test scripts.
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
Q_DECLARE_LOGGING_CATEGORY(lcDevice)
Q_DECLARE_LOGGING_CATEGORY(lcProtocol)
Q_DECLARE_LOGGING_CATEGORY(lcTransfer)
Q_DECLARE_LOGGING_CATEGORY(lcWire)
Q_DECLARE_LOGGING_CATEGORY(lcHistory)
