#pragma once

// Programs that draw the window with no display (the benchmarks, the picture
// tools, the soak) render it offscreen and in software, unless whoever runs
// them chose a platform or a scene graph backend. Call before the
// application object is made.

#include <QByteArray>
#include <QtGlobal>

inline void preferOffscreenSoftware()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
}
