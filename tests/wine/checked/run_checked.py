#!/usr/bin/env python3
"""Runs the checked-replacement and version-reader checks under Wine.

All cases share one Wine prefix (a clone of the end-to-end harness's cached
64-bit prefix) and one virtual screen. For each case the end-to-end robot is
started with its answer, then orfa_checked_checks.exe; afterwards the robot's
log must hold exactly the question box the checked replacement asks, with its
built-in (or language-file) caption and text, and the program must have
passed its own checks of the files and the progress window.

    run_checked.py --build BUILD --out FOLDER [--keep]

Screenshots of the question and of the progress window shown again are kept
in FOLDER. Exit code 0 when every case passed; 1 otherwise, also when Wine or Xvfb
cannot run (tools/setup.sh installs them).
"""
import argparse
import dataclasses
import json
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import List, Optional

SOURCE_DIR = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(SOURCE_DIR / "tests" / "e2e"))
import harness  # noqa: E402

ARCH = "win64"
PRODUCT_DIR = r"C:\Program Files\Orfa" + "\\"
TARGET = PRODUCT_DIR + "orfm.cok"
CASE_TIMEOUT = 90

# The question's built-in texts; the installed file has data version 120, the
# program's resource 100.
ENGLISH_CAPTION = "Sound question"
ENGLISH_TEXT = (TARGET + " file installing is of older version\r\n"
                "than the same already installed.\r\n\r\n"
                "Do you really want to replace existing\r\n"
                "new file version 120 with an older file version 100?")
RUSSIAN_CAPTION = "Резонный вопрос"
RUSSIAN_TEXT = ("Устанавливаемый файл " + TARGET + "\r\n"
                "более старой версии, чем уже установленный.\r\n\r\n"
                "Действительно ли Вы хотите заменить уже имеющийся\r\n"
                "файл версии 120 на более старый версии 100?")

# Language files of the product folder for the case that loads them (CR LF
# lines, each in its language's code page).
LANGUAGE_FILES = {
    "english.lng": ("ascii", [
        "[progname]", "Orfa", "[langcode]", "1033", "", "[langver]", "7",
        "[soundquest]", "Replace question", "[olderfilever]", "The file %1",
        "is newer than the one being installed.", "Replace it?", ""]),
    "russian.lng": ("cp1251", [
        "[progname]", "Орфа", "[langcode]", "1049", "", "[langver]", "7",
        "[soundquest]", "Вопрос о замене", "[olderfilever]", "Файл %1",
        "новее устанавливаемого.", "Заменить его?", ""]),
}
LANGUAGE_CAPTION = "Вопрос о замене"
LANGUAGE_TEXT = "Файл " + TARGET + "\r\nновее устанавливаемого.\r\nЗаменить его?"

IDYES, IDNO = 6, 7


@dataclasses.dataclass
class Case:
    name: str
    locale: str                      # "en" or "ru"
    args: List[str]                  # program arguments after its name
    answer: Optional[str] = None     # the robot's answer to the one question
    caption: str = ""
    text: str = ""
    language: bool = False           # lay out the language files
    screenshots: bool = False
    robot_delay_ms: int = 1500       # time for the watcher to look while the box is up


def cases(build: Path, out: Path) -> List[Case]:
    def replace(answer, locale, *extra):
        return ["replace", PRODUCT_DIR, answer, locale, *extra]
    return [
        Case("english-yes", "en", replace("yes", "en", "signal={signal}"), "yes",
             ENGLISH_CAPTION, ENGLISH_TEXT, screenshots=True, robot_delay_ms=3000),
        Case("english-no", "en", replace("no", "en"), "no", ENGLISH_CAPTION, ENGLISH_TEXT),
        Case("english-no-window-before", "en", replace("no", "en", "nowindow"), "no",
             ENGLISH_CAPTION, ENGLISH_TEXT),
        Case("same-versions", "en", replace("none", "en")),
        Case("versions", "en", ["versions", r"C:\orfa-versions",
                                harness.to_windows(out / "versioned.exe"),
                                harness.to_windows(out / "first-of-two.exe"),
                                harness.to_windows(out / "plain.exe")]),
        Case("russian-yes-stale-temporary", "ru", replace("yes", "ru", "stale"), "yes",
             RUSSIAN_CAPTION, RUSSIAN_TEXT),
        Case("russian-no-stale-temporary", "ru", replace("no", "ru", "stale"), "no",
             RUSSIAN_CAPTION, RUSSIAN_TEXT),
        Case("russian-language-file-yes", "ru", replace("yes", "ru", "language"), "yes",
             LANGUAGE_CAPTION, LANGUAGE_TEXT, language=True),
    ]


