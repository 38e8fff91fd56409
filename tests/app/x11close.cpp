#include "x11close.h"

#include <QElapsedTimer>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

static Window findByTitle(Display *display, Window window, const QByteArray &title)
{
    char *name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        const bool match = title == name;
        XFree(name);
        if (match)
            return window;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i)
            found = findByTitle(display, children[i], title);
        if (children)
            XFree(children);
    }
    return found;
}

bool requestX11WindowClose(const QByteArray &displayName, const QString &title, int timeoutMs)
{
    Display *display = XOpenDisplay(displayName.constData());
    if (!display)
        return false;
    QElapsedTimer clock;
    clock.start();
    Window window = 0;
    while (!window && clock.elapsed() < timeoutMs) {
        window = findByTitle(display, DefaultRootWindow(display), title.toUtf8());
        if (!window)
            QThread::msleep(50);
    }
    if (window) {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    }
    XCloseDisplay(display);
    return window != 0;
}
