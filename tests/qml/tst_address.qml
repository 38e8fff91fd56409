import QtQuick 2.11
import QtTest 1.2

// "Add by address": from the empty list's button or Ctrl+D at any time, an
// IPv4 address becomes a card through the table's direct target.
UiTestCase {
    id: testCase
    name: "AddByAddress"

    function test_addresses_data() {
        return [
            { tag: "plain", typed: "10.77.0.50", taken: "10.77.0.50", error: "" },
            { tag: "blanks around", typed: "  10.77.0.51 ", taken: "10.77.0.51", error: "" },
            { tag: "not dotted", typed: "10.77.52", taken: "",
              error: "Not an IPv4 address. Type it as four numbers with dots, such as 192.168.1.20." },
            { tag: "a name", typed: "rack-1.local", taken: "",
              error: "Not an IPv4 address. Type it as four numbers with dots, such as 192.168.1.20." },
            { tag: "IPv6", typed: "fe80::1", taken: "",
              error: "Not an IPv4 address. Type it as four numbers with dots, such as 192.168.1.20." },
            { tag: "in the list", typed: "10.77.0.10", taken: "10.77.0.10", known: true,
              error: "10.77.0.10 is in the list already." },
        ]
    }

    function test_addresses(data) {
        if (data.known)
            addUnits(1)
        var before = rows()
        // Ctrl+D, whether the list is empty or not.
        keyClick(Qt.Key_D, Qt.ControlModifier)
        var dialog = item("id_popup_address")
        tryCompare(dialog, "opened", true)
        verify(item("id_address").activeFocus)
        compare(item("id_address").Accessible.name, "Unit address")
        item("id_address").text = data.typed
        keyClick(Qt.Key_Return)
        compare(udpmachine.directTargets(), data.taken === "" ? [] : [data.taken])
        compare(item("id_text_address_error").text, data.error)
        if (data.error === "") {
            tryCompare(dialog, "visible", false)
            compare(rows(), before + 1)
            compare(card(before).m_ipaddr, data.taken)
            // Nothing is known of it yet: the plan leaves it out of "older only".
            compare(card(before).m_standing, "")
        } else {
            compare(dialog.visible, true)
            compare(rows(), before)
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
        }
    }

    function test_fromTheEmptyList() {
        var button = item("id_button_add_by_address")
        verify(button.visible)
        mouseClick(button)
        tryCompare(item("id_popup_address"), "opened", true)
        mouseClick(findButton(item("id_popup_address").contentItem, "Cancel"))
        tryCompare(item("id_popup_address"), "visible", false)
        compare(udpmachine.directTargets(), [])
    }

    // Not while a run's overlay is up.
    function test_notDuringARun() {
        addUnits(1)
        selectAll()
        runUpdate("pw")
        keyClick(Qt.Key_D, Qt.ControlModifier)
        wait(50)
        compare(item("id_popup_address").visible, false)
    }
}
