import QtQuick 2.11
import QtQuick.Layouts 1.0

// One discovered unit: its selection box, what the core knows about it and
// the progress of its update. The list fills the m_ properties straight from
// the core's node messages, so their names are the messages' keys.
//
// Everything shown here comes from the network, so every text is plain: a
// nickname must never be able to pull in markup, images or links. And every
// text is shown through udpmachine.shownText: a character that hides or turns
// text around ("\u202Eevil" reads "live") shows as its escape ("<U+202E>").
// The m_ properties keep the exact texts of the node messages.
//
// The rows have fixed places and heights and every value ends at the card's
// right edge: a text too long for its line is cut with "…" and shown whole in
// a tip when the mouse rests on it, and a fallback font with taller lines
// (a Japanese nickname, say) cannot push a row out of the card.
Item {
    id: id_udpdevice

    property string m_modelname: ""
    property string m_nickname: ""
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
    property string m_msg: ""
    // From its first progress text on, a unit is busy, and it stays so after
    // a completed update: it is not written twice while its card exists.
    // Failed and waiting units may be picked again, and so may a unit that
    // came back from its update without the image's version: the write did
    // not take, and only another one helps.
    readonly property bool m_f_write_not_taken: id_version_tag.text === "not updated"
    readonly property bool m_f_now_updating: !(m_msg === ""
                                               || m_msg.indexOf("ERROR") === 0
                                               || m_msg === "Waiting"
                                               || m_f_write_not_taken)
    property bool m_f_target_this_time: true
    property int m_indexNumber: 0
    property int m_itemNumber: 0
    // The update run the unit was selected for (the list counts its runs).
    property int m_runNumber: 0
    // Which of the run's passwords it was last started with (the list
    // counts them).
    property int m_passwordTry: 0

    // How screen readers and the tips name the unit: its nickname, or its
    // address while it has none.
    readonly property string m_shownName: m_nickname !== "" ? shown(m_nickname) : m_ipaddr
    // What is suspicious about who the unit says it is (its UUID announced
    // from two addresses, or from another one earlier), for a person; ""
    // when nothing is. It warns and blocks nothing.
    readonly property string m_identityWarning: udpmachine && udpmachine.identityRevision >= 0
                                                ? udpmachine.identityWarningText(m_ipaddr) : ""

    // (No core while the program closes: the table goes before the window.)
    function shown(text) {
        return udpmachine ? udpmachine.shownText(text) : ""
    }

    function update_firmware(arg_passwd) {
        if (m_f_now_updating)
            return
        m_f_selected = false
        // The core takes the port as text and reports "connecting..." for
        // this address before the call returns.
        udpmachine.fwUpdateStart(m_ipaddr, arg_passwd, 54726)
    }

    // The value under a point of the card, if it is cut short, or the
    // identity mark, whose text is its tip (the list's hover area asks).
    function cutValueAt(x, y) {
        var mark = id_identity_mark.item
        if (mark) {
            var m = id_udpdevice.mapToItem(mark, x, y)
            if (m.x >= 0 && m.x < mark.width && m.y >= 0 && m.y < mark.height)
                return mark
        }
        var values = [id_value_nickname, id_value_model, id_value_ipaddr, id_value_version,
                      id_value_progress]
        for (var i = 0; i < values.length; ++i) {
            var row = values[i].parent
            var p = id_udpdevice.mapToItem(row, x, y)
            if (p.y >= 0 && p.y < row.height && p.x >= 0 && p.x < row.width)
                return values[i].truncated ? values[i] : null
        }
        return null
    }

    function toggleSelection() {
        if (!m_f_now_updating)
            m_f_selected = !m_f_selected
    }

    x: 0
    width: id_udplistview.width - 12
    height: 150

    Accessible.role: Accessible.ListItem
    Accessible.name: m_shownName
    Accessible.description: "Model " + shown(m_modelname) + ", address " + m_ipaddr
                            + ", firmware "
                            + shown(m_build !== "" ? m_version + " " + m_build : m_version)
                            + (m_msg !== "" ? ", " + shown(m_msg) : "")
                            + (m_identityWarning !== "" ? ", warning: " + m_identityWarning : "")

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
                activeFocusOnTab: true
                // No Tab stop while a dialog or the progress overlay is up:
                // the keyboard must not reach what the mouse cannot.
                enabled: !id_udplistview.m_f_modal

                Accessible.role: Accessible.CheckBox
                Accessible.name: "Select " + m_shownName
                Accessible.checkable: true
                Accessible.checked: m_f_selected
                Accessible.focusable: true
                Accessible.onToggleAction: toggleSelection()
                Accessible.onPressAction: toggleSelection()

                Keys.onPressed: {
                    if (event.key === Qt.Key_Space || event.key === Qt.Key_Return
                            || event.key === Qt.Key_Enter) {
                        event.accepted = true
                        if (!event.isAutoRepeat)
                            toggleSelection()
                    }
                }

                MouseArea {
                    anchors.fill: parent
                    onClicked: toggleSelection()
                }
            }
        }

        Column {
            id: id_column
            objectName: "id_column"
            anchors.fill: parent
            anchors.topMargin: 5
            anchors.leftMargin: 55
            anchors.rightMargin: 8
            spacing: 8

            Item {
                objectName: "id_row_nickname"
                height: 20
                width: parent.width
                Text {
                    id: id_label_nickname
                    height: 20
                    text: "Nickname:"
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_nickname
                    objectName: "id_value_nickname"
                    x: id_label_nickname.width + 5
                    width: Math.max(0, Math.min(implicitWidth, parent.width - x))
                    height: 20
                    text: shown(m_nickname)
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    font.pixelSize: 16
                    font.bold: true
                }
            }
            Item {
                objectName: "id_row_model"
                height: 20
                width: parent.width
                Text {
                    id: id_label_model
                    height: 20
                    text: "Model:"
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_model
                    objectName: "id_value_model"
                    x: id_label_model.width + 5
                    width: Math.max(0, Math.min(implicitWidth, parent.width - x))
                    height: 20
                    text: shown(m_modelname)
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    font.pixelSize: 16
                }
            }
            Item {
                objectName: "id_row_ipaddr"
                height: 20
                width: parent.width
                Text {
                    id: id_label_ipaddr
                    height: 20
                    text: "IP Address:"
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_ipaddr
                    objectName: "id_value_ipaddr"
                    x: id_label_ipaddr.width + 5
                    // The identity mark keeps its place at the row's end.
                    width: Math.max(0, Math.min(implicitWidth, parent.width - x
                                                - (id_identity_mark.visible
                                                   ? id_identity_mark.width + 8 : 0)))
                    height: 20
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    font.pixelSize: 16
                }
                // A mark beside the address while its identity is in doubt;
                // resting the mouse on it shows why (its text is the tip).
                // Made only for such a unit: most cards never need it.
                Loader {
                    id: id_identity_mark
                    objectName: "id_identity_mark"
                    x: id_value_ipaddr.x + id_value_ipaddr.width + 8
                    height: 20
                    active: m_identityWarning !== ""
                    visible: active
                    sourceComponent: Item {
                        readonly property string text: m_identityWarning
                        width: id_identity_mark_text.implicitWidth
                        height: 20
                        Text {
                            id: id_identity_mark_text
                            height: 20
                            text: "\u26A0 same UUID"
                            textFormat: Text.PlainText
                            verticalAlignment: Text.AlignVCenter
                            font.pixelSize: 16
                            font.bold: true
                            color: "#c62828"
                        }
                    }
                }
            }
            Item {
                objectName: "id_row_version"
                height: 20
                width: parent.width
                Text {
                    id: id_label_version
                    height: 20
                    text: "Firmware Version:"
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_version
                    objectName: "id_value_version"
                    x: id_label_version.width + 5
                    // The tag keeps its place at the row's end; a long version
                    // gives way to it.
                    width: Math.max(0, Math.min(implicitWidth, parent.width - x
                                                - (id_version_tag.visible
                                                   ? id_version_tag.implicitWidth + 8 : 0)))
                    height: 20
                    text: shown(m_version + " " + m_build)
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    font.pixelSize: 16
                }
                VersionTag {
                    id: id_version_tag
                    objectName: "id_version_tag"
                    x: id_value_version.x + id_value_version.width + 8
                    height: 20
                    m_card: id_udpdevice
                }
            }
            Item {
                objectName: "id_row_progress"
                height: 20
                width: parent.width
                Text {
                    id: id_label_progress
                    height: 20
                    text: "Progress : "
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: 16
                    color: "darkslategray"
                }
                Text {
                    id: id_value_progress
                    objectName: "id_value_progress"
                    x: id_label_progress.width + 5
                    // Room for the moving dots is kept whether or not they
                    // show, so that the text does not jump as they come.
                    width: Math.max(0, Math.min(implicitWidth,
                                                parent.width - x - id_udplistview.m_dashWidth))
                    height: 20
                    text: shown(m_msg)
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    font.pixelSize: 16
                }
                Text {
                    id: id_dash
                    objectName: "id_dash"
                    x: id_value_progress.x + id_value_progress.width
                    y: id_value_progress.y
                    height: 20
                    text: id_udplistview.m_dash
                    textFormat: Text.PlainText
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: 16
                    visible: m_msg === "Writing" || m_msg === "Waiting"
                }
            }
        }
    }
}
