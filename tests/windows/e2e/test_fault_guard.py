"""The fault guard on the real platform: the never-shipped fault-test build faults inside its
message loop when it receives message 0x8123; the shipped saver has no such message."""

import harness
import rides


class FaultGuard(harness.SaverTestCase):

    def test_fault_in_the_message_loop_ends_the_process_with_its_code(self):
        run = self.start_saver("/s", exe=self.session.faulttest_scr)
        window = run.window()
        self.assertTrue(self.session.post(window.hwnd, harness.TEST_FAULT_MESSAGE))
        # The guard hands the fault to UnhandledExceptionFilter, which (with no debugger to
        # start) lets the guard's handler run; the process then ends with the fault's code.
        self.assertEqual(run.exit_code(60), harness.EXCEPTION_ACCESS_VIOLATION)
        # No crash dialog, and nothing else left on the screen.
        self.assertEqual([w for w in self.session.find_windows(None, None) if w.visible], [])

    def test_shipped_saver_ignores_the_test_message(self):
        run = self.start_saver("/s")
        window = run.window()
        self.assertTrue(self.session.post(window.hwnd, harness.TEST_FAULT_MESSAGE))
        # Wine hands a thread its posted messages before its timer messages: a ride that moves
        # on after the post was moved by ticks that came after 0x8123 was handled.
        rides.follow_ride(self.session, 2, 60)
        self.assertTrue(run.running())
        self.session.xdotool("key", "a")
        self.assertEqual(run.exit_code(60), 0)
