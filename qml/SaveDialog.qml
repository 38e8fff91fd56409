import QtQuick 2.11
import QtQuick.Controls 2.4

// Where the report goes: a path field, ready to take with Save. The dialog
// stays open after saving and says where the file went, or why it did not.
HuDialog {
    id: id_save_dialog

    // The path as typed.
    property alias m_path: id_report_path.text
    // The file Save would write over once pressed again, where the last
    // save went, and why the last save failed; the list sets them.
    property string m_replacing: ""
    property string m_saved: ""
    property string m_error: ""
    // Units of the run still restarting when the report was saved: the
    // report has no version after the update for them.
    property int m_restarting: 0

    // Save was pressed, or Enter in the path field.
    signal sig_save

    z: 1
    width: 360
    height: 200
    closePolicy: Popup.CloseOnEscape
    onOpened: id_report_path.forceActiveFocus()

    contentItem: Item {
        CutText {
            x: 15
            y: 15
            width: parent.width - 30
            height: 20
            text: "Save the report of this run as"
            font.bold: true
            font.pixelSize: 15
        }
        TextField {
            id: id_report_path
            objectName: "id_report_path"
            x: 15
            y: 45
            width: parent.width - 30
            height: 30
            color: "black"
            font.pixelSize: 13
            selectByMouse: true
            Accessible.name: "Report file"
            onTextEdited: {
                id_save_dialog.m_replacing = ""
                id_save_dialog.m_error = ""
                id_save_dialog.m_saved = ""
            }
            // Here Enter saves: there is nothing else it could mean.
            onAccepted: id_save_dialog.sig_save()
        }
        Text {
            id: id_text_save_message
            objectName: "id_text_save_message"
            x: 15
            y: 85
            width: parent.width - 30
            height: 54
            text: id_save_dialog.m_error !== "" ? id_save_dialog.m_error
                : id_save_dialog.m_replacing !== "" ? "The file exists. Press Save again to replace it."
                : id_save_dialog.m_saved !== "" ? "Saved: " + id_save_dialog.m_saved
                      + (id_save_dialog.m_restarting === 0 ? ""
                         : id_save_dialog.m_restarting === 1
                           ? "\n1 unit was still restarting: no version after the update for it."
                           : "\n" + id_save_dialog.m_restarting
                             + " units were still restarting: no version after the update for them.")
                : "CSV for a spreadsheet; a name ending in .json gives JSON."
            textFormat: Text.PlainText
            wrapMode: Text.WrapAtWordBoundaryOrAnywhere
            maximumLineCount: 3
            elide: Text.ElideRight
            clip: true
            color: id_save_dialog.m_error !== "" ? "#b00020" : "black"
            font.pixelSize: 13
        }
        Row {
            x: (parent.width - width) / 2
            y: 155
            HuButton {
                id: id_button_save_cancel
                objectName: "id_button_save_cancel"
                width: 99
                height: 32
                m_text: id_save_dialog.m_saved !== "" ? "Close" : "Cancel"
                m_fontPixelsize: 15
                onClicked: id_save_dialog.close()
            }
            Item { width: 25; height: 25 }
            HuButton {
                id: id_button_save
                objectName: "id_button_save"
                width: 99
                height: 32
                m_text: "Save"
                m_fontPixelsize: 15
                onClicked: id_save_dialog.sig_save()
            }
        }
    }
}
