#include "core/rootcontext.h"

QQmlContext *g_rootContext = nullptr;
