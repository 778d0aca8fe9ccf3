"""The interactive update: the questions, their answers, what is installed and
recorded, and whether the product is started."""
import os
import sys
import unittest

import e2e_support
from e2e_support import EN, PRODUCT, RU, E2eCase
import harness
from harness import Installation

e2e_support.require()


class InteractiveTest(E2eCase):
    def test_yes_yes_installs_records_the_size_and_starts_the_product(self):
        result = self.run_update(Installation(installed_stamp=12), answers=["yes", "yes"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])],
                         buttons=[EN["yes_no"], EN["yes_no"]])
        self.assertPayloadInstalled(result)
        self.assertStartedIn(result, PRODUCT)

    def test_yes_no_installs_without_starting_the_product(self):
        result = self.run_update(Installation(installed_stamp=12), answers=["yes", "no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        self.assertPayloadInstalled(result)
        self.assertNotStarted(result)

    def test_declined_changes_nothing(self):
        result = self.run_update(Installation(installed_stamp=12), answers=["no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"])])
        self.assertUntouched(result, stamp=12)
        self.assertNoSizeRecorded(result)
        self.assertNotStarted(result)

    def test_stamp_not_above_the_payload_asks_only_to_install(self):
        # 13 is the payload's own version; no installed file at all reads no stamp
        for stamp in (13, None, -20):
            with self.subTest(stamp=stamp):
                result = self.run_update(Installation(installed_stamp=stamp), answers=["no"])
                self.assertEnded(result)
                self.assertBoxes(result, [(EN["question"], EN["installask"])])
                if stamp is None:
                    self.assertIsNone(result.installed)
                else:
                    self.assertUntouched(result, stamp=stamp)

    def test_newer_installed_file_answered_yes_is_replaced(self):
        result = self.run_update(Installation(installed_stamp=14), answers=["yes", "yes", "no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["olderfilever"]),
                                  (EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        self.assertPayloadInstalled(result)
        self.assertNotStarted(result)

    def test_newer_installed_file_answered_no_is_kept(self):
        result = self.run_update(Installation(installed_stamp=14), answers=["no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["olderfilever"])])
        self.assertUntouched(result, stamp=14)
        self.assertNoSizeRecorded(result)

    def test_full_drive_keeps_the_installed_file_and_leaves_no_temporary_file(self):
        why = harness.small_drive_unavailable_reason()
        if why and os.geteuid() != 0:
            # a mount namespace of its own needs root (the README says so)
            self.skipTest(f"no small drive for the product folder without root: {why}")
        self.assertIsNone(why, "no small drive for the product folder")
        # room for the folder as laid out, not for the 40 MB payload
        for args, answers, boxes in (([], ["yes"], [(EN["question"], EN["installask"])]),
                                     (["modest"], [], [])):
            with self.subTest(args=args):
                result = self.run_update(Installation(installed_stamp=12, product_drive_kb=8192),
                                         args=args, answers=answers)
                self.assertEnded(result)
                self.assertBoxes(result, boxes + [("Orfa update",
                                                   "Can't install file " + PRODUCT + "\\orfm.cok")])
                self.assertUntouched(result, stamp=12)
                self.assertNotIn("~orfm.cok", result.product_files)
                # the size recorded is that of the folder as it stayed
                self.assertEqual(result.estimated_size["native"], result.folder_size_kb)
                self.assertNotStarted(result)

    def test_russian_locale_speaks_russian(self):
        result = self.run_update(Installation(locale="ru", installed_stamp=14),
                                 answers=["yes", "yes", "yes"])
        self.assertEnded(result)
        self.assertBoxes(result, [(RU["question"], RU["olderfilever"]),
                                  (RU["question"], RU["installask"]),
                                  (RU["done_caption"], RU["installdone"])],
                         buttons=[RU["yes_no"]] * 3)
        self.assertPayloadInstalled(result)
        self.assertStartedIn(result, PRODUCT)

    def test_runapp_as_first_argument_is_interactive(self):
        result = self.run_update(Installation(installed_stamp=12), args=["runapp"], answers=["no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"])])
        self.assertUntouched(result, stamp=12)
        self.assertNotStarted(result)


class QuietModeTest(E2eCase):
    def test_modest_installs_silently_without_starting(self):
        # even over a newer installed file: quiet mode never reads the stamp
        for args in (["modest"], ["MODEST", "other"]):
            with self.subTest(args=args):
                result = self.run_update(Installation(installed_stamp=14), args=args)
                self.assertEnded(result)
                self.assertBoxes(result, [])
                self.assertPayloadInstalled(result)
                self.assertNotStarted(result)

    def test_modest_runapp_starts_the_product(self):
        for args in (["modest", "runapp"], ["Modest", "RUNAPP"]):
            with self.subTest(args=args):
                result = self.run_update(Installation(installed_stamp=12), args=args)
                self.assertEnded(result)
                self.assertBoxes(result, [])
                self.assertPayloadInstalled(result)
                self.assertStartedIn(result, PRODUCT)

    def test_leftovers_of_a_killed_run_neither_block_nor_stay(self):
        # what a run killed at the wrong moment left beside the installed file
        inst = Installation(installed_stamp=12,
                            extra_files={"~orfm.cok": b"k" * 70000, "~~orfm.cok": b""})
        result = self.run_update(inst, args=["modest"])
        self.assertEnded(result)
        self.assertBoxes(result, [])
        self.assertPayloadInstalled(result)
        self.assertEqual([n for n in result.product_files if n.startswith("~")], [],
                         result.describe())

    def test_kills_over_a_whole_run_leave_the_old_or_the_new_file_whole(self):
        # killed at a dozen moments of a quiet run (fractions of a timed
        # run, beyond its end too: under emulation and load one run takes
        # longer than another), each over the old file and what earlier
        # kills left; then a run to the end
        fractions = [0.15, 0.3, 0.45, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2, 1.35, 1.5]
        result = self.run_update(Installation(installed_stamp=12), args=["modest"],
                                 kill_fractions=fractions, timeout=300)
        self.assertEqual(len(result.kills), len(fractions))
        for state, files in result.kills:
            self.assertIn(state, ("old", "new"), f"{result.kills}\n{result.describe()}")
        self.assertEnded(result)
        self.assertBoxes(result, [])
        self.assertPayloadInstalled(result)
        self.assertEqual([n for n in result.product_files if n.startswith("~")], [],
                         f"{result.kills}\n{result.describe()}")
        print(f"kills: {result.kills}", file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
