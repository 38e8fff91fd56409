import QtQuick 2.11
import QtTest 1.2

// One card: what it shows, its selection box, and when it starts its unit.
UiTestCase {
    id: testCase
    name: "UdpDevice"

    TextMetrics {
        id: metrics
    }

    function test_freshCard() {
        udpmachine.sendAdd('{"action": "add", "m_ipaddr": ""}')
        compare(rows(), 1)
        var c = card(0)
        compare(c.m_f_new, false)
        compare(c.m_f_selected, false)
        compare(c.m_f_now_updating, false)
        compare(cardItem(0, "id_value_nickname").text, "")
        compare(cardItem(0, "id_value_model").text, "")
        compare(cardItem(0, "id_value_ipaddr").text, "")
        // The version row always holds the blank between version and build.
        compare(cardItem(0, "id_value_version").text, " ")
        compare(cardItem(0, "id_value_progress").text, "")
        compare(cardItem(0, "id_dash").visible, false)
        var check = cardItem(0, "id_check")
        verify(check.visible)
        verify(String(check.source).match(/check_0\.svg$/), check.source)
        compare(check.status, Image.Ready)
        compare(c.width, view.width - 12)
        compare(c.height, 150)
    }

    function test_rowsStackedInsideFrame() {
        addUnits(1)
        udpmachine.progress("Writing", address(0))
        var c = card(0)
        var values = ["id_value_nickname", "id_value_model", "id_value_ipaddr", "id_value_version",
                      "id_value_progress"]
        // frame margin 3, column top margin 5, rows of 20 with 8 between
        for (var i = 0; i < values.length; ++i) {
            var value = cardItem(0, values[i])
            tryVerify(function() { return value.mapToItem(c, 0, 0).y === 3 + 5 + 28 * i },
                      1000, values[i] + " at " + value.mapToItem(c, 0, 0).y)
            // right of its label, which starts at the column's left margin
            verify(value.mapToItem(c, 0, 0).x > 3 + 55 + 40, values[i] + " x " + value.mapToItem(c, 0, 0).x)
        }
        var frame = c.children[0]
        compare(frame.x, 3)
        compare(frame.width, c.width - 6)
        verify(Qt.colorEqual(frame.color, "snow"))
        compare(frame.border.width, 2)
    }

    function test_addFillsCardFromMessage() {
        udpmachine.addUnit("10.77.0.10", "Stage Left", "ZP-9E", "1.02")
        var c = card(0)
        compare(c.m_ipaddr, "10.77.0.10")
        compare(c.m_nickname, "Stage Left")
        compare(c.m_modelname, "ZP-9E")
        compare(c.m_version, "1.02")
        compare(cardItem(0, "id_value_version").text, "1.02 ")
        udpmachine.updateUnit("10.77.0.10", "m_build", "(build0119)")
        compare(cardItem(0, "id_value_version").text, "1.02 (build0119)")
    }

    function test_numbersArriveAsNumbers() {
        udpmachine.sendAdd('{\n    "action": "add",\n    "m_count": "7",\n    "m_ipaddr": "10.77.0.10",\n'
                           + '    "m_modelname": "VK-3F",\n    "m_nickname": "",\n    "m_state": "3",\n'
                           + '    "m_version": "1.04"\n}\n')
        var c = card(0)
        compare(typeof c.m_state, "number")
        compare(c.m_state, 3)
        compare(c.m_count, 7)
        udpmachine.updateUnit("10.77.0.10", "m_count", "12")
        compare(c.m_count, 12)
        // Not a number: the card keeps what it had.
        udpmachine.updateUnit("10.77.0.10", "m_state", "busy")
        compare(c.m_state, 3)
    }

    function test_htmlNicknameShownLiterally_data() {
        return [
            { tag: "image", nickname: '<img src="http://10.77.0.99/x.png">' },
            { tag: "bold", nickname: "<b>Stage</b> Left" },
            { tag: "link", nickname: '<a href="file:///etc/passwd">Stage</a>' },
            { tag: "entity", nickname: "Left &amp; Right" },
        ]
    }

    function test_htmlNicknameShownLiterally(data) {
        udpmachine.addUnit("10.77.0.10", data.nickname, "<i>ZP</i>", "<u>1</u>")
        var nickname = cardItem(0, "id_value_nickname")
        compare(nickname.text, data.nickname)
        compare(nickname.textFormat, Text.PlainText)
        // The text's own width is that of every character, tags included
        // (what is drawn may be cut short to fit the card).
        metrics.font = nickname.font
        metrics.text = data.nickname
        verify(Math.abs(nickname.implicitWidth - metrics.advanceWidth) < 1.5,
               nickname.implicitWidth + " vs " + metrics.advanceWidth)
        compare(cardItem(0, "id_value_model").textFormat, Text.PlainText)
        compare(cardItem(0, "id_value_version").textFormat, Text.PlainText)
        udpmachine.progress("ERROR: <b>refused</b>", "10.77.0.10")
        compare(cardItem(0, "id_value_progress").textFormat, Text.PlainText)
        compare(cardItem(0, "id_value_progress").text, "ERROR: <b>refused</b>")
    }

    function test_checkBoxClickToggles() {
        addUnits(1)
        var check = cardItem(0, "id_check")
        mouseClick(check)
        compare(card(0).m_f_selected, true)
        verify(String(check.source).match(/check_1\.svg$/), check.source)
        tryCompare(check, "status", Image.Ready)
        mouseClick(check)
        compare(card(0).m_f_selected, false)
        verify(String(check.source).match(/check_0\.svg$/), check.source)
    }

    function test_checkBoxFollowsProgress_data() {
        return [
            { tag: "connecting", text: "connecting...", box: false },
            { tag: "starting", text: "Starting...", box: false },
            { tag: "sending", text: "Sending... 37%", box: false },
            { tag: "retry", text: "Retry: 3 40%", box: false },
            { tag: "writing", text: "Writing", box: false },
            { tag: "completed", text: "Firmware update completed.", box: false },
            { tag: "socket error", text: "ERROR: Connection refused", box: true },
            { tag: "NG", text: "ERROR: Detected NG response from the unit.", box: true },
            { tag: "waiting", text: "Waiting", box: true },
        ]
    }

    function test_checkBoxFollowsProgress(data) {
        addUnits(1)
        udpmachine.progress(data.text, address(0))
        compare(cardItem(0, "id_check").visible, data.box)
        compare(card(0).m_f_now_updating, !data.box)
        // and it comes back with an error text
        udpmachine.progress("ERROR: Detected NG response from the unit.", address(0))
        compare(cardItem(0, "id_check").visible, true)
    }

    function test_updateFirmware_data() {
        return [
            { tag: "idle", text: "", starts: true },
            { tag: "connecting", text: "connecting...", starts: false },
            { tag: "completed", text: "Firmware update completed.", starts: false },
            { tag: "NG", text: "ERROR: Detected NG response from the unit.", starts: true },
            { tag: "waiting", text: "Waiting", starts: true },
        ]
    }

    function test_updateFirmware(data) {
        addUnits(1)
        var c = card(0)
        c.m_msg = data.text
        c.m_f_selected = true
        c.update_firmware("s3cret")
        compare(udpmachine.callCount, data.starts ? 1 : 0)
        compare(c.m_f_selected, !data.starts)
        if (data.starts) {
            var call = udpmachine.call(0)
            compare(call.ipaddr, address(0))
            compare(call.password, "s3cret")
            compare(call.port, "54726")
            // the stand-in answers at once, like the core
            compare(c.m_msg, "connecting...")
        } else {
            compare(c.m_msg, data.text)
        }
    }

    function test_dotsAfterText_data() {
        return [
            { tag: "writing", text: "Writing", dots: true },
            { tag: "waiting", text: "Waiting", dots: true },
            { tag: "sending", text: "Sending... 5%", dots: false },
            { tag: "starting", text: "Starting...", dots: false },
            { tag: "connecting", text: "connecting...", dots: false },
            { tag: "completed", text: "Firmware update completed.", dots: false },
        ]
    }

    function test_dotsAfterText(data) {
        addUnits(1)
        // keeps a waiting card waiting through the ticks below
        udpmachine.refuse(address(0))
        card(0).m_msg = data.text
        var dash = cardItem(0, "id_dash")
        compare(dash.visible, data.dots)
        tick()
        tick()
        compare(dash.text, "..")
        var progress = cardItem(0, "id_value_progress")
        compare(dash.x, progress.x + progress.width)
        compare(dash.y, progress.y)
    }
}
