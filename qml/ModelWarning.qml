import QtQuick 2.11
import QtQuick.Controls 2.4

// Asked before the password when the selection holds units the embedded
// image is not for; "Update anyway" goes on, "Cancel" keeps the selection.
HuDialog {
    id: id_model_warning

    // How many of the selected units are of another model, and the image's.
    property int m_nofOtherModelUnits: 0
    property string m_imageModel: ""

    // "Update anyway" was pressed; the dialog has closed.
    signal sig_updateAnyway

    height: id_column_model_warning.implicitHeight

    contentItem: Column {
        id: id_column_model_warning
        Item { width: 15; height: 25 }
        Text {
            id: id_text_model_warning
            objectName: "id_text_model_warning"
            x: 30
            width: 240
            text: m_nofOtherModelUnits + " of the selected units are not " + m_imageModel + " units."
            textFormat: Text.PlainText
            wrapMode: Text.WrapAtWordBoundaryOrAnywhere
            font.bold: true
            font.pixelSize: 15
        }
        Item { width: 15; height: 25 }
        Row {
            x: 30
            HuButton {
                id: id_button_model_cancel
                width: 99
                height: 32
                m_text: "Cancel"
                m_fontPixelsize: 15
                onClicked: id_model_warning.close()
            }
            Item { width: 11; height: 25 }
            HuButton {
                id: id_button_update_anyway
                width: 130
                height: 32
                m_text: "Update anyway"
                m_fontPixelsize: 15
                onClicked: {
                    id_model_warning.close()
                    id_model_warning.sig_updateAnyway()
                }
            }
        }
        Item { width: 15; height: 25 }
    }
}
