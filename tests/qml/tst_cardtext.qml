import QtQuick 2.11
import QtTest 1.2

// Texts that fit: a value too long for its line on a card is cut at the right
// and stays inside the card; resting the mouse on it shows it whole in a tip.
UiTestCase {
    id: testCase
    name: "CardText"

    readonly property string longError: "ERROR: The remote host closed the connection"
    readonly property string longNickname: "Front of House Main Left Hang Upper Cabinet Number Seven"

    function initCase() {
        view.m_tipDelayMs = 20
    }

    function row(name) {
        return cardItem(0, name).parent
    }

    function tip() { return item("id_tip") }

    // A point on a value, in the list's hover area, once the list has laid
    // out its cards (as before anything a user can point at is drawn).
    function hoverOn(value) {
        waitForRendering(win.contentItem)
        var hover = item("id_hover")
        var p = value.mapToItem(hover, Math.min(value.width / 2, 20), value.height / 2)
        mouseMove(hover, p.x, p.y)
    }

    function test_shortTextsAreWhole() {
        udpmachine.addUnit(address(0), "Stage Left", "ZP-9E", "1.02")
        udpmachine.progress("Sending... 37%", address(0))
        var names = ["id_value_nickname", "id_value_model", "id_value_ipaddr", "id_value_version",
                     "id_value_progress"]
        for (var i = 0; i < names.length; ++i) {
            var value = cardItem(0, names[i])
            compare(value.truncated, false, names[i])
            compare(value.width, value.implicitWidth, names[i])
            compare(value.elide, Text.ElideRight, names[i])
        }
    }

    function test_longTextCutAtTheCardsEdge_data() {
        return [
            { tag: "nickname", name: "id_value_nickname", key: "m_nickname" },
            { tag: "model", name: "id_value_model", key: "m_modelname" },
            { tag: "version", name: "id_value_version", key: "m_version" },
            { tag: "progress", name: "id_value_progress", key: "" },
        ]
    }

    function test_longTextCutAtTheCardsEdge(data) {
        addUnits(1)
        var text = data.key === "" ? longError : longNickname + " " + longNickname
        if (data.key === "")
            udpmachine.progress(text, address(0))
        else
            udpmachine.updateUnit(address(0), data.key, text)
        var value = cardItem(0, data.name)
        verify(value.text.indexOf(text) === 0, value.text)
        compare(value.truncated, true)
        verify(value.width < value.implicitWidth)
        // Its right edge is the row's, inside the card's frame.
        var r = value.mapToItem(card(0), 0, 0)
        var frame = card(0).children[0]
        verify(r.x + value.width <= frame.x + frame.width - frame.border.width,
               (r.x + value.width) + " > frame " + (frame.x + frame.width))
        verify(value.x + value.width <= row(data.name).width + 0.5)
        // Plain text stays plain.
        compare(value.textFormat, Text.PlainText)
    }

    function test_dotsStayBesideACutText() {
        addUnits(1)
        card(0).m_msg = "Waiting" + new Array(40).join(" and waiting")
        var value = cardItem(0, "id_value_progress")
        var dash = cardItem(0, "id_dash")
        compare(value.truncated, true)
        compare(dash.x, value.x + value.width)
        verify(dash.x + dash.width <= row("id_value_progress").width + 0.5)
    }

    function test_tipShowsTheWholeText_data() {
        return [
            { tag: "nickname", name: "id_value_nickname" },
            { tag: "progress", name: "id_value_progress" },
        ]
    }

    function test_tipShowsTheWholeText(data) {
        udpmachine.addUnit(address(0), longNickname, "ZP-9E", "1.02")
        udpmachine.progress(longError, address(0))
        var value = cardItem(0, data.name)
        verify(value.truncated)
        compare(tip().visible, false)
        hoverOn(value)
        tryCompare(tip(), "visible", true)
        var text = item("id_tip_text")
        compare(text.text, value.text)
        compare(text.textFormat, Text.PlainText)
        // Whole: nothing of it is cut, and the tip lies inside the window.
        compare(text.truncated, false)
        verify(tip().x >= 0 && tip().x + tip().width <= win.width, tip().x + " " + tip().width)
        verify(tip().y >= 0 && tip().y + tip().height <= win.height, tip().y + " " + tip().height)
        // Below the text it belongs to.
        var below = value.mapToItem(tip().parent, 0, value.height)
        verify(tip().y >= below.y, tip().y + " vs " + below.y)
    }

    function test_noTipForATextThatFits() {
        udpmachine.addUnit(address(0), longNickname, "ZP-9E", "1.02")
        hoverOn(cardItem(0, "id_value_model"))
        wait(view.m_tipDelayMs * 5)
        compare(tip().visible, false)
        // From a cut text to one that fits: the tip goes.
        hoverOn(cardItem(0, "id_value_nickname"))
        tryCompare(tip(), "visible", true)
        hoverOn(cardItem(0, "id_value_model"))
        compare(tip().visible, false)
    }

    function test_tipGoesWhenTheMouseLeaves() {
        udpmachine.addUnit(address(0), longNickname, "ZP-9E", "1.02")
        hoverOn(cardItem(0, "id_value_nickname"))
        tryCompare(tip(), "visible", true)
        mouseMove(win.contentItem, 5, win.height - 5)
        tryCompare(tip(), "visible", false)
    }

    function test_tipGoesWithItsCard() {
        udpmachine.addUnit(address(0), longNickname, "ZP-9E", "1.02")
        hoverOn(cardItem(0, "id_value_nickname"))
        tryCompare(tip(), "visible", true)
        udpmachine.removeUnit(address(0))
        compare(rows(), 0)
        compare(tip().visible, false)
    }

    function test_markupInTipStaysPlain() {
        var nickname = '<img src="http://10.77.0.99/x.png"><b>' + longNickname + '</b>'
        udpmachine.addUnit(address(0), nickname, "ZP-9E", "1.02")
        hoverOn(cardItem(0, "id_value_nickname"))
        tryCompare(tip(), "visible", true)
        compare(item("id_tip_text").text, nickname)
        compare(item("id_tip_text").textFormat, Text.PlainText)
    }

    function test_veryLongTextWrapsInsideTheWindow() {
        var nickname = new Array(30).join(longNickname)
        udpmachine.addUnit(address(0), nickname, "ZP-9E", "1.02")
        hoverOn(cardItem(0, "id_value_nickname"))
        tryCompare(tip(), "visible", true)
        verify(tip().width <= win.width - 12)
        verify(item("id_tip_text").lineCount > 1)
        verify(tip().y >= 0 && tip().y + tip().height <= win.height, tip().y + " " + tip().height)
    }
}
