import QtQuick 2.11
import QtTest 1.2

// An empty list explains itself: it says that it is searching and on how many
// network adapters; after a while without a unit it says why units may not
// appear; the explanation goes as soon as a card comes.
UiTestCase {
    id: testCase
    name: "EmptyList"

    function empty() { return item("id_empty") }
    function hint() { return item("id_text_hint") }

    function test_searchingWithAdapterCount_data() {
        return [
            { tag: "one", count: 1, text: "on 1 network adapter" },
            { tag: "three", count: 3, text: "on 3 network adapters" },
            { tag: "none", count: 0, text: "No network adapter to search on." },
        ]
    }

    function test_searchingWithAdapterCount(data) {
        udpmachine.searchInterfaceCount = data.count
        compare(empty().visible, true)
        compare(item("id_text_searching").text, "Searching for units…")
        compare(item("id_text_adapters").text, data.text)
        compare(item("id_text_searching").textFormat, Text.PlainText)
        // Inside the list's area.
        var r = empty().mapToItem(view, 0, 0)
        verify(r.x >= 0 && r.y >= 0 && r.x + empty().width <= view.width
               && r.y + empty().height <= view.height)
    }

    function test_hintWaitsTenSeconds() {
        compare(view.m_hintDelayMs, 10000)
        compare(item("id_hint_timer").interval, 10000)
        compare(item("id_hint_timer").running, true)
        compare(hint().visible, false)
    }

    function test_hintAfterTheDelay() {
        view.m_hintDelayMs = 100
        compare(hint().visible, false)
        tryCompare(hint(), "visible", true)
        compare(hint().text, "No unit has answered yet. This PC must be on the units' network, "
                             + "and network switches that filter multicast hide units from the search: "
                             + "\"Add by address\" (Ctrl+D) reaches a unit without it.")
        compare(hint().textFormat, Text.PlainText)
        // It fits inside the list, wrapped.
        var r = hint().mapToItem(view, 0, 0)
        verify(r.y + hint().height <= view.height, r.y + " " + hint().height)
        verify(hint().lineCount > 1)
    }

    function test_cardTakesTheHintAway() {
        view.m_hintDelayMs = 100
        tryCompare(hint(), "visible", true)
        addUnits(1)
        compare(empty().visible, false)
        compare(hint().visible, false)
        compare(item("id_hint_timer").running, false)
    }

    function test_cardBeforeTheDelayMeansNoHint() {
        view.m_hintDelayMs = 100
        addUnits(1)
        wait(300)
        compare(view.m_f_hint_shown, false)
        compare(empty().visible, false)
    }

    function test_emptyAgainWaitsAgain() {
        view.m_hintDelayMs = 100
        tryCompare(hint(), "visible", true)
        addUnits(1)
        udpmachine.removeUnit(address(0))
        compare(rows(), 0)
        // Searching again, and the hint only after a new wait.
        compare(empty().visible, true)
        compare(hint().visible, false)
        compare(item("id_hint_timer").running, true)
        tryCompare(hint(), "visible", true)
    }
}
