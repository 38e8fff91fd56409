#include "objectcount.h"

#include <QMetaObject>
#include <QMutex>
#include <QObject>
#include <QtGlobal>

#include <atomic>

// Qt's hook table (qhooks_p.h, a private header that distributions do not
// ship). Its layout is versioned by its first entry and has stayed the same
// through Qt 5: version, size, Qt version, add-object, remove-object, ...
extern quintptr Q_CORE_EXPORT qtHookData[];

namespace ObjectCount {

namespace {

enum { HookDataVersion = 0, HookDataSize = 1, AddQObject = 3, RemoveQObject = 4 };
using Callback = void (*)(QObject *);

std::atomic<long long> g_live{ 0 };

// Objects are made on other threads too (the QML type loader's), and Qt's own
// global objects die after every static of this program: the books live on
// the heap for good, so that the last hook never finds them destroyed.
struct Books
{
    QMutex mutex;
    QSet<QObject *> objects;
};

Books &books()
{
    static Books *const b = new Books;
    return *b;
}

Callback g_nextAdd = nullptr;
Callback g_nextRemove = nullptr;

void added(QObject *object)
{
    ++g_live;
    {
        QMutexLocker locker(&books().mutex);
        books().objects.insert(object);
    }
    if (g_nextAdd)
        g_nextAdd(object);
}

void removed(QObject *object)
{
    --g_live;
    {
        QMutexLocker locker(&books().mutex);
        books().objects.remove(object);
    }
    if (g_nextRemove)
        g_nextRemove(object);
}

} // namespace

bool install()
{
    if (qtHookData[HookDataVersion] < 1 || qtHookData[HookDataSize] <= RemoveQObject)
        return false;
    if (qtHookData[AddQObject] == reinterpret_cast<quintptr>(&added))
        return true;
    g_nextAdd = reinterpret_cast<Callback>(qtHookData[AddQObject]);
    g_nextRemove = reinterpret_cast<Callback>(qtHookData[RemoveQObject]);
    qtHookData[AddQObject] = reinterpret_cast<quintptr>(&added);
    qtHookData[RemoveQObject] = reinterpret_cast<quintptr>(&removed);
    return true;
}

long long live()
{
    return g_live.load();
}

QSet<QObject *> snapshot()
{
    QMutexLocker locker(&books().mutex);
    return books().objects;
}

QMap<QString, int> newSince(const QSet<QObject *> &earlier)
{
    QMap<QString, int> classes;
    QMutexLocker locker(&books().mutex);
    for (QObject *object : qAsConst(books().objects)) {
        if (earlier.contains(object))
            continue;
        QString name = QString::fromLatin1(object->metaObject()->className());
        if (!object->objectName().isEmpty())
            name += QLatin1String(" \"") + object->objectName() + QLatin1Char('"');
        if (QObject *parent = object->parent())
            name += QLatin1String(" in ") + QString::fromLatin1(parent->metaObject()->className());
        ++classes[name];
    }
    return classes;
}

} // namespace ObjectCount
