// UdpMachineNode: the record's side of a firmware update run.
#include "device/udpmachinenode.h"

#include "core/logging.h"
#include "device/udpcb.h"

void UdpMachineNode::connectToCommunication()
{
    connect(&m_comm, &Communication::fwup_initCompleted, this, &UdpMachineNode::slot_initCompleted);
    connect(&m_comm, &Communication::fwup_progress, this, &UdpMachineNode::fwup_slot_progress);
    connect(&m_comm, &Communication::sig_notifyMessage, this, &UdpMachineNode::slot_notifyMessage);
}

void UdpMachineNode::requestUpdate(const QByteArray *image)
{
    // A unit that is already being updated keeps its run; only the password
    // and port the table stored before calling change.
    if (m_fwup_state != Idle)
        return;
    m_fwup_state = Starting;
    m_fwup_image = image;
    beginUpdateRun();
}

void UdpMachineNode::beginUpdateRun()
{
    MixerProtocol &protocol = m_comm.m_protocol;
    m_comm.linkProtocol();

    const QString host = m_ipaddr + QLatin1Char(':') + m_port;
    qCDebug(lcDevice) << "update run for" << host;
    protocol.connectToDevice(host, m_login_passwd);
    m_comm.m_deviceAddress = host.section(QLatin1Char(':'), 0, 0);
    m_comm.reportProgress(QStringLiteral("connecting..."));
    m_comm.m_sentBytes = 0;
}

void UdpMachineNode::ageStep()
{
    if (m_fwup_state == Idle && !m_f_direct)
        ++m_count;
}

void UdpMachineNode::slot_initCompleted()
{
    m_modelname = m_comm.m_deviceName;
    m_version = m_comm.m_fwVersion;
    m_build = QStringLiteral("(build") + m_comm.m_fwBuild + QLatin1Char(')');
    if (m_udpcb) {
        m_udpcb->updateNode(jsonUpdateNode(QStringLiteral("m_modelname")));
        m_udpcb->updateNode(jsonUpdateNode(QStringLiteral("m_version")));
        m_udpcb->updateNode(jsonUpdateNode(QStringLiteral("m_build")));
    }
    if (m_fwup_state == Starting) {
        m_fwup_state = Transferring;
        m_comm.startUpdate(m_fwup_image);
    }
}

void UdpMachineNode::fwup_slot_progress(QString arg_progress, QString arg_ipaddr)
{
    if (m_udpcb)
        m_udpcb->fwupProgress(arg_progress, arg_ipaddr);
}

void UdpMachineNode::slot_notifyMessage(QString arg_message)
{
    if (arg_message == QLatin1String("fwup_completed")) {
        m_comm.stopUpdate();
        m_fwup_state = Idle;
    }
}
