import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.0

ApplicationWindow {
    id: base_window
    visible: true
    width: 480
    height: 700
    minimumWidth: 480
    minimumHeight: 700
    maximumWidth: 480
    color: "#2e3033"
    title: text_software.text

    Rectangle {
        id: top
        objectName: "top"
        width: parent.width
        height: id_column_top.height
        color: "black"

        Column {
            id: id_column_top
            width: parent.width

            Text {
                id: text_software
                width: parent.width
                height: 40
                text: "VORANT KVX Series Firmware Updater"
                textFormat: Text.PlainText
                font.pixelSize: 20
                font.bold: true
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            Item { width: 10; height: 10 }
            Text {
                id: text_target_version
                width: parent.width
                height: 20
                text: "TO VERSION: " + firmVersion + " (build" + firmBuild + ")"
                textFormat: Text.PlainText
                font.pixelSize: 20
                font.bold: true
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            Item { width: 10; height: 20 }
        }
    }

    UdpListView {
        id: id_view_udplist
        objectName: "id_view_udplist"
        x: 0
        y: top.height
        width: parent.width
        height: parent.height - bottom.height - top.height
    }

    Rectangle {
        id: bottom
        objectName: "bottom"
        width: parent.width
        height: bottom_column.height
        y: parent.height - height
        color: "#888888"

        Column {
            id: bottom_column
            width: parent.width

            Item { width: 25; height: 25 }
            Row {
                x: (bottom_column.width - width) / 2
                // Nothing beneath a dialog or the overlay takes keys (nor
                // clicks). On the row: a button's own "enabled", a mouse
                // area's, only concerns the mouse.
                enabled: !id_view_udplist.m_f_modal
                HuButton {
                    id: id_button_select_all
                    width: 200
                    height: 52
                    m_text: "Select all"
                    m_fontPixelsize: 15
                    onClicked: id_view_udplist.selectAllUnits()
                }
                Item { width: 25; height: 25 }
                HuButton {
                    id: id_button_update_selected
                    width: 200
                    height: 52
                    m_text: "Update selected units"
                    m_fontPixelsize: 15
                    onClicked: id_view_udplist.updateSelectedUnits()
                }
            }
            Item { width: 15; height: 15 }
        }
    }

    Component.onCompleted: console.log("qttime " + Qt.formatDateTime(new Date(), "yyyy-MM-dd hh:mm"))
}
