"""A running product: it is asked to quit before the questions, the installer
waits for it to release the installed file, and gives up after about 4.4 s."""
import unittest

import e2e_support
from e2e_support import CR, EN, PRODUCT, E2eCase
from harness import Installation, RunningProduct

e2e_support.require()

# 17 open attempts, each failure followed by 256 ms
LOCKED_WAIT_MS = 17 * 256


def events(result, name):
    return [e for e in result.standin_events if e["event"] == name]


class RunningProductTest(E2eCase):
    def test_product_that_quits_is_replaced(self):
        result = self.run_update(Installation(installed_stamp=12), answers=["yes", "no"],
                                 running=RunningProduct())
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        quit_events = events(result, "quit")
        self.assertEqual(len(quit_events), 1, result.standin_events)
        # asked to quit before the install question
        self.assertLess(quit_events[0]["t"], result.boxes[0].tick)
        self.assertEqual(events(result, "exit")[0]["reason"], "quit")
        self.assertPayloadInstalled(result)
        self.assertNotStarted(result)

    def test_product_is_asked_to_quit_even_when_the_user_declines(self):
        result = self.run_update(Installation(installed_stamp=12), answers=["no"],
                                 running=RunningProduct())
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"])])
        self.assertEqual(len(events(result, "quit")), 1, result.standin_events)
        self.assertUntouched(result, stamp=12)

    def test_product_that_keeps_the_file_gets_filecantopen(self):
        result = self.run_update(Installation(installed_stamp=12), answers=["yes", "yes"],
                                 running=RunningProduct(ignore_quit=True))
        self.assertEnded(result)
        path = PRODUCT + "\\orfm.cok"
        self.assertBoxes(result, [(EN["error"], EN["filecantopen"].format(path=path))],
                         buttons=[["OK"]])
        asked = events(result, "quit-ignored")
        self.assertEqual(len(asked), 1, result.standin_events)
        waited = result.boxes[0].tick - asked[0]["t"]
        self.assertGreaterEqual(waited, LOCKED_WAIT_MS - 100)
        self.assertLess(waited, LOCKED_WAIT_MS + 15000)
        self.assertUntouched(result, stamp=12)
        self.assertNoSizeRecorded(result)
        self.assertNotStarted(result)

    def test_mapping_without_window_posts_nothing(self):
        result = self.run_update(Installation(installed_stamp=12), answers=["no"],
                                 running=RunningProduct(window=False, lock_payload=False))
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"])])
        self.assertEqual(events(result, "quit"), [])
        self.assertEqual(events(result, "exit")[0]["reason"], "stop")

    def test_quiet_mode_waits_for_a_product_that_takes_a_moment_to_quit(self):
        result = self.run_update(Installation(installed_stamp=12), args=["modest", "runapp"],
                                 running=RunningProduct(quit_delay_ms=1500))
        self.assertEnded(result)
        self.assertBoxes(result, [])
        self.assertEqual(events(result, "exit")[0]["reason"], "quit")
        self.assertPayloadInstalled(result)
        self.assertStartedIn(result, PRODUCT)

    def test_quiet_mode_over_a_held_file_reports_the_failed_write(self):
        result = self.run_update(Installation(installed_stamp=12), args=["modest", "runapp"],
                                 running=RunningProduct(ignore_quit=True))
        self.assertEnded(result)
        path = PRODUCT + "\\orfm.cok"
        self.assertBoxes(result, [("Orfa update", "Can't install file " + path)])
        self.assertUntouched(result, stamp=12)


if __name__ == "__main__":
    unittest.main()
