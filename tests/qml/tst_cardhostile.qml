import QtQuick 2.11
import QtTest 1.2

// A unit that lies: its texts shown as they are, invisible and reordering
// characters made visible, while the card keeps the exact texts; a UUID
// announced from two addresses marks both cards, with a tip that says why.
UiTestCase {
    id: testCase
    name: "CardHostile"

    readonly property string uuid: "63041253-1019-2006-1228-aabbccddeeff"

    function initCase() {
        view.m_tipDelayMs = 20
    }

    function test_hiddenCharactersShown_data() {
        return [
            { tag: "nickname", key: "m_nickname", name: "id_value_nickname",
              text: "\u202Eevil\u202C", shown: "<U+202E>evil<U+202C>" },
            { tag: "model", key: "m_modelname", name: "id_value_model",
              text: "VK-3F\u200B", shown: "VK-3F<U+200B>" },
            { tag: "version", key: "m_version", name: "id_value_version",
              text: "1.0\u20662", shown: "1.0<U+2066>2 " },
            { tag: "progress", key: "", name: "id_value_progress",
              text: "ERROR: \u001b[2J\ufeffx", shown: "ERROR: <U+001B>[2J<U+FEFF>x" },
            { tag: "plain text unchanged", key: "m_nickname", name: "id_value_nickname",
              text: "Bühne links", shown: "Bühne links" },
        ]
    }

    function test_hiddenCharactersShown(data) {
        udpmachine.addUnit(address(0), "Stage", "VK-3F", "1.02")
        if (data.key === "")
            udpmachine.progress(data.text, address(0))
        else
            udpmachine.updateUnit(address(0), data.key, data.text)
        compare(cardItem(0, data.name).text, data.shown)
        // The card keeps what the core sent, for the run record.
        compare(card(0)[data.key === "" ? "m_msg" : data.key], data.text)
        verify(card(0).Accessible.description.indexOf("\u202E") < 0)
    }

    function test_namedWithEscapes() {
        udpmachine.addUnit(address(0), "\u202Eevil", "VK-3F", "1.02")
        compare(card(0).m_shownName, "<U+202E>evil")
    }

    function test_oneUuidTwoAddresses() {
        udpmachine.addUnit(address(0), "FOH", "VK-3F", "1.02")
        udpmachine.addUnit(address(1), "FOH", "VK-3F", "1.02")
        udpmachine.announceUuid(address(0), uuid)
        compare(cardItem(0, "id_identity_mark").visible, false)
        udpmachine.announceUuid(address(1), uuid)
        var mark = cardItem(0, "id_identity_mark")
        compare(mark.visible, true)
        compare(cardItem(1, "id_identity_mark").visible, true)
        compare(mark.item.text.split("\n")[0], address(1) + " announces the same UUID " + uuid)
        verify(card(0).Accessible.description.indexOf("warning: " + address(1)) > 0)
        // The address gives way to the mark, inside the row.
        var value = cardItem(0, "id_value_ipaddr")
        verify(mark.x >= value.x + value.width)
        verify(mark.x + mark.width <= value.parent.width + 0.5)

        // Resting on the mark shows why.
        waitForRendering(win.contentItem)
        var hover = item("id_hover")
        var p = mark.mapToItem(hover, mark.width / 2, mark.height / 2)
        mouseMove(hover, p.x, p.y)
        tryCompare(item("id_tip"), "visible", true)
        compare(item("id_tip_text").text, mark.item.text)

        // It blocks nothing: the card can still be ticked and started.
        card(0).toggleSelection()
        compare(card(0).m_f_selected, true)

        // The other address goes: the first card is alone with its UUID again.
        udpmachine.removeUnit(address(1))
        compare(cardItem(0, "id_identity_mark").visible, false)
    }

    function test_uuidMovedToAnotherAddress() {
        udpmachine.addUnit(address(0), "FOH", "VK-3F", "1.02")
        udpmachine.announceUuid(address(0), uuid)
        udpmachine.removeUnit(address(0))
        udpmachine.addUnit(address(1), "FOH", "VK-3F", "1.02")
        udpmachine.announceUuid(address(1), uuid)
        var mark = cardItem(0, "id_identity_mark")
        compare(mark.visible, true)
        compare(mark.item.text.split("\n")[0],
                "UUID " + uuid + " was announced by " + address(0) + " earlier in this run")
    }

    function test_hostileUuidInTheTipIsVisible() {
        udpmachine.addUnit(address(0), "A", "VK-3F", "1.02")
        udpmachine.addUnit(address(1), "B", "VK-3F", "1.02")
        udpmachine.announceUuid(address(0), "x\u202Ey")
        udpmachine.announceUuid(address(1), "x\u202Ey")
        compare(cardItem(0, "id_identity_mark").item.text.split("\n")[0],
                address(1) + " announces the same UUID x<U+202E>y")
    }
}
