import QtQuick 2.11

// The tag beside a card's version: how the unit stands against the embedded
// image ("current", "older", "newer", "other model"), and after an update
// whether the unit came back running it ("current") or not ("not updated",
// in the failure colour). While a completed unit restarts, and while its
// version is unknown, there is no tag.
//
// One coloured word in the font of the card's nickname: a box behind it would
// cost every card a drawn rectangle, and a font of its own, for no more
// information. Plain text like every text on the card.
Text {
    id: id_version_tag

    // The card whose fields it reads (m_modelname, m_version, m_build,
    // m_after_update, m_msg): one reference rather than a copy of each.
    property Item m_card: null

    // The core judges (udpmachine.versionStanding): "current", "older",
    // "newer", "other model", or "" when the version is unknown.
    // (No core while the program closes: the table goes before the window.)
    readonly property string m_standing: m_card && udpmachine ? udpmachine.versionStanding(
                                                      m_card.m_modelname, m_card.m_version,
                                                      m_card.m_build) : ""

    text: {
        if (!m_card)
            return ""
        if (m_card.m_after_update === "back") {
            // Back after its update: anything but the image's version means
            // the update did not take.
            if (m_standing === "current" || m_standing === "other model" || m_standing === "")
                return m_standing
            return "not updated"
        }
        // Restarting after its update: what it ran before says nothing now.
        return m_card.m_msg === "Firmware update completed." ? "" : m_standing
    }
    visible: text !== ""
    textFormat: Text.PlainText
    verticalAlignment: Text.AlignVCenter
    font.pixelSize: 16
    font.bold: true
    color: {
        switch (text) {
        case "current": return "#2e7d32"
        case "older": return "#b26a00"
        case "newer": return "#1565c0"
        case "other model": return "#6a1b9a"
        default: return "#c62828"
        }
    }
}