class Failures:
    def __init__(self):
        self.items: List[str] = []

    def check(self, ok: bool, what: str) -> None:
        print(f"{'ok  ' if ok else 'FAIL'} {what}", flush=True)
        if not ok:
            self.items.append(what)


def lay_out_product(prefix: Path, language: bool) -> None:
    folder = harness.host_path(prefix, PRODUCT_DIR.rstrip("\\"))
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    if language:
        (folder / "language").mkdir()
        for name, (codepage, lines) in LANGUAGE_FILES.items():
            (folder / "language" / name).write_bytes("\r\n".join(lines).encode(codepage))


def screenshot(display: str, path: Path) -> None:
    if not shutil.which("import"):
        print(f"     no ImageMagick import: no screenshot {path.name}", flush=True)
        return
    result = subprocess.run(["import", "-display", display, "-window", "root", str(path)],
                            capture_output=True, text=True, timeout=30)
    print(f"     screenshot {path}" if result.returncode == 0
          else f"     screenshot {path.name} failed: {result.stderr.strip()}", flush=True)


def run_case(case: Case, prefix: Path, work: Path, display: str, build: Path, out: Path,
             failures: Failures) -> None:
    print(f"--- {case.name} ({case.locale} locale)", flush=True)
    env = harness.base_env(prefix, ARCH, case.locale)
    env["DISPLAY"] = display
    lay_out_product(prefix, case.language)
    case_dir = work / case.name
    case_dir.mkdir()
    log, ready, stop = case_dir / "boxes.jsonl", case_dir / "robot.ready", case_dir / "robot.stop"
    args = [a.replace("{signal}", harness.to_windows(case_dir)) for a in case.args]

    robot = subprocess.Popen(
        [harness.wine_loader(), str(build / "e2e" / "robot.exe"), "--log", harness.to_windows(log),
         "--answers", case.answer or ",", "--stop", harness.to_windows(stop),
         "--ready", harness.to_windows(ready), "--delay", str(case.robot_delay_ms),
         "--timeout", str(CASE_TIMEOUT + 60)],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    output = case_dir / "checks.out"
    code: Optional[int] = None
    try:
        harness._wait_for(ready.exists, harness.READY_TIMEOUT, "the robot")
        with open(output, "wb") as sink:
            checks = subprocess.Popen([harness.wine_loader(), str(out / "orfa_checked_checks.exe"), *args],
                                      env=env, cwd=str(case_dir), stdout=sink,
                                      stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + CASE_TIMEOUT
            question_shot = progress_shot = False
            while checks.poll() is None and time.monotonic() < deadline:
                if case.screenshots and not question_shot and (case_dir / "question-shown").exists():
                    question_shot = True
                    screenshot(display, out / "question-box.png")
                if case.screenshots and not progress_shot and (case_dir / "progress-shown").exists():
                    progress_shot = True
                    time.sleep(0.3)  # let the window paint
                    screenshot(display, out / "progress-shown-again.png")
                    (case_dir / "progress-shot").touch()
                time.sleep(0.05)
            if checks.poll() is None:
                checks.kill()
            code = checks.wait(10)
    finally:
        stop.touch()
        try:
            robot.wait(harness.SHUTDOWN_TIMEOUT)
        except subprocess.TimeoutExpired:
            robot.kill()
            robot.wait(10)

    text = output.read_bytes().decode("utf-8", errors="replace").replace("\r\n", "\n")
    print(text, end="", flush=True)
    failures.check(code == 0, f"{case.name}: the program's own checks pass (exit code {code})")
    pid = next((int(line.split()[1]) for line in text.splitlines() if line.startswith("pid ")), None)

    records = []
    if log.exists():
        for line in log.read_text(encoding="utf-8", errors="replace").splitlines():
            if line.strip():
                records.append(json.loads(line))
    boxes = [r for r in records if "caption" in r]
    for b in boxes:
        print(f"     box {json.dumps(b, ensure_ascii=False)}", flush=True)
    if case.answer is None:
        failures.check(not boxes, f"{case.name}: no message box")
        return
    failures.check(len(boxes) == 1, f"{case.name}: exactly one question box ({len(boxes)})")
    if not boxes:
        return
    box = boxes[0]
    failures.check(box["pid"] == pid, f"{case.name}: the box is the program's own")
    failures.check(box["caption"] == case.caption, f"{case.name}: caption {box['caption']!r}")
    failures.check(box["text"] == case.text, f"{case.name}: text {box['text']!r}")
    failures.check([b["id"] for b in box["buttons"]] == [IDYES, IDNO],
                   f"{case.name}: buttons Yes and No "
                   f"({', '.join(b['text'] for b in box['buttons'])})")
    failures.check(box["icon"] == "question", f"{case.name}: question icon ({box['icon']})")
    # Wine's message box does not carry MB_TOPMOST over to the window's
    # extended style, so only the missing owner is checked here.
    failures.check(box["owned"] is False, f"{case.name}: no owner window")
    wanted = IDYES if case.answer == "yes" else IDNO
    failures.check(box["answer"] == case.answer and box["pressed"] == wanted,
                   f"{case.name}: the robot answered {case.answer}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, required=True, help="the win32 build folder")
    parser.add_argument("--out", type=Path, required=True,
                        help="folder of the checks program, and of the screenshots")
    parser.add_argument("--keep", action="store_true", help="keep the prefix and the logs")
    parser.add_argument("--only", help="run only the cases whose name contains this text")
    opts = parser.parse_args()
    build, out = opts.build.resolve(), opts.out.resolve()

    for tool in ("wine", "wineserver", "Xvfb"):
        if not shutil.which(tool):
            print(f"cannot run: {tool} is not installed (tools/setup.sh)", file=sys.stderr)
            return 1
    reason = None if harness.WINE64_ONLY else harness.wine32_unavailable_reason()
    if reason:
        print(f"cannot run: {reason}", file=sys.stderr)
        return 1
    for program in (build / "e2e" / "robot.exe", out / "orfa_checked_checks.exe"):
        if not program.is_file():
            print(f"{program} has not been built", file=sys.stderr)
            return 1

    failures = Failures()
    started = time.monotonic()
    work = Path(tempfile.mkdtemp(prefix="orfa-checked-"))
    prefix = work / "prefix"
    try:
        harness.clone_prefix(harness.pristine_prefix(ARCH), prefix)
        with harness.Xvfb() as x:
            # Each Wine process takes its locale from its own environment, so
            # the cases of both locales share one Wine session.
            for case in cases(build, out):
                if opts.only and opts.only not in case.name:
                    continue
                try:
                    run_case(case, prefix, work, x.display, build, out, failures)
                except harness.HarnessError as e:
                    failures.check(False, f"{case.name}: {e}")
            harness.shutdown_prefix(harness.base_env(prefix, ARCH, "en"))
    finally:
        if opts.keep:
            print(f"kept {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)

    print(f"{'PASSED' if not failures.items else 'FAILED'} in {time.monotonic() - started:.1f} s"
          f"{'' if not failures.items else ': ' + '; '.join(failures.items)}")
    return 0 if not failures.items else 1


if __name__ == "__main__":
    sys.exit(main())
