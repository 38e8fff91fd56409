#pragma once

#include <QMetaMethod>
#include <QMetaObject>
#include <QObject>

// A signal of an object made by QML, whose C++ type has no public header
// (Repeater, Timer): found through the meta-object, since there is no member
// function to point at. Invalid when the object has no such signal.
inline QMetaMethod qmlSignal(const QObject *object, const char *normalizedSignature)
{
    if (!object)
        return QMetaMethod();
    const QMetaObject *meta = object->metaObject();
    return meta->method(meta->indexOfSignal(normalizedSignature));
}

// The same for a slot of the receiver.
inline QMetaMethod qmlSlot(const QObject *object, const char *normalizedSignature)
{
    const QMetaObject *meta = object->metaObject();
    return meta->method(meta->indexOfSlot(normalizedSignature));
}
