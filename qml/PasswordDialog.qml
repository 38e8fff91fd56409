import QtQuick 2.11
import QtQuick.Controls 2.4

// The one password of an update run. The field keeps its text from one
// opening to the next; Enter in it starts nothing, only "Update" does.
HuDialog {
    id: id_password_dialog

    // What was typed.
    property alias m_password: id_passwd.text

    // "Update" was pressed; the dialog has closed.
    signal sig_update

    height: 200
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
    onOpened: id_passwd.forceActiveFocus()

    // Fixed places: a font with taller lines must not push the buttons
    // out of the box.
    contentItem: Item {
        Text {
            x: id_passwd.x
            y: 35
            height: 20
            text: "Enter password"
            textFormat: Text.PlainText
            verticalAlignment: Text.AlignVCenter
            font.bold: true
            font.pixelSize: 15
        }
        TextField {
            id: id_passwd
            objectName: "id_passwd"
            x: (parent.width - width) / 2
            y: 70
            width: 200
            height: 30
            color: "black"
            font.pixelSize: 15
            focus: true
            echoMode: TextInput.Password
            passwordMaskDelay: 5000
            Accessible.name: "Password"
        }
        Row {
            x: (parent.width - width) / 2
            y: 155
            HuButton {
                id: id_button_cancel
                width: 99
                height: 32
                m_text: "Cancel"
                m_fontPixelsize: 15
                onClicked: id_password_dialog.close()
            }
            Item { width: 25; height: 25 }
            HuButton {
                id: id_button_update
                width: 99
                height: 32
                m_text: "Update"
                m_fontPixelsize: 15
                onClicked: {
                    id_password_dialog.close()
                    id_password_dialog.sig_update()
                }
            }
        }
    }
}
