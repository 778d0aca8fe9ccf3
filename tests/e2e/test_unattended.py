"""The unattended mode: no window of any kind, an exit code for each outcome
and a UTF-8 log of what the boxes would have said."""
import os
import re
import unittest

import e2e_support
import harness
from e2e_support import CR, EN, NO_PRODUCT_RU, PRODUCT, E2eCase
from harness import Installation, RunningProduct
import test_integrity  # its damaged copy; a module, so its tests do not run here

e2e_support.require()

LOG = r"C:\orfa-logs\update.log"
CANT_INSTALL = ("Orfa update", "Can't install file " + PRODUCT + "\\orfm.cok")


def expected_line(want):
    """A log line's text as a pattern: a box becomes its message line."""
    if isinstance(want, re.Pattern):
        return want
    if isinstance(want, tuple):
        want = f"message: [{want[0]}] {want[1].replace(CR, '  ')}"
    return re.compile("^" + re.escape(want) + "$")


class UnattendedTest(E2eCase):
    def test_each_outcome_ends_without_a_window_with_its_code_and_log(self):
        broken = harness.sample_language("german.lng").replace(b"[langver]\r\n7", b"[langver]\r\nseven")
        full_drive = harness.small_drive_unavailable_reason()
        damaged = test_integrity.DamagedInstallerTest
        rows = [  # what, installation, run options, exit code, outcome, log lines between start and end
            ("installed", Installation(installed_stamp=12), {}, 0, "installed", []),
            ("no product, Russian", Installation(locale="ru", product=False), {}, 1605,
             "product not installed",
             [NO_PRODUCT_RU, re.compile(r"^no product: no orfa\.exe in the folder .*\(error 2: .+\)$")]),
            ("broken language file",
             Installation(languages={"english.lng": None, "russian.lng": None, "german.lng": broken},
                          installed_stamp=12), {}, 1610, "language files missing or broken",
             [("Orfa update", "german.lng file contains errors." + CR + "Please reinstall the program.")]),
            ("stubborn running product", Installation(installed_stamp=12),
             {"running": RunningProduct(ignore_quit=True)}, 1618,
             "product still running or its file in use", [re.compile(r"^in use: .*orfm\.cok \(error 32: .+\)$")]),
            ("damaged package, log=", Installation(installed_stamp=12, outside_files={LOG: None}),
             {"installer": damaged.damaged_copy(self, "orfa-update.exe", damaged.flip_a_byte), "log": LOG},
             1392, "update package damaged",
             [(EN["error"], EN["badinstaller"])]),
            ("newer file installed", Installation(installed_stamp=14), {}, 1638, "a newer file is installed",
             ["installed orfm.cok is version 14, newer than this update's version 13: nothing written"]),
            ("same file installed, product running",
             Installation(installed_stamp=None, extra_files={"orfm.cok": harness.payload_path().read_bytes()}),
             {"running": RunningProduct(lock_payload=False)}, 0, "already installed",
             ["installed orfm.cok already holds this update (version 13): nothing written"]),
            ("runapp, no desktop shell", Installation(installed_stamp=12, desktop_shell=False),
             {"words": ["runapp"]}, 0, "installed",
             [re.compile("^not started: .*" + re.escape(PRODUCT + "\\Orfa.exe"), re.I)]),
        ]
        if full_drive is None:
            rows.append(("disk full", Installation(installed_stamp=12, product_drive_kb=8192), {}, 112,
                         "file could not be written",
                         [CANT_INSTALL, re.compile(r"^failed: .*\(error 112: .+\)$")]))
        for what, inst, options, code, outcome, expected in rows:
            with self.subTest(what):
                log_path = options.pop("log", None)
                args = ["Unattended"] + options.pop("words", []) + ([f"log={log_path}"] if log_path else [])
                result = self.run_update(inst, args=args, **options)
                self.assertFalse(result.timed_out, result.describe())
                if not inst.desktop_shell:  # Wine's desktop, once started, runs as long as the robot
                    self.assertEqual([p for p in result.running_programs if "explorer.exe" in p.lower()], [])
                    self.assertTrue([p for p in result.running_programs if "robot.exe" in p])
                self.assertEqual(result.exit_code, code, result.describe())
                self.assertBoxes(result, [])  # and so no button was pressed
                self.assertNotStarted(result)
                if "running" in options:  # still running; asked to quit only when there was a file to write
                    self.assertEqual(result.standin_events[-1].get("reason"), "stop", result.describe())
                    self.assertEqual([e["event"] for e in result.standin_events if "quit" in e["event"]],
                                     [] if outcome == "already installed" else ["quit-ignored"])
                raw = result.outside_files[log_path] if log_path else result.default_log
                self.assertIsNotNone(raw, result.describe())
                lines = raw.decode("utf-8").split(CR)
                self.assertRegex(lines[0], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d start: update orfm\.cok, "
                                           r"version 13; command line: " + re.escape(" ".join(args)) + "$")
                self.assertEqual(lines[-2][20:], f"end: {outcome}; exit code {code}", raw)
                self.assertEqual(lines[-1], "")
                middle = [line[20:] for line in lines[1:-2]]  # in any order
                self.assertEqual(len(middle), len(expected), raw)
                for pattern in map(expected_line, expected):
                    self.assertTrue([line for line in middle if pattern.search(line)], (pattern, raw))
                if outcome == "installed":
                    self.assertPayloadInstalled(result)
                elif inst.product and inst.installed_stamp:
                    self.assertUntouched(result, stamp=inst.installed_stamp)
                elif inst.product:  # laid out as the payload itself
                    self.assertTrue(result.payload_installed, result.describe())
        if full_drive is not None:
            self.skipTest(f"no small drive for the disk-full row: {full_drive}")

    def test_log_in_a_missing_folder_does_not_stop_the_update_and_runapp_starts_the_product(self):
        result = self.run_update(Installation(installed_stamp=12),
                                 args=["unattended", "runapp", r"log=C:\no-such-folder\update.log"])
        self.assertEnded(result)
        self.assertBoxes(result, [])
        self.assertPayloadInstalled(result)
        self.assertStartedIn(result, PRODUCT)
        self.assertIsNone(result.default_log)

    def test_product_folder_link_retargeted_while_the_write_waits_keeps_the_first_folder(self):
        first, second = r"C:\Orfa-A", r"C:\Orfa-B"

        def retarget(prefix, release, running):  # once the product is asked to quit: the run waits for its file
            link = harness.host_path(prefix, r"C:\Orfa")
            events = prefix.parent / "standin.jsonl"
            harness._wait_for(lambda: not running() or (events.exists() and "quit-ignored" in events.read_text()),
                              120, "the request to quit")
            new_link = link.with_name("Orfa.new")
            new_link.symlink_to(harness.host_path(prefix, second))
            os.replace(new_link, link)
            release()
        inst = Installation(product=False, product_dir=r"C:\Orfa", link_to=first, more_products=[first, second],
                            installed_stamp=12)
        result = self.run_update(inst, args=["unattended"], during=retarget,
                                 running=RunningProduct(ignore_quit=True, lifetime=120))
        self.assertEnded(result)
        self.assertUntouched(result, stamp=12, folder=second)
        # The size is still measured by the path, which now names the other folder.
        self.assertEqual(result.installed_files[first].sha256, result.payload_sha256, result.describe())


if __name__ == "__main__":
    unittest.main()
