"""The robot and the stand-in on their own, with boxprobe.exe as the program
that shows the boxes: what the installer tests rely on."""
import json
import unittest

import e2e_support
import harness

e2e_support.require(installer=False)


class RobotTest(unittest.TestCase):
    def test_reads_and_answers_boxes_in_order(self):
        out = harness.run_program(harness.helper_path("boxprobe"), [r"{work}\result.txt"],
                                  answers=["yes"], timeout=60)
        self.assertEqual(out["exit_code"], 0)
        boxes = out["boxes"]
        self.assertEqual([b.caption for b in boxes], ["Probe question", "Probe error", "Зонд"])
        question, error, wide = boxes
        self.assertEqual(question.text, "Line one\r\nLine two")
        self.assertEqual(question.button_ids, [6, 7])
        self.assertEqual(question.buttons, ["Yes", "No"])
        self.assertEqual(question.pressed, 6)
        self.assertEqual(error.text, "Probe error text")
        self.assertEqual(error.button_ids, [1])
        self.assertEqual(wide.text, 'Проба "Орфа"')
        self.assertEqual([b.icon for b in boxes], ["question", "error", "information"])
        # the script had one answer: the rest get the default (No, else OK)
        self.assertEqual([b.answer for b in boxes], ["yes", "default", "default"])
        self.assertEqual(out["files"]["result.txt"].decode().split(), ["6", "1", "1"])

    def test_default_answer_is_no(self):
        out = harness.run_program(harness.helper_path("boxprobe"), [r"{work}\result.txt"],
                                  answers=[], timeout=60)
        self.assertEqual(out["boxes"][0].pressed, 7)
        self.assertEqual(out["files"]["result.txt"].decode().split()[0], "7")


class LauncherTest(unittest.TestCase):
    def test_records_the_whole_exit_code(self):
        out = harness.run_program(harness.helper_path("launcher"),
                                  [r"{work}\launched.json", r"C:\windows\system32\cmd.exe", "/c", "exit 1618"])
        self.assertEqual(out["exit_code"], 1618 & 0xFF)  # all that Linux sees
        self.assertEqual(json.loads(out["files"]["launched.json"])["exit_code"], 1618)


class StandinTest(unittest.TestCase):
    def test_records_start_folders_and_exits_without_behaviours(self):
        exe = harness.helper_path("orfa_standin")
        out = harness.run_program(exe, ["--log", r"{work}\events.jsonl", "plain"], timeout=60)
        self.assertEqual(out["exit_code"], 0)
        events = [json.loads(l) for l in out["files"]["events.jsonl"].decode().splitlines()]
        self.assertEqual([e["event"] for e in events], ["start", "exit"])
        start = events[0]
        self.assertTrue(start["exe"].lower().endswith("orfa_standin.exe"))
        self.assertTrue(start["exe_dir"].endswith("\\"))
        self.assertTrue(start["exe"].startswith(start["exe_dir"]))
        self.assertTrue(start["cwd"].upper().startswith("Z:\\"), start["cwd"])
        self.assertIn("plain", start["cmdline"])

    def test_holds_mapping_and_window_until_lifetime(self):
        exe = harness.helper_path("orfa_standin")
        out = harness.run_program(exe, ["--log", r"{work}\events.jsonl", "--mapping", "--window",
                                        "--lifetime", "1"], timeout=60)
        events = [json.loads(l)["event"] for l in out["files"]["events.jsonl"].decode().splitlines()]
        self.assertEqual(events, ["start", "mapping", "window", "exit"])


if __name__ == "__main__":
    unittest.main()
