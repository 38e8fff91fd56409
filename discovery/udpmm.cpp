#include "discovery/udpmm.h"

#include "core/firmwareheader.h"
#include "core/logging.h"
#include "core/rootcontext.h"
#include "core/versioncompare.h"
#include "core/updateplan.h"
#include "core/versionstanding.h"
#include "core/visibletext.h"
#include "device/udpmachinenode.h"
#include "discovery/ssdpsearch.h"

#include <QFile>
#include <QQmlContext>
#include <QTimerEvent>
#include <QUdpSocket>

static void registerAssets()
{
    // Registering a collection that is already registered has no effect; this
    // keeps the image reachable when the core is linked statically.
    Q_INIT_RESOURCE(assets);
}

UdpMachineList::UdpMachineList(QObject *parent) : QObject(parent)
{
    {
        QMutexLocker locker(&m_listMutex);
        m_nodes.clear();
    }

    startDiscovery();
    registerAssets();
    loadFirmwareImage();
}

UdpMachineList::~UdpMachineList()
{
    // The table outlives the event loop only briefly, but a long-lived owner
    // (a test, a benchmark) must not collect sockets and records.
    if (m_timerId)
        killTimer(m_timerId);
    delete m_udpSocket;
    m_udpSocket = nullptr;
    for (UdpMachineNode *node : qAsConst(m_nodes))
        node->m_udpcb = nullptr;
    qDeleteAll(m_nodes);
    m_nodes.clear();
}

void UdpMachineList::loadFirmwareImage()
{
    QFile file(QStringLiteral("://Resource/binfile"));
    if (file.open(QIODevice::ReadOnly)) {
        m_binfile = file.readAll();
        file.close();
    }
    // Without the image no update can succeed; the window still lists units.
    if (m_binfile.isEmpty())
        qCWarning(lcDiscovery) << "the embedded firmware image cannot be read:"
                               << file.errorString();

    m_image = FirmwareHeader::fromImage(m_binfile);
    m_isZp9e = m_image.isZp9e;
    m_isVk3f = m_image.isVk3f;
    qCDebug(lcDiscovery) << "embedded image" << m_binfile.size() << "bytes, model" << m_image.model
                         << "version" << m_image.versionText << "build" << m_image.buildText;

    if (g_rootContext) {
        g_rootContext->setContextProperty(QStringLiteral("isZp9e"), m_isZp9e);
        g_rootContext->setContextProperty(QStringLiteral("isVk3f"), m_isVk3f);
        g_rootContext->setContextProperty(QStringLiteral("firmVersion"), m_image.versionText);
        g_rootContext->setContextProperty(QStringLiteral("firmBuild"), m_image.buildText);
        g_rootContext->setContextProperty(QStringLiteral("firmModel"), m_image.model);
    }
}

