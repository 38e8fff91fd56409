#pragma once

class QQmlContext;

// The QML engine's root context, written once by the entry before the device
// table exists so that the table can publish the image properties through it.
// Not owned; valid while the engine lives.
extern QQmlContext *g_rootContext;
