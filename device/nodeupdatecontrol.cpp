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
    // What the unit did after an earlier update says nothing about this one.
    m_f_restarting = false;
    if (!m_after_update.isEmpty()) {
        m_after_update.clear();
        if (m_udpcb)
            m_udpcb->updateNode(jsonUpdateNode(QStringLiteral("m_after_update")));
    }
    beginUpdateRun();
}

void UdpMachineNode::requestVersionCheck()
{
    if (m_fwup_state != Idle)
        return;
    m_fwup_state = Checking;
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
    if (m_fwup_state == Idle && !m_f_direct) {
        ++m_count;
        if (m_f_restarting)
            ++m_silentTicks;
    }
}

bool UdpMachineNode::takeResponseAfterUpdate(bool versionChanged, int silenceTicks)
{
    if (!m_f_restarting)
        return false;
    // A unit that still answers as before has not gone down yet: the silence
    // is counted from its latest answer.
    if (!versionChanged && m_silentTicks < silenceTicks) {
        m_silentTicks = 0;
        return false;
    }
    markBackAfterUpdate();
    return true;
}

void UdpMachineNode::markBackAfterUpdate()
{
    m_f_restarting = false;
    m_silentTicks = 0;
    m_after_update = QStringLiteral("back");
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
    } else if (m_fwup_state == Checking) {
        // All a check wanted to know; the unit is left alone.
        m_comm.stopUpdate();
        m_fwup_state = Idle;
    }
}

void UdpMachineNode::fwup_slot_progress(QString arg_progress, QString arg_ipaddr)
{
    if (m_udpcb)
        m_udpcb->fwupProgress(arg_progress, arg_ipaddr);
    // The unit now restarts into what it was sent; the table watches for it
    // to come back.
    if (arg_progress == QLatin1String("Firmware update completed.")) {
        m_f_restarting = true;
        m_silentTicks = 0;
    }
}

void UdpMachineNode::slot_notifyMessage(QString arg_message)
{
    if (arg_message == QLatin1String("fwup_completed")) {
        m_comm.stopUpdate();
        m_fwup_state = Idle;
    }
}
