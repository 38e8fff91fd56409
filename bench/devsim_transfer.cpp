// Time one raw client needs to write one whole firmware image to one simulated
// unit across the network lab: connect, log in, start, 1,133 stop-and-wait data
// commands, end. Prints each of five runs and their median; asserts nothing.
//
//     tools/netlab/netlab --units 1 -- build/bench/bench_devsim_transfer [IMAGE]
//
// The image defaults to $KVX_IMAGE_PATH, else the build's generated one.
#include "common/lab.h"
#include "tools/rawclient.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown CPU");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!labAvailable()) {
        std::fprintf(stderr, "run inside the lab: tools/netlab/netlab --units 1 -- %s\n", argv[0]);
        return 77;
    }
    QString path =
            argc > 1 ? QString::fromLocal8Bit(argv[1]) : qEnvironmentVariable("KVX_IMAGE_PATH");
    if (path.isEmpty())
        path = QCoreApplication::applicationDirPath() + QStringLiteral("/../resources/binfile");
    labUseDevsimOfThisBuild(QStringLiteral("../tools/devsim/kvx-devsim"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read the image %s\n", qPrintable(path));
        return 1;
    }
    const QByteArray image = file.readAll();
    const QString address = labDeviceAddresses().value(0);

    LabDevSim sim;
    if (!sim.start(LabDevSim::config({ LabDevSim::unit(address) }))) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.errorString()));
        return 1;
    }
    const QByteArray expected = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();

    std::printf("devsim transfer: %d bytes, %d data commands, one raw client, unit %s\n",
                image.size(), (image.size() + RawClient::kBlock - 1) / RawClient::kBlock,
                qPrintable(address));
    std::printf("machine: %s, %d logical CPUs (QThread::idealThreadCount)\n",
                qPrintable(cpuModel()), QThread::idealThreadCount());
    QVector<double> times;
    for (int run = 1; run <= 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        RawClient client;
        if (!client.connectTo(address) || !client.login("admin") || !client.transfer(image)) {
            std::fprintf(stderr, "run %d failed: %s\n", run, qPrintable(client.error()));
            return 1;
        }
        const double ms = clock.nsecsElapsed() / 1e6;
        const QJsonObject unit = sim.unitResults(address);
        const bool intact = unit.value(QStringLiteral("sha256")).toString().toLatin1() == expected
                && unit.value(QStringLiteral("violations")).toArray().isEmpty();
        std::printf("run %d: %8.1f ms  %6.2f MB/s  %s\n", run, ms, image.size() / ms / 1000.0,
                    intact ? "image intact" : "IMAGE DIFFERS");
        if (!intact)
            return 1;
        times << ms;
    }
    std::sort(times.begin(), times.end());
    std::printf("median of 5: %.1f ms (%.1f us per data command round trip)\n", times[2],
                times[2] * 1000.0 / ((image.size() + RawClient::kBlock - 1) / RawClient::kBlock));
    std::fflush(stdout);
    return 0;
}
