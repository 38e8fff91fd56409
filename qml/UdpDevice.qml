import QtQuick 2.11
import QtQuick.Layouts 1.0

// One discovered unit: its selection box, what the core knows about it and
// the progress of its update. The list fills the m_ properties straight from
// the core's node messages, so their names are the messages' keys.
//
// Everything shown here comes from the network, so every text is plain: a
// nickname must never be able to pull in markup, images or links.
Item {
    id: id_udpdevice

    property alias m_modelname: id_value_model.text
    property alias m_nickname: id_value_nickname.text
    property int m_state: 0
    property int m_count: 0
    property string m_login_passwd: ""
    property string m_version: ""
    property string m_build: ""
    property string m_mac: ""
    property string m_sn: ""
    property alias m_ipaddr: id_value_ipaddr.text
    property string m_uuid: ""
    // "back" once the unit answered again after its last completed update.
    property string m_after_update: ""
    // How the unit stands against the embedded image (see VersionTag.qml).
    readonly property alias m_standing: id_version_tag.m_standing

    property bool m_f_new: true
    property bool m_f_selected: false
    property alias m_msg: id_value_progress.text
    // From its first progress text on, a unit is busy, and it stays so after
    // a completed update: it is never written twice while its card exists.
    // Failed and waiting units may be picked again.
    readonly property bool m_f_now_updating: !(m_msg === ""
                                               || m_msg.indexOf("ERROR") === 0
                                               || m_msg === "Waiting")
    property bool m_f_target_this_time: true
    property int m_indexNumber: 0
    property int m_itemNumber: 0

    function update_firmware(arg_passwd) {
        if (m_f_now_updating)
            return
        m_f_selected = false
        // The core takes the port as text and reports "connecting..." for
        // this address before the call returns.
        udpmachine.fwUpdateStart(m_ipaddr, arg_passwd, 54726)
    }

    x: 0
    width: id_udplistview.width - 12
    height: 150

    Rectangle {
        id: rect_root
        anchors.fill: parent
        anchors.margins: 3
        radius: 4
        color: "snow"
        border.color: "black"
        border.width: 2

        Item {
            id: id_select_tasuki
            x: 5
            y: rect_root.border.width
            width: 40
            height: rect_root.height - rect_root.border.width * 2

            Image {
                id: id_check
                objectName: "id_check"
                x: (id_select_tasuki.width + 4 - width) / 2
                anchors.verticalCenter: parent.verticalCenter
                antialiasing: false
                sourceSize.width: 27
                sourceSize.height: 25
                source: m_f_selected ? "Resource/check_1.svg" : "Resource/check_0.svg"
                visible: !m_f_now_updating

                MouseArea {
                    anchors.fill: parent
                    onClicked: m_f_selected = !m_f_selected
                }
            }
        }

        Column {
            anchors.fill: parent
            anchors.topMargin: 5
            anchors.leftMargin: 55
            spacing: 8

            // A column leaves rows of no width unplaced: each row is as
            // wide as its texts.
            Item {
                height: 20
                width: id_label_nickname.width + 5 + id_value_nickname.width
                Text {
                    id: id_label_nickname
                    height: 20
                    text: "Nickname:"
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_nickname
                    objectName: "id_value_nickname"
                    x: id_label_nickname.width + 5
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                    font.bold: true
                }
            }
            Item {
                height: 20
                width: id_label_model.width + 5 + id_value_model.width
                Text {
                    id: id_label_model
                    height: 20
                    text: "Model:"
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_model
                    objectName: "id_value_model"
                    x: id_label_model.width + 5
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                }
            }
            Item {
                height: 20
                width: id_label_ipaddr.width + 5 + id_value_ipaddr.width
                Text {
                    id: id_label_ipaddr
                    height: 20
                    text: "IP Address:"
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_ipaddr
                    objectName: "id_value_ipaddr"
                    x: id_label_ipaddr.width + 5
                    height: 20
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                }
            }
            Item {
                height: 20
                width: id_label_version.width + 5 + id_value_version.width
                Text {
                    id: id_label_version
                    height: 20
                    text: "Firmware Version:"
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_version
                    objectName: "id_value_version"
                    x: id_label_version.width + 5
                    height: 20
                    text: m_version + " " + m_build
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                }
                VersionTag {
                    id: id_version_tag
                    objectName: "id_version_tag"
                    x: id_value_version.x + id_value_version.width + 8
                    anchors.top: id_value_version.top
                    m_card: id_udpdevice
                }
            }
            Item {
                height: 20
                width: id_label_progress.width + 5 + id_value_progress.width + id_dash.width
                Text {
                    id: id_label_progress
                    height: 20
                    text: "Progress : "
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_progress
                    objectName: "id_value_progress"
                    x: id_label_progress.width + 5
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                }
                Text {
                    id: id_dash
                    objectName: "id_dash"
                    x: id_value_progress.x + id_value_progress.width
                    anchors.top: id_value_progress.top
                    text: id_udplistview.m_dash
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                    visible: m_msg === "Writing" || m_msg === "Waiting"
                }
            }
        }
    }
}
