#include "app/rootcontext.h"

QQmlContext *g_rootContext = nullptr;
