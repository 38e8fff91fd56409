#include "core/logging.h"

Q_LOGGING_CATEGORY(lcDiscovery, "kvx.discovery", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDevice, "kvx.device", QtWarningMsg)
Q_LOGGING_CATEGORY(lcProtocol, "kvx.protocol", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTransfer, "kvx.transfer", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWire, "kvx.wire", QtWarningMsg)
Q_LOGGING_CATEGORY(lcHistory, "kvx.history", QtWarningMsg)
