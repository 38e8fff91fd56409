import QtQuick 2.11
import QtQuick.Controls 2.4

// The one password of an update run. The field keeps its text from one
// opening to the next; Enter in it starts nothing, only "Update" does.
HuDialog {
    id: id_password_dialog

    // What was typed.
    property alias m_password: id_passwd.text

    // Opened again in a run whose units rejected the password: why, and how
    // many units the new password goes to. Empty at a run's start.
    property string m_retryText: ""
    property bool m_f_update_pressed: false

    // "Update" was pressed; the dialog has closed.
    signal sig_update
    // Closed any other way: Cancel, Escape or a press outside.
    signal sig_cancel

    // Above the progress overlay when a run asks again.
    z: 1
    height: 200
    // Asked again in a run, a stray press outside must not end it.
    closePolicy: m_retryText !== "" ? Popup.CloseOnEscape
                                    : Popup.CloseOnEscape | Popup.CloseOnPressOutside
    onOpened: id_passwd.forceActiveFocus()
    onClosed: {
        if (!m_f_update_pressed)
            sig_cancel()
        m_f_update_pressed = false
    }

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
        Text {
            id: id_text_retry
            objectName: "id_text_retry"
            x: id_passwd.x
            y: 104
            width: id_passwd.width
            height: 46
            text: m_retryText
            visible: m_retryText !== ""
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
                    id_password_dialog.m_f_update_pressed = true
                    id_password_dialog.close()
                    id_password_dialog.sig_update()
                }
            }
        }
    }
}
