#include "core/programversion.h"

QString programVersion()
{
    return QStringLiteral(KVX_PROGRAM_VERSION);
}
