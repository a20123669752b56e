"""The saver in a preview pane hosted by the probe (a top-level window with a child pane):
a child window titled "Preview" of the pane's client size; no input closes it; destroying the
pane ends it with 0. "/l" behaves as "/p".

Under Wine 8 the drawing of a child window that belongs to another process is not shown (its
window gets no surface of its own), so the rides inside the pane cannot be seen on screen
here; that the show runs is seen from the other side instead: the preview keeps answering."""

import unittest

import harness

WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
WS_CLIPCHILDREN = 0x02000000
WM_CONTEXTMENU = 0x007B
PANE = (300, 200)


class PreviewCases:

    LETTER = "p"

    def host(self):
        host = self.host_preview(*PANE, letter=self.LETTER, x=60, y=60)
        self.assertIsNotNone(host.preview, "no preview window appeared in the pane")
        return host

    def shown(self, host):
        """The child can be found while its creation is still running, before it is shown; a
        pane destroyed then takes the window's creation with it, which the saver rightly
        reports as a failed start."""
        harness.wait_until(lambda: (host.info().style & WS_VISIBLE) != 0, 30, "the preview window to be shown")

    def handled_all_posted(self, host, marker):
        """Posts WM_CONTEXTMENU as a marker: the preview hands it up to the pane, after all it
        was posted before it. Returns the pane's report."""
        self.assertTrue(host.post(WM_CONTEXTMENU, 0, marker))
        return host.lines.until(lambda f: f.get("tag") == "pane-message" and int(f["lparam"], 16) == marker,
                                60, "the preview to hand the marker up to the pane")

    def test_child_window_titled_preview_of_the_panes_client_size(self):
        host = self.host()
        self.shown(host)
        preview = host.info()
        self.assertEqual(preview.class_name, harness.SAVER_CLASS)
        self.assertEqual(preview.title, harness.PREVIEW_TITLE)
        self.assertEqual(preview.style, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN)
        self.assertEqual(preview.exstyle, 0)
        self.assertEqual(preview.parent, host.pane.hwnd)
        self.assertEqual(preview.client, PANE)
        self.assertEqual(host.pane.client, PANE)
        pane_left, pane_top = host.pane.rect[:2]
        self.assertEqual(preview.rect, (pane_left, pane_top, pane_left + PANE[0], pane_top + PANE[1]))
        self.assertNotEqual(preview.pid, 0)
        # The full-screen single-instance test is not made: no full-screen saver appears.
        self.assertEqual(self.session.find_windows(harness.SAVER_CLASS, harness.SAVER_TITLE), [])

    def test_input_never_closes_it(self):
        host = self.host()
        pane_left, pane_top = host.pane.rect[:2]
        # Real input over the preview: moves far beyond 4 pixels, clicks and keys.
        self.session.xdotool("mousemove", pane_left + 20, pane_top + 20)
        self.session.xdotool("mousemove", pane_left + 200, pane_top + 150)
        self.session.xdotool("click", "1")
        self.session.xdotool("click", "3")
        self.session.xdotool("key", "a")
        # And posted straight to it, the messages that close the full-screen saver.
        for message in (harness.WM_KEYDOWN, harness.WM_SYSKEYDOWN, harness.WM_LBUTTONDOWN, harness.WM_RBUTTONDOWN,
                        harness.WM_MBUTTONDOWN, harness.WM_MOUSEMOVE):
            self.assertTrue(host.post(message, 0, 0))
        self.assertTrue(host.post(harness.WM_ACTIVATEAPP, 0, 0))
        report = self.handled_all_posted(host, 0x1234)
        # The help request reaches the pane with the pane's own handle in wParam.
        self.assertEqual(int(report["wparam"], 16), host.pane.hwnd)
        info = host.info()
        self.assertIsNotNone(info, "the preview window is gone")
        self.assertEqual(info.hwnd, host.preview.hwnd)
        self.assertIsNone(host.wait_exit(0.5), "the preview's process ended")

    def test_destroying_the_pane_ends_it_with_zero(self):
        host = self.host()
        self.shown(host)
        self.assertTrue(host.destroy_pane())
        self.assertEqual(host.wait_exit(10), 0)


class PreviewP(PreviewCases, harness.SaverTestCase):
    LETTER = "p"


class PreviewL(PreviewCases, harness.SaverTestCase):
    LETTER = "l"
