// What the safeguards for texts and the history cost: showing a unit's text
// with visible escapes (every card binding and table cell does it), the CSV
// of a full run, and one durable, locked line of the run history. Prints its
// figures; asserts nothing.
#include "core/runhistory.h"
#include "core/runreport.h"
#include "core/visibletext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

template<typename Work>
double microsecondsPer(int count, Work work)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i)
        work(i);
    return double(clock.nsecsElapsed()) / 1000.0 / count;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString plain = QStringLiteral("Front of House Main Left Hang");
    const QString hostile = QString::fromUtf8("\u202Eevil\u202C \x1b[2J Amp;=1+1 \u200B\uFEFF");
    int sink = 0;
    const double plainUs =
            microsecondsPer(1000000, [&](int) { sink += VisibleText::escaped(plain).size(); });
    const double hostileUs =
            microsecondsPer(200000, [&](int) { sink += VisibleText::escaped(hostile).size(); });
    std::printf("escaped, plain nickname (%d chars):   %.3f us\n", int(plain.size()), plainUs);
    std::printf("escaped, hostile nickname (%d chars): %.3f us\n", int(hostile.size()), hostileUs);

    QList<UnitRunRecord> records;
    for (int i = 0; i < 48; ++i) {
        UnitRunRecord r;
        r.address = QStringLiteral("10.77.0.%1").arg(10 + i);
        r.nickname = i % 2 ? plain : hostile;
        r.result = UnitRunRecord::kSucceeded;
        r.lastText = QStringLiteral("Firmware update completed.");
        records << r;
    }
    const double csvUs =
            microsecondsPer(2000, [&](int) { sink += RunReport::toCsv(records).size(); });
    std::printf("CSV of a 48-unit run:                %.1f us\n", csvUs);

    QTemporaryDir dir;
    const RunHistory history(dir.filePath(QStringLiteral("runs.jsonl")));
    QString error;
    const int lines = 200;
    const double lineUs = microsecondsPer(lines, [&](int) {
        if (!history.append(records.first(), &error))
            std::printf("append failed: %s\n", qPrintable(error));
    });
    std::printf("history line (locked, synced):       %.1f us (%d lines)\n", lineUs, lines);
    return sink == 0 ? 1 : 0;
}
