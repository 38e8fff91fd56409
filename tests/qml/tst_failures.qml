import QtQuick 2.11
import QtTest 1.2

// At "Finished." the overlay names each unit that failed or was lost and
// offers to start those again; while the run is under way it says how far
// it has come and how long it may take.
UiTestCase {
    id: testCase
    name: "Failures"

    function failureTexts() {
        var list = item("id_failure_list")
        var texts = []
        for (var i = 0; i < list.count; ++i) {
            list.currentIndex = i
            texts.push(list.currentItem.text)
        }
        return texts
    }

    // Four units, each with its own end.
    function test_named_data() {
        return [
            { tag: "all succeed", ends: ["ok", "ok", "ok", "ok"], texts: [], retry: 0, boxHeight: 200 },
            { tag: "one failed", ends: ["ok", "ng", "ok", "ok"],
              texts: ["Unit 1 (10.77.0.11): Detected NG response from the unit."], retry: 1,
              boxHeight: 140 + 20 + 10 + 42 + 32 + 23 },
            { tag: "failed, gone and not started", ends: ["gone", "ng", "ok", "silent"],
              texts: ["Unit 1 (10.77.0.11): Detected NG response from the unit.",
                      "Unit 3 (10.77.0.13): not started",
                      "Unit 0 (10.77.0.10): lost: it stopped answering"], retry: 2,
              boxHeight: 140 + 60 + 10 + 42 + 32 + 23 },
            { tag: "only lost, none in the list", ends: ["gone", "ok", "ok", "ok"],
              texts: ["Unit 0 (10.77.0.10): lost: it stopped answering"], retry: 0,
              boxHeight: 140 + 20 + 10 + 32 + 23 },
        ]
    }

    function test_named(data) {
        addUnits(4)
        // The core does not take a unit it cannot start: no text comes.
        if (data.ends[3] === "silent")
            udpmachine.refuse(address(3))
        selectAll()
        runUpdate("pw")
        for (var i = 0; i < 4; ++i) {
            if (data.ends[i] === "ok")
                udpmachine.progress("Firmware update completed.", address(i))
            else if (data.ends[i] === "ng")
                udpmachine.progress("ERROR: Detected NG response from the unit.", address(i))
            else if (data.ends[i] === "gone")
                udpmachine.removeUnit(address(i))
        }
        tick()
        compare(statusLine(), "Finished.")
        compare(failureTexts(), data.texts)
        compare(item("id_progress_box").height, data.boxHeight)
        var retry = item("id_button_retry_failed")
        compare(retry.visible, data.retry > 0)
        compare(retry.m_text, "Retry failed (" + data.retry + ")")
        if (data.retry === 0)
            return
        // The same password, only the units that failed.
        var before = udpmachine.callCount
        mouseClick(retry)
        compare(udpmachine.callCount, before + data.retry)
        compare(udpmachine.call(before).ipaddr, address(1))
        compare(udpmachine.call(before).password, "pw")
        if (data.retry > 1)
            compare(udpmachine.call(before + 1).ipaddr, address(3))
        compare(view.m_nofUpdateUnits, data.retry)
        compare(closeShown(), false)
        compare(item("id_failure_list").visible, false)
    }

    // "5 working · 2 waiting · 0:03", then the estimate once units end.
    function test_timeLine() {
        addUnits(7)
        selectAll()
        runUpdate("pw")
        var time = item("id_text_time")
        var left = item("id_text_left")
        compare(time.text, "5 working · 2 waiting · 0:00")
        compare(left.visible, false)
        for (var i = 0; i < 3; ++i)
            tick()
        compare(time.text, "5 working · 2 waiting · 0:03")
        for (var k = 0; k < 117; ++k)
            tick()
        udpmachine.progress("Firmware update completed.", address(0))
        udpmachine.progress("Firmware update completed.", address(1))
        tick()
        // 121 s for 2 units: the 5 left take about 5 min.
        compare(time.text, "3 working · 2 waiting · 2:01")
        compare(left.text, "about 5 min left")
        verify(time.visible && left.visible)
        compare(view.durationText(3723), "1:02:03")
        compare(view.durationText(59), "0:59")
    }
}
