import QtQuick 2.11
import QtTest 1.2

// The list: one card per add message, and the messages that follow reach the
// right card.
UiTestCase {
    id: testCase
    name: "UdpListView"

    function test_addAppendsInArrivalOrder() {
        addUnits(3)
        compare(rows(), 3)
        for (var i = 0; i < 3; ++i) {
            compare(card(i).m_ipaddr, address(i))
            compare(card(i).m_nickname, "Unit " + i)
            compare(card(i).m_f_new, false)
            compare(card(i).m_itemNumber, i)
            compare(card(i).m_indexNumber, i)
            // each card in its loader, the loaders stacked without spacing
            compare(card(i).y, 0)
            tryCompare(card(i).parent, "y", 150 * i)
        }
        tryCompare(findChild(view, "id_flickable"), "contentHeight", 450)
    }

    function test_addThatIsNotAnObjectCreatesNoCard_data() {
        return [
            { tag: "garbage", text: "not json" },
            { tag: "truncated", text: '{\n    "action": "add",\n    "m_ipaddr": "10.77.0.10"' },
            { tag: "empty", text: "" },
            { tag: "array", text: '["m_ipaddr", "10.77.0.10"]' },
            { tag: "number", text: "42" },
            { tag: "null", text: "null" },
        ]
    }

    function test_addThatIsNotAnObjectCreatesNoCard(data) {
        udpmachine.sendAdd(data.text)
        compare(rows(), 0)
        // and the next good message gets its own, filled card
        addUnits(1)
        compare(rows(), 1)
        compare(card(0).m_ipaddr, address(0))
        compare(card(0).m_nickname, "Unit 0")
    }

    function test_addIgnoresForeignKeys() {
        udpmachine.sendAdd('{"action": "add", "m_ipaddr": "10.77.0.10", "m_msg": "Writing",'
                           + ' "m_f_selected": "true", "m_f_target_this_time": "", "nickname": "x"}')
        compare(rows(), 1)
        compare(card(0).m_ipaddr, "10.77.0.10")
        compare(card(0).m_msg, "")
        compare(card(0).m_f_selected, false)
        compare(card(0).m_f_target_this_time, true)
        compare(card(0).m_nickname, "")
    }

    function test_updateCopiesOnlyChangedValues() {
        addUnits(2)
        var c = card(0)
        var nicknameSpy = createTemporaryQmlObject("import QtTest 1.2; SignalSpy {}", testCase)
        nicknameSpy.target = c
        nicknameSpy.signalName = "m_nicknameChanged"
        var modelSpy = createTemporaryQmlObject("import QtTest 1.2; SignalSpy {}", testCase)
        modelSpy.target = c
        modelSpy.signalName = "m_modelnameChanged"
        udpmachine.sendUpdate('{"action": "update", "m_ipaddr": "10.77.0.10", "m_modelname": "VL-3F",'
                              + ' "m_nickname": "Unit 0"}')
        compare(nicknameSpy.count, 0)
        compare(modelSpy.count, 1)
        compare(c.m_modelname, "VL-3F")
        // members the message does not carry stay as they were
        compare(c.m_version, "1.02")
        compare(c.m_nickname, "Unit 0")
        // the other card is untouched
        compare(card(1).m_modelname, "VK-3F")
    }

    function test_messagesForUnknownAddressChangeNothing() {
        addUnits(2)
        udpmachine.updateUnit("10.77.0.99", "m_nickname", "Ghost")
        udpmachine.removeUnit("10.77.0.99")
        udpmachine.sendUpdate("not json")
        udpmachine.sendRemove("{")
        udpmachine.progress("Firmware update completed.", "10.77.0.99")
        udpmachine.progress("ERROR: Connection refused", "10.77.0.99")
        // an address is compared as a whole text
        udpmachine.progress("Writing", "10.77.0.1")
        compare(rows(), 2)
        compare(card(0).m_nickname, "Unit 0")
        compare(card(1).m_nickname, "Unit 1")
        compare(card(0).m_msg, "")
        compare(card(1).m_msg, "")
        compare(view.m_nofOKUnits, 0)
        compare(view.m_nofNGUnits, 0)
    }

    function test_secondAddForSameAddress() {
        udpmachine.addUnit("10.77.0.10", "First")
        udpmachine.addUnit("10.77.0.10", "Second")
        compare(rows(), 2)
        udpmachine.updateUnit("10.77.0.10", "m_nickname", "Renamed")
        udpmachine.progress("Sending... 12%", "10.77.0.10")
        compare(card(0).m_nickname, "Renamed")
        compare(card(0).m_msg, "Sending... 12%")
        compare(card(1).m_nickname, "Second")
        compare(card(1).m_msg, "")
        udpmachine.removeUnit("10.77.0.10")
        compare(rows(), 1)
        compare(card(0).m_nickname, "Second")
        // now the second card is the first with that address
        udpmachine.progress("Writing", "10.77.0.10")
        compare(card(0).m_msg, "Writing")
    }

    function test_removeKeepsRowNumbers() {
        addUnits(4)
        udpmachine.removeUnit(address(1))
        compare(rows(), 3)
        var expected = [0, 2, 3]
        for (var i = 0; i < 3; ++i) {
            compare(card(i).m_ipaddr, address(expected[i]))
            compare(card(i).m_indexNumber, i)
            compare(card(i).m_itemNumber, expected[i])
        }
        addUnits(1) // the same address as row 0 again, appended at the end
        compare(card(3).m_itemNumber, 3)
        compare(card(3).m_indexNumber, 3)
    }

    function test_selectAllSkipsUpdatingCards() {
        addUnits(6)
        var texts = ["", "Firmware update completed.", "ERROR: Connection refused", "connecting...", "Waiting",
                     "Starting..."]
        for (var i = 0; i < texts.length; ++i)
            card(i).m_msg = texts[i]
        // a selection made before is never cleared
        card(3).m_f_selected = true
        selectAll()
        var expected = [true, false, true, true, true, false]
        for (i = 0; i < texts.length; ++i)
            compare(card(i).m_f_selected, expected[i], "row " + i + " " + texts[i])
    }

    function test_dotsCycle() {
        addUnits(1)
        card(0).m_msg = "Writing"
        var dash = cardItem(0, "id_dash")
        var seen = []
        for (var i = 0; i < 8; ++i) {
            tick()
            compare(dash.text, view.m_dash)
            seen.push(view.m_dash)
        }
        compare(seen, [".", "..", "...", "", ".", "..", "...", ""])
    }

    function test_scrollBarHandle() {
        addUnits(10)
        var flick = findChild(view, "id_flickable")
        tryCompare(flick, "contentHeight", 1500)
        var bar = item("id_scrollbar")
        verify(bar)
        compare(bar.contentItem.implicitWidth, 12)
        compare(bar.contentItem.color, Qt.rgba(0xd4 / 255, 0xd4 / 255, 0xd8 / 255, 0xb3 / 255))
        compare(bar.x + bar.width, flick.width)
        compare(bar.contentItem.opacity, 0.7)
    }
}
