"""What closes the full-screen saver, with real X input through xdotool: a key, a mouse
button, or the pointer travelling more than 4 pixels (city-block) from where it was when the
saver started. The pointer is placed, and read back through Wine, before every start."""

import harness
import rides

START = (320, 240)


class Closing(harness.SaverTestCase):

    def setUp(self):
        super().setUp()
        # Long rides, so that the picture is on the move when a test needs a sign of life.
        self.session.write_settings(Sound=0, Blank=0, Coravendia=1, Valtorne=0, Speed=4, Rate=40)
        self.session.place_pointer(*START)

    def start(self):
        run = self.start_saver("/s")
        window = run.window()
        self.assertEqual(window.foreground, True)
        return run

    def handled_all_input(self, run):
        """Waits until the saver has taken ticks after the input sent so far. Wine hands a
        thread its input before its timer messages, so a ride that moved on screen after the
        input reached Wine was moved by ticks that came after that input was handled."""
        first = rides.wait_for_rider(self.session, 60, "a ride on screen")
        harness.wait_until(lambda: (lambda s: s is not None and s.x != first.x)(rides.coravendia(self.session.screenshot())),
                           60, "the ride to move on")
        self.assertTrue(run.running(), "the saver closed")

    def test_key_press_closes_with_zero(self):
        run = self.start()
        self.session.xdotool("key", "a")
        self.assertEqual(run.exit_code(60), 0)

    def test_mouse_button_closes_with_zero(self):
        run = self.start()
        self.session.xdotool("click", "1")
        self.assertEqual(run.exit_code(60), 0)

    def test_five_pixels_of_travel_close_with_zero(self):
        run = self.start()
        self.session.xdotool("mousemove", START[0] + 3, START[1] + 2)
        self.assertEqual(run.exit_code(60), 0)

    def test_four_pixels_do_not_close_and_small_moves_add_up(self):
        run = self.start()
        self.session.xdotool("mousemove", START[0] + 3, START[1] + 1)
        harness.wait_until(lambda: self.session.cursor()[:2] == (START[0] + 3, START[1] + 1), 30,
                           "Wine to see the 4-pixel move")
        self.handled_all_input(run)
        # One more pixel in the same direction: 5 from the start, though 1 from the last move.
        self.session.xdotool("mousemove", START[0] + 4, START[1] + 1)
        self.assertEqual(run.exit_code(60), 0)