void UdpMachineList::startDiscovery()
{
    if (m_udpSocket)
        return;
    m_f_ifaceChanged = true;
    m_udpSocket = new QUdpSocket;
    // A failed bind is not fatal: searches are still attempted, and a unit
    // can still be added through addTestTarget().
    if (!m_udpSocket->bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        qCWarning(lcDiscovery) << "SSDP socket bind failed, no unit will answer:"
                               << m_udpSocket->errorString();
    connect(m_udpSocket, &QUdpSocket::readyRead, this, &UdpMachineList::slot_udpReceived);
    m_msearch = SsdpSearch::mSearchRequest();

    // Read again every few ticks (timerEvent): adapters come and go.
    m_ifaces.clear();
    readInterfaces();
    if (m_ifaces.isEmpty())
        qCWarning(lcDiscovery) << "no network interface that is up, can multicast and has an IPv4 "
                                  "broadcast address: nothing is searched";

    m_timerId = startTimer(1111, Qt::CoarseTimer);
}

bool UdpMachineList::readInterfaces()
{
    QList<SsdpSearch::InterfaceCandidate> all;
    if (m_interfaceSource) {
        all = m_interfaceSource();
    } else {
        const QList<QNetworkInterface> system = QNetworkInterface::allInterfaces();
        for (const QNetworkInterface &iface : system)
            all << SsdpSearch::InterfaceCandidate::fromInterface(iface);
    }
    const QList<SsdpSearch::InterfaceCandidate> chosen = SsdpSearch::chooseInterfaces(all);
    const QStringList keys = SsdpSearch::interfaceKeys(chosen);

    QMutexLocker locker(&m_ifMutex);
    if (keys == m_ifaceKeys && m_ifaces.size() == chosen.size())
        return false;
    m_ifaceKeys = keys;
    m_ifaces.clear();
    m_ifaceNames.clear();
    for (const SsdpSearch::InterfaceCandidate &candidate : chosen) {
        m_ifaces << candidate.iface;
        m_ifaceNames << candidate.name;
    }
    // The outgoing interface is applied again at the next search.
    m_f_ifaceChanged = true;
    if (m_ifaces.isEmpty())
        qCWarning(lcDiscovery) << "no network interface that is up, can multicast and has an IPv4 "
                                  "broadcast address any more: nothing is searched";
    else
        qCDebug(lcDiscovery) << "searching on" << m_ifaces.size() << "interfaces:" << keys;
    locker.unlock();
    emit searchInterfacesChanged();
    return true;
}

void UdpMachineList::setInterfaceSource(InterfaceSource source)
{
    m_interfaceSource = std::move(source);
    readInterfaces();
}

QStringList UdpMachineList::searchInterfaceNames() const
{
    return m_ifaceNames;
}

void UdpMachineList::sendSearch(int tick)
{
    QMutexLocker locker(&m_ifMutex);
    const SsdpSearch::SearchStep step =
            SsdpSearch::searchStep(tick, m_ifaces.size(), m_f_ifaceChanged);
    if (!step.send)
        return;
    m_f_ifaceChanged = step.ifaceChangedAfter;
    if (step.setInterface && m_ifaces.at(step.index).isValid())
        m_udpSocket->setMulticastInterface(m_ifaces.at(step.index));
    m_udpSocket->writeDatagram(m_msearch, QHostAddress(QLatin1String(SsdpSearch::kMulticastGroup)),
                               SsdpSearch::kPort);
}

void UdpMachineList::slot_udpReceived()
{
    // Drain everything queued: one notification may stand for many datagrams.
    do {
        m_readBuffer.resize(int(qMax<qint64>(0, m_udpSocket->pendingDatagramSize())));
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 read = m_udpSocket->readDatagram(m_readBuffer.data(), m_readBuffer.size(),
                                                      &sender, &senderPort);
        // A failed read must not hand the previous datagram's bytes on again.
        if (read < m_readBuffer.size())
            m_readBuffer.resize(int(qMax<qint64>(0, read)));
        handleSsdpResponse(m_readBuffer, sender);
    } while (m_udpSocket->hasPendingDatagrams());
}

void UdpMachineList::handleSsdpResponse(const QByteArray &datagram, const QHostAddress &sender)
{
    // Judge the text before building anything: most datagrams on a busy
    // network are foreign or repeats, and a record with its Communication is
    // only worth building for a unit the table does not know yet.
    const SsdpResponse response = SsdpResponse::parse(datagram, sender);
    if (!response.accepted)
        return;

    QMutexLocker locker(&m_listMutex);
    UdpMachineNode *known = findNode(response.ipaddr);

    if (known) {
        // The stored field is overwritten first, so the message built from
        // the known record carries the new value.
        known->m_count = 0;
        if (known->m_uuid != response.uuid) {
            known->m_uuid = response.uuid;
            updateNode(known->jsonUpdateNode(QStringLiteral("m_uuid")));
        }
        if (known->m_modelname != response.modelname) {
            known->m_modelname = response.modelname;
            updateNode(known->jsonUpdateNode(QStringLiteral("m_modelname")));
        }
        if (known->m_nickname != response.nickname) {
            known->m_nickname = response.nickname;
            updateNode(known->jsonUpdateNode(QStringLiteral("m_nickname")));
        }
        // The unit may run other firmware than when it was first seen (it
        // has been updated, from here or elsewhere). A response without a
        // version says nothing about it, and the same number written
        // differently ("1.4" after a "1.04" read over TCP) is no change.
        const bool versionChanged = !response.version.isEmpty()
                && known->m_version != response.version
                && VersionCompare::compare(known->m_version, response.version)
                        != VersionCompare::Same;
        if (versionChanged) {
            known->m_version = response.version;
            updateNode(known->jsonUpdateNode(QStringLiteral("m_version")));
            // The build was read over TCP from the firmware the unit ran then.
            if (!known->m_build.isEmpty()) {
                known->m_build.clear();
                updateNode(known->jsonUpdateNode(QStringLiteral("m_build")));
            }
        }
        if (known->takeResponseAfterUpdate(versionChanged, returnSilenceTicks()))
            updateNode(known->jsonUpdateNode(QStringLiteral("m_after_update")));
        noteIdentity(known->m_ipaddr, known->m_uuid);
        return;
    }

    addRecord(new UdpMachineNode(response));
    noteIdentity(response.ipaddr, response.uuid);
}

void UdpMachineList::noteIdentity(const QString &ipaddr, const QString &uuid)
{
    if (!m_identities.seen(ipaddr, uuid))
        return;
    for (const QString &warning : m_identities.warnings(ipaddr))
        qCWarning(lcDiscovery).noquote() << ipaddr << VisibleText::escaped(warning);
    ++m_identityRevision;
    emit identityWarningsChanged();
}

void UdpMachineList::forgetIdentity(const QString &ipaddr)
{
    if (!m_identities.forget(ipaddr))
        return;
    ++m_identityRevision;
    emit identityWarningsChanged();
}

QStringList UdpMachineList::identityWarnings(QString arg_ipaddr) const
{
    return m_identities.warnings(arg_ipaddr);
}

QString UdpMachineList::identityWarningText(QString arg_ipaddr) const
{
    return IdentityWatch::shownText(m_identities.warnings(arg_ipaddr));
}

QString UdpMachineList::shownText(QString arg_text) const
{
    return VisibleText::escaped(arg_text);
}

void UdpMachineList::addRecord(UdpMachineNode *record)
{
    record->m_udpcb = this;
    record->connectToCommunication();
    qCDebug(lcDiscovery) << "new unit" << record->m_ipaddr << record->m_modelname;
    addNode(record->jsonAddNode());
    m_nodes.append(record);
    // Its old record aged out while the unit restarted after an update.
    if (m_restarting.remove(record->m_ipaddr)) {
        record->markBackAfterUpdate();
        updateNode(record->jsonUpdateNode(QStringLiteral("m_after_update")));
    }
}

int UdpMachineList::returnSilenceTicks() const
{
    // A unit is searched for on one interface per tick, so with n interfaces
    // it answers every n ticks at best; two ticks more without an answer is a
    // unit that went away.
    return int(qMax(1, m_ifaces.size())) + 2;
}

bool UdpMachineList::planWrites(QString arg_model, QString arg_version, QString arg_build,
                                bool arg_olderOnly) const
{
    return UpdatePlan::verdict(arg_model, arg_version, arg_build, m_image.model,
                               m_image.versionText, m_image.buildText,
                               arg_olderOnly ? UpdatePlan::olderOnly() : UpdatePlan::allSelected())
            == UpdatePlan::Write;
}

QString UdpMachineList::versionStanding(QString arg_model, QString arg_version,
                                        QString arg_build) const
{
    return VersionStanding::tagText(
            VersionStanding::judge(arg_model, arg_version, arg_build, m_image));
}

void UdpMachineList::fwVersionCheck(QString arg_ipaddr, QString arg_password, QString arg_port)
{
    QMutexLocker locker(&m_listMutex);
    if (UdpMachineNode *node = findNode(arg_ipaddr)) {
        node->m_login_passwd = arg_password;
        node->m_port = arg_port;
        node->requestVersionCheck();
    }
}

void UdpMachineList::addTestTarget()
{
    handleSsdpResponse(SsdpSearch::testResponse(), QHostAddress(QHostAddress::LocalHost));
}

bool UdpMachineList::addDirectTarget(const QString &arg_ipaddr)
{
    // The address is the record's key: only the form the intake gives it.
    QHostAddress address;
    if (!address.setAddress(arg_ipaddr) || address.protocol() != QAbstractSocket::IPv4Protocol
        || address.toString() != arg_ipaddr)
        return false;
    QMutexLocker locker(&m_listMutex);
    if (UdpMachineNode *node = findNode(arg_ipaddr)) {
        node->m_f_direct = true;
        return true;
    }
    SsdpResponse response;
    response.parsed = true;
    response.accepted = true;
    response.ipaddr = arg_ipaddr;
    auto *record = new UdpMachineNode(response);
    record->m_f_direct = true;
    qCDebug(lcDiscovery) << "unit given directly:" << arg_ipaddr;
    addRecord(record);
    return true;
}

void UdpMachineList::fwUpdateStart(QString arg_ipaddr, QString arg_password, QString arg_port)
{
    QMutexLocker locker(&m_listMutex);
    if (UdpMachineNode *node = findNode(arg_ipaddr)) {
        node->m_login_passwd = arg_password;
        node->m_port = arg_port;
        node->requestUpdate(&m_binfile);
    }
}

UdpMachineNode *UdpMachineList::findNode(const QString &ipaddr) const
{
    for (UdpMachineNode *node : qAsConst(m_nodes)) {
        if (node->m_ipaddr == ipaddr)
            return node;
    }
    return nullptr;
}

void UdpMachineList::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId)
        return;
    ++m_searchCount;
    if (SsdpSearch::interfaceRefreshDue(m_searchCount))
        readInterfaces();
    sendSearch(m_searchCount);
    // Every unit is asked once per round of the rotation.
    const int silentLimit = SsdpSearch::silentTickLimit(m_ifaces.size());

    QMutexLocker locker(&m_listMutex);
    int i = 0;
    while (i < m_nodes.size()) {
        UdpMachineNode *node = m_nodes.at(i);
        node->ageStep();
        if (node->m_count > silentLimit) {
            emit toUiRemoveNode(node->jsonRemoveNode());
            m_nodes.removeAt(i);
            forgetIdentity(node->m_ipaddr);
            // A unit restarting after an update may take longer than the
            // ageing allows; when it answers again it is back.
            if (node->m_f_restarting)
                m_restarting.insert(node->m_ipaddr);
            // Only Idle records age, so no run refers to it any more. It is
            // destroyed on the event loop, after whatever is still queued for
            // its Communication has been delivered.
            node->m_udpcb = nullptr;
            node->deleteLater();
        } else {
            ++i;
        }
    }
}

void UdpMachineList::addNode(QString arg_str_add)
{
    emit toUiAddNode(arg_str_add);
}

void UdpMachineList::removeNode(QString arg_str_remove)
{
    emit toUiRemoveNode(arg_str_remove);
}

void UdpMachineList::updateNode(QString arg_str_update)
{
    emit toUiUpdateNode(arg_str_update);
}

void UdpMachineList::fwupProgress(QString arg_progress, QString arg_ipaddr)
{
    emit toui_fwup_progress(arg_progress, arg_ipaddr);
}

void UdpMachineList::lock()
{
    m_listMutex.lock();
}

void UdpMachineList::unlock()
{
    m_listMutex.unlock();
}
