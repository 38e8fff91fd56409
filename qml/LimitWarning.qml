import QtQuick 2.11
import QtQuick.Controls 2.4

// Shown instead of the password dialog when more units are selected than
// one run takes. Its Close button is the only way out, and starts nothing.
HuDialog {
    id: id_limit_warning

    height: id_column_warinig.implicitHeight

    contentItem: Column {
        id: id_column_warinig
        Item { width: 15; height: 25 }
        Text {
            x: 30
            width: 240
            text: "More than 49 units cannot be updated at the same time.\nReduce the number of connected units."
            textFormat: Text.PlainText
            wrapMode: Text.WrapAtWordBoundaryOrAnywhere
            font.bold: true
            font.pixelSize: 15
        }
        Item { width: 15; height: 25 }
        Row {
            x: 30
            HuButton {
                id: id_button_warning_close
                width: 99
                height: 32
                m_text: "Close"
                m_fontPixelsize: 15
                onClicked: id_limit_warning.close()
            }
        }
        Item { width: 15; height: 25 }
    }
}
