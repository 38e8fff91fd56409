#pragma once

#include <QString>

// The version of the updater programs ("1.0"), from the build.
QString programVersion();
