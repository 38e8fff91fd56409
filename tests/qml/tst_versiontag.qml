import QtQuick 2.11
import QtTest 1.2

// The tag beside a card's version, and the proof after an update. The
// stand-in core judges against the shipped image: VK-3F, 1.04, build 0119.
UiTestCase {
    id: testCase
    name: "VersionTag"

    function tag(row) {
        return cardItem(row, "id_version_tag")
    }

    function tagText(row) {
        var t = tag(row)
        return t.visible ? t.text : ""
    }

    function update(i, key, value) {
        udpmachine.updateUnit(address(i), key, value)
    }

    function test_standing_data() {
        return [
            { tag: "current", model: "VK-3F", version: "1.04", build: "", text: "current", color: "#2e7d32" },
            { tag: "same version, older build", model: "VK-3F", version: "1.04", build: "(build0110)",
              text: "older", color: "#b26a00" },
            { tag: "older", model: "VK-3F", version: "1.02", build: "", text: "older", color: "#b26a00" },
            { tag: "newer", model: "VK-3F", version: "1.10", build: "", text: "newer", color: "#1565c0" },
            { tag: "other model", model: "ZP-9E", version: "1.04", build: "", text: "other model",
              color: "#6a1b9a" },
            { tag: "version unknown", model: "VK-3F", version: "", build: "", text: "", color: "" },
            { tag: "letters", model: "VK-3F", version: "abc", build: "", text: "", color: "" },
            { tag: "double dot", model: "VK-3F", version: "1..2", build: "", text: "", color: "" },
        ]
    }

    function test_standing(data) {
        udpmachine.addUnit(address(0), "Desk", data.model, data.version)
        if (data.build !== "")
            update(0, "m_build", data.build)
        compare(tagText(0), data.text)
        compare(tag(0).visible, data.text !== "")
        compare(card(0).m_standing, data.text)
        if (data.text !== "")
            verify(Qt.colorEqual(tag(0).color, data.color), String(tag(0).color))
    }

    // A very long version text from a unit: no crash, and the card keeps
    // its size.
    function test_longVersionText() {
        var text = ""
        for (var i = 0; i < 500; ++i)
            text += "9"
        udpmachine.addUnit(address(0), "Desk", "VK-3F", "1." + text)
        compare(tagText(0), "newer")
        compare(card(0).height, 150)
        compare(card(0).width, view.width - 12)
        udpmachine.addUnit(address(1), "Desk", "VK-3F", text + "x")
        compare(tagText(1), "")
    }

    function test_tagFollowsTheVersion() {
        udpmachine.addUnit(address(0), "Desk", "VK-3F", "1.02")
        compare(tagText(0), "older")
        update(0, "m_version", "1.04")
        compare(tagText(0), "current")
        update(0, "m_build", "(build0120)")
        compare(tagText(0), "newer")
        update(0, "m_modelname", "RT-6C")
        compare(tagText(0), "other model")
    }

    function test_tagKeepsTheLayout() {
        udpmachine.addUnit(address(0), "Desk", "VK-3F", "")
        var value = cardItem(0, "id_value_version")
        var before = value.mapToItem(card(0), 0, 0)
        update(0, "m_version", "1.02")
        update(0, "m_build", "(build0100)")
        var t = tag(0)
        verify(t.visible)
        var at = value.mapToItem(card(0), 0, 0)
        compare(at.y, before.y)
        compare(at.x, before.x)
        compare(card(0).height, 150)
        // Right of the version text, on its line, inside the card.
        var tagAt = t.mapToItem(card(0), 0, 0)
        verify(tagAt.x >= at.x + value.width, tagAt.x + " vs " + (at.x + value.width))
        compare(tagAt.y, at.y)
        compare(t.font.pixelSize, 16)
        verify(tagAt.x + t.width <= card(0).width, tagAt.x + t.width)
        // The row below did not move.
        compare(cardItem(0, "id_value_progress").mapToItem(card(0), 0, 0).y, at.y + 28)
    }

    function test_proofAfterUpdate_data() {
        return [
            { tag: "back with the image's version", version: "1.04", after: "current",
              color: "#2e7d32" },
            { tag: "back with its old version", version: "", after: "not updated",
              color: "#c62828" },
            { tag: "back with a newer version", version: "1.10", after: "not updated",
              color: "#c62828" },
        ]
    }

    function test_proofAfterUpdate(data) {
        udpmachine.addUnit(address(0), "Desk", "VK-3F", "1.02")
        update(0, "m_build", "(build0100)")
        udpmachine.progress("connecting...", address(0))
        compare(tagText(0), "older")
        udpmachine.progress("Firmware update completed.", address(0))
        // Restarting: what it ran before says nothing now.
        compare(tagText(0), "")
        if (data.version !== "") {
            update(0, "m_version", data.version)
            update(0, "m_build", "")
            compare(tagText(0), "")
        }
        update(0, "m_after_update", "back")
        compare(tagText(0), data.after)
        verify(Qt.colorEqual(tag(0).color, data.color), String(tag(0).color))
        compare(card(0).m_msg, "Firmware update completed.")
    }

    function test_otherModelStaysOtherModelAfterUpdate() {
        udpmachine.addUnit(address(0), "Desk", "ZP-9E", "1.02")
        udpmachine.progress("Firmware update completed.", address(0))
        compare(tagText(0), "")
        update(0, "m_version", "1.04")
        update(0, "m_after_update", "back")
        compare(tagText(0), "other model")
    }

    // The card went while the unit restarted and came back as a new card:
    // the core says "back" right behind the add.
    function test_newCardAfterRestart() {
        udpmachine.addUnit(address(0), "Desk", "VK-3F", "1.02")
        update(0, "m_after_update", "back")
        compare(tagText(0), "not updated")
        udpmachine.addUnit(address(1), "Desk", "VK-3F", "1.04")
        update(1, "m_after_update", "back")
        compare(tagText(1), "current")
    }

    // A new run clears "back": the tag judges the version again.
    function test_newRunForgetsTheProof() {
        udpmachine.addUnit(address(0), "Desk", "VK-3F", "1.02")
        update(0, "m_after_update", "back")
        compare(tagText(0), "not updated")
        update(0, "m_after_update", "")
        compare(tagText(0), "older")
        udpmachine.progress("ERROR: Connection refused", address(0))
        compare(tagText(0), "older")
    }

    function test_tagIsPlainText() {
        compare(findChild(view, "id_version_tag"), null)
        udpmachine.addUnit(address(0), "<b>Desk</b>", "VK-3F<i>", "1.04")
        compare(tag(0).textFormat, Text.PlainText)
        compare(tagText(0), "current")
    }
}
