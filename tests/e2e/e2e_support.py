"""Shared by the test modules: failing without Wine or a build, the texts the
sample language files lead to, and assertions on a run's result."""
import hashlib
import sys
import unittest
from typing import List, Optional, Sequence, Tuple

import harness


def require(installer: bool = True) -> None:
    """Ends the test module as failed, saying why, when Wine, Xvfb or the
    built executables are missing: a test that cannot run proves nothing."""
    reason = harness.unavailable_reason(installer)
    if reason:
        print(f"e2e: cannot run: {reason} (tools/setup.sh installs what is missing)",
              file=sys.stderr)
        sys.exit(1)


PRODUCT = harness.PRODUCT_DIR_WIN
CR = "\r\n"

# What the sample language files make of each box.
EN = {
    "question": "Orfa: a question",
    "error": "Orfa",
    "done_caption": "Orfa Live Update",
    "installask": "Orfa Live Update is about to install the Accordion dictionary 13." + CR
                  + "Install it now?",
    "installdone": "Orfa Live Update (Accordion dictionary 13) has been installed successfully."
                   + CR + CR + "Would you like to start Orfa now?",
    "olderfilever": "The file orfm.cok already installed is newer than the one in this update." + CR
                    + "Do you want to replace it with the older file?",
    "filecantopen": "The file {path} is in use by another program." + CR
                    + "Please close Orfa and run the update again.",
    "badinstaller": "The update package is damaged." + CR + "Please download it again.",
    "yes_no": ["Yes", "No"],
}
RU = {
    "question": "Орфа: вопрос",
    "error": "Орфа",
    "done_caption": "Обновление «Орфы»",
    "installask": "Обновление «Орфы» установит Словарь «Аккордеон» 13." + CR + "Установить сейчас?",
    "installdone": "Обновление «Орфы» (Словарь «Аккордеон» 13): установка завершена." + CR + CR
                   + "Запустить «Орфу» сейчас?",
    "olderfilever": "Установленный файл orfm.cok новее, чем файл в этом обновлении." + CR
                    + "Заменить его более старым?",
    "filecantopen": "Файл {path} занят другой программой." + CR
                    + "Закройте «Орфу» и запустите обновление ещё раз.",
    "badinstaller": "Пакет обновления повреждён." + CR + "Пожалуйста, загрузите его заново.",
    "yes_no": ["Да", "Нет"],
}
DE = {
    "question": "Orfa: eine Frage",
    "installask": "Orfa Live-Update installiert jetzt: Wörterbuch „Akkordeon“ 13." + CR
                  + "Jetzt installieren?",
}

NO_PRODUCT_EN = ("Orfa update", "There's no Orfa installed." + CR + "Please install the program first.")
NO_PRODUCT_RU = ('Обновление программы "Орфа"',
                 'Нет установленной программы "Орфа"!' + CR + "Пожалуйста, сначала установите её.")


def sha256(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()


class E2eCase(unittest.TestCase):
    """Assertions on a RunResult; every test runs the installer itself."""
    maxDiff = None

    def run_update(self, inst: harness.Installation, **kwargs) -> harness.RunResult:
        return harness.run_update(inst, **kwargs)

    def assertBoxes(self, result: harness.RunResult, expected: Sequence[Tuple[str, str]],
                    buttons: Optional[List[List[str]]] = None) -> None:
        """The boxes shown, in order, as (caption, text)."""
        shown = [(b.caption, b.text) for b in result.boxes]
        self.assertEqual(shown, list(expected), "\n" + result.describe())
        if buttons is not None:
            self.assertEqual([b.buttons for b in result.boxes], buttons)
        # every box of the installer is an error (OK, error icon) or a
        # question (Yes and No, question icon)
        for b in result.boxes:
            kind = "question" if b.button_ids == [6, 7] else "error"
            if kind == "error":
                self.assertEqual(b.button_ids, [1], str(b))
            self.assertEqual(b.icon, kind, str(b))

    def assertEnded(self, result: harness.RunResult) -> None:
        self.assertFalse(result.timed_out, result.describe())
        self.assertEqual(result.exit_code, 0, result.describe())

    def assertPayloadInstalled(self, result: harness.RunResult, view: str = "native",
                               folder: Optional[str] = None) -> None:
        """The payload is in place and its folder's size is recorded in the view."""
        installed = result.installed_files[folder] if folder else result.installed
        self.assertIsNotNone(installed, result.describe())
        self.assertEqual(installed.sha256, result.payload_sha256, "payload not installed")
        self.assertEqual(installed.stamp, 13)
        size = result.folder_sizes_kb[folder or next(iter(result.folder_sizes_kb))]
        self.assertEqual(result.estimated_size.get(view), size, result.describe())
        self.assertGreater(result.estimated_size.get(view) or 0, 39000)

    def assertUntouched(self, result: harness.RunResult, stamp: int, size: int = 4096,
                        folder: Optional[str] = None) -> None:
        """The installed orfm.cok is the one laid out before the run."""
        installed = result.installed_files[folder] if folder else result.installed
        self.assertIsNotNone(installed, result.describe())
        self.assertEqual(installed.sha256, sha256(harness.installed_payload_bytes(stamp, size)),
                         "the installed file was changed\n" + result.describe())

    def assertNoSizeRecorded(self, result: harness.RunResult) -> None:
        self.assertEqual({v: s for v, s in result.estimated_size.items() if s is not None}, {},
                         result.describe())

    def assertStartedIn(self, result: harness.RunResult, folder: str) -> None:
        """The installer started the product once, as Orfa.exe, in its folder."""
        self.assertEqual(len(result.product_starts), 1, result.describe())
        start = result.product_starts[0]
        self.assertEqual(start["cwd"].rstrip("\\").lower(), folder.rstrip("\\").lower())
        self.assertEqual(start["exe_dir"].rstrip("\\").lower(), folder.rstrip("\\").lower())
        self.assertRegex(start["cmdline"], r"(^|[\\\"])Orfa\.exe\"?$")  # ProductName + ".exe"

    def assertNotStarted(self, result: harness.RunResult) -> None:
        self.assertEqual(result.product_starts, [], result.describe())
