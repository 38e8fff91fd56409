#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding like any sanitizer report: say which one and
// abort, so that libFuzzer keeps the input as a crash artifact.
#define KVX_FUZZ_CHECK(cond) \
    do { \
        if (!(cond)) { \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort(); \
        } \
    } while (false)

// Qt's warnings (writes to a socket that is not open, and the like) would be
// printed for millions of inputs and tell nothing the checks do not. A fatal
// message still ends the run. KVX_FUZZ_VERBOSE=1 keeps them, for a look at
// what one input does; with QT_LOGGING_RULES="kvx.*.debug=true" that shows
// every byte the client exchanges.
inline void kvxFuzzQuietQt()
{
    if (qEnvironmentVariableIntValue("KVX_FUZZ_VERBOSE"))
        return;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
            std::abort();
        }
    });
}
