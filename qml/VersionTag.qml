import QtQuick 2.11

// The tag beside a card's version: how the unit stands against the embedded
// image ("current", "older", "newer", "other model"), and after an update
// whether the unit came back running it ("current") or not ("not updated").
// While a completed unit restarts, and while its version is unknown, there
// is no tag. The text is plain like every text that comes from a unit.
Rectangle {
    id: id_version_tag

    // The card's fields.
    property string m_modelname: ""
    property string m_version: ""
    property string m_build: ""
    property string m_after_update: ""
    property string m_msg: ""

    // The core judges (udpmachine.versionStanding): "current", "older",
    // "newer", "other model", or "" when the version is unknown.
    readonly property string m_standing: udpmachine.versionStanding(m_modelname, m_version, m_build)
    readonly property bool m_f_restarting: m_msg === "Firmware update completed."
                                           && m_after_update !== "back"
    readonly property string m_text: {
        if (m_after_update === "back") {
            // Back after its update: anything but the image's version means
            // the update did not take.
            if (m_standing === "current" || m_standing === "other model" || m_standing === "")
                return m_standing
            return "not updated"
        }
        return m_f_restarting ? "" : m_standing
    }
    readonly property color m_failureColor: "#c62828"

    visible: m_text !== ""
    width: id_tag_text.implicitWidth + 10
    height: 18
    radius: 3
    color: {
        switch (m_text) {
        case "current": return "#2e7d32"
        case "older": return "#b26a00"
        case "newer": return "#1565c0"
        case "other model": return "#6a1b9a"
        default: return m_failureColor
        }
    }

    Text {
        id: id_tag_text
        objectName: "id_tag_text"
        anchors.centerIn: parent
        text: id_version_tag.m_text
        textFormat: Text.PlainText
        font.pixelSize: 12
        font.bold: true
        color: "white"
    }
}
