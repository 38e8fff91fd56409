import QtQuick 2.11
import QtQuick.Controls 2.4

// A unit the search cannot see (a switch that filters multicast, another
// subnet) added by its IPv4 address. It becomes a card like any other; it
// never ages out, and its name and version come with its first login.
HuDialog {
    id: id_address_dialog

    // The address as typed.
    property alias m_address: id_address.text
    // Why the last address was not taken; empty when there is nothing to say.
    property string m_error: ""

    // "Add" was pressed, or Enter in the field.
    signal sig_add

    height: 200
    closePolicy: Popup.CloseOnEscape
    onOpened: {
        m_error = ""
        id_address.selectAll()
        id_address.forceActiveFocus()
    }

    contentItem: Item {
        CutText {
            x: 50
            y: 25
            width: 200
            height: 20
            text: "Add a unit by its address"
            font.bold: true
            font.pixelSize: 15
        }
        TextField {
            id: id_address
            objectName: "id_address"
            x: 50
            y: 55
            width: 200
            height: 30
            color: "black"
            font.pixelSize: 15
            selectByMouse: true
            placeholderText: "192.168.1.20"
            inputMethodHints: Qt.ImhPreferNumbers
            Accessible.name: "Unit address"
            onTextEdited: id_address_dialog.m_error = ""
            onAccepted: id_address_dialog.sig_add()
        }
        Text {
            id: id_text_address_error
            objectName: "id_text_address_error"
            x: 50
            y: 92
            width: 200
            height: 54
            text: id_address_dialog.m_error
            textFormat: Text.PlainText
            wrapMode: Text.WrapAtWordBoundaryOrAnywhere
            maximumLineCount: 3
            elide: Text.ElideRight
            color: "#b00020"
            font.pixelSize: 13
        }
        Row {
            x: (parent.width - width) / 2
            y: 155
            HuButton {
                objectName: "id_button_address_cancel"
                width: 99
                height: 32
                m_text: "Cancel"
                m_fontPixelsize: 15
                onClicked: id_address_dialog.close()
            }
            Item { width: 25; height: 25 }
            HuButton {
                objectName: "id_button_address_add"
                width: 99
                height: 32
                m_text: "Add"
                m_fontPixelsize: 15
                onClicked: id_address_dialog.sig_add()
            }
        }
    }
}
