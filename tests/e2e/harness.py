#!/usr/bin/env python3
"""Runs the real installer under Wine and Xvfb and reports what it did.

One run (`run_update`) takes a description of the sample Orfa installation
(`Installation`) and of the run (arguments, answers, a running product), and:

  * clones a cached pristine Wine prefix of the wanted architecture,
  * lays out the product folder (the stand-in as orfa.exe, language files,
    an installed orfm.cok with a given update stamp) and the registry entries,
  * starts Xvfb, the robot that answers the message boxes, optionally a
    running stand-in product, then the installer,
  * waits for everything with bounded waits, shuts the prefix down and
    returns a `RunResult`: the boxes, the exit code, the installed file,
    "EstimatedSize" in each registry view, the stand-in's events.

Standard library only. Paths of the build come from ORFA_E2E_BUILD (the
win32 build folder; default: build/win32 of the source tree).

API (used by the test_*.py modules):

  run_update(Installation(...), args=[...], answers=["yes", "no"],
             running=RunningProduct(...), timeout=120, installer=None, cwd=None,
             env={"Name": "value"}, record_comspec=False, trace_loads=False,
             screenshots=False, during=None)
      -> RunResult: boxes (Box: caption, text, buttons, button_ids, icon,
         answer, pressed, tick, shot), exit_code (all 32 bits: launcher.exe
         starts the installer and records it), timed_out, installed /
         installed_files (InstalledFile: size, sha256, stamp, header),
         payload_sha256, estimated_size {"native", "wow"} and uninstall_keys
         per registry view, user_key_exists, standin_events, product_starts,
         folder_size_kb / folder_sizes_kb, comspec_calls, temp_files (left in
         the user's Temp folder), product_files (directly in the product
         folder), loaded_modules, started_programs, running_programs (the
         prefix's processes when the installer ended), describe().
      Installation(links={"~orfm.cok": r"C:\\victim.txt"}) plants Unix symbolic
      links in the product folder (Wine takes them for what they lead to), and
      outside_files lays out files elsewhere on C:, such as what they lead to;
      outside_files and product_links of the result tell what became of them.
      Installation(windows_version="win10") sets the Windows version the
      prefix reports (winecfg -v) before the run; product_drive_kb puts the
      product folder on a drive of that size (a tmpfs mounted in a mount
      namespace of the test process; small_drive_unavailable_reason() says
      why it cannot be). env: environment variables
      of the run, written to the user's environment in the registry, because
      Wine sets ComSpec, Temp and the like from there when a program starts;
      every program of the run sees them. record_comspec: ComSpec names the
      recorder (comspec_recorder.exe, copied into the prefix), which logs each
      call and runs the real cmd.exe; comspec_calls lists the calls.
      trace_loads: Wine traces the modules it loads (WINEDEBUG +loaddll, for
      the installer and what it starts); loaded_modules lists the full paths,
      lower case, of those the installer's own process loaded, and
      started_programs the programs of the processes it started.
      default_log: the bytes of the unattended mode's default log after the
      run (Logs\\Orfa\\orfa-update.log in the Windows folder), None when there
      is none.
      Installation(link_to=r"C:\\A") makes the product folder a link to A;
      desktop_shell=False disables Wine's desktop process for the whole run.
      during(prefix, release, running): called once the installer has been
      started; release() lets the running product end (its stop file),
      running() tells whether the installer still runs.
      screenshots: the robot copies each box from the screen before it
      answers it; Box.shot holds the picture as PNG bytes.
  run_program(exe, args, ...) -> {"boxes", "exit_code", "files"}: any program
      with the robot, for checking the helpers themselves.
  sample_language(name) -> the bytes of a sample language file as installed.
  unavailable_reason() -> why runs cannot happen here (no Wine, no build).

Prefixes: one pristine prefix per architecture is booted once and cached in
ORFA_E2E_CACHE (default /tmp/orfa-e2e-cache-UID); every run clones it (system
files hard-linked) into a temporary folder that is deleted afterwards, unless
ORFA_E2E_KEEP=1. The registry is read from the prefix's saved hives after its
wineserver has ended.

Command line: `harness.py run [options] [-- installer arguments]` prints every
box and what was installed; see `harness.py run --help`.
"""
import argparse
import contextlib
import ctypes
import dataclasses
import fcntl
import functools
import struct
import hashlib
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zlib
from pathlib import Path
from typing import Callable, Dict, List, Optional, Tuple

E2E_DIR = Path(__file__).resolve().parent
SOURCE_DIR = E2E_DIR.parent.parent
SAMPLE_LANGUAGE_DIR = E2E_DIR / "sample" / "language"

PRODUCT_DIR_WIN = r"C:\Program Files\Orfa"
COMSPEC_RECORDER_WIN = r"C:\orfa-e2e\comspec.exe"   # no blank: ComSpec goes unquoted into command lines
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Orfa"
WOW_UNINSTALL_KEY = r"Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Orfa"
USER_KEY = r"Software\Tovel\Orfa"

# Code pages of the sample language files; the sources are UTF-8 text.
LANGUAGE_CODEPAGES = {"english.lng": "ascii", "russian.lng": "cp1251", "german.lng": "cp1252"}

LOCALES = {"en": "en_US.UTF-8", "ru": "ru_RU.UTF-8"}

# Bounds of every wait, in seconds.
PREFIX_BOOT_TIMEOUT = 180
READY_TIMEOUT = 180  # a first start in a new prefix, emulated, on a busy machine
SHUTDOWN_TIMEOUT = 30
DEFAULT_RUN_TIMEOUT = 120

WINE_DLL_OVERRIDES = "mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv="


class HarnessError(Exception):
    """The environment could not be prepared (no Wine, no build, a wait ran out)."""


def unavailable_reason(installer: bool = True) -> Optional[str]:
    """Why end-to-end runs cannot happen here, or None when they can."""
    for tool in ("wine", "wineserver", "Xvfb"):
        if not shutil.which(tool):
            return f"{tool} is not installed"
    reason = None if WINE64_ONLY else wine32_unavailable_reason()
    if reason:
        return reason
    needed = [helper_path(name) for name in ("robot", "orfa_standin", "boxprobe", "comspec_recorder",
                                             "launcher")]
    if installer:
        needed.insert(0, installer_path())
    for path in needed:
        if not path.is_file():
            return f"{path} has not been built"
    return None


def wine32_unavailable_reason() -> Optional[str]:
    """Why Wine cannot run 32-bit programs on this machine, or None when it can.
    Wine's 32-bit loader is itself a 32-bit Linux program: on a kernel whose
    32-bit emulation is switched off it fails with "Exec format error"."""
    try:
        probe = subprocess.run(["wine", "--version"], capture_output=True, text=True, timeout=60)
    except (subprocess.SubprocessError, OSError) as e:
        return f"wine does not start: {e}"
    if probe.returncode != 0:
        said = (probe.stderr or probe.stdout).strip().splitlines()
        return ("this machine cannot run 32-bit programs, so Wine cannot run the 32-bit"
                f" installer (wine --version: {said[-1] if said else 'exit ' + str(probe.returncode)})")
    return None


def build_dir() -> Path:
    return Path(os.environ.get("ORFA_E2E_BUILD", SOURCE_DIR / "build" / "win32")).resolve()


def installer_path() -> Path:
    return build_dir() / "orfa-update.exe"


def helper_path(name: str) -> Path:
    return build_dir() / "e2e" / f"{name}.exe"


def payload_path() -> Path:
    return build_dir() / "payload" / "orfm.cok"


def to_windows(path: Path) -> str:
    """The Z: drive path under which Wine sees a host path."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


# ---------------------------------------------------------------------------
# Language files

def sample_language(name: str) -> bytes:
    """A sample language file as it is installed: CR LF lines in its code page.
    The repository keeps it as UTF-8 text (ASCII for English)."""
    for candidate in (SAMPLE_LANGUAGE_DIR / name, SAMPLE_LANGUAGE_DIR / (name + ".utf8")):
        if candidate.is_file():
            text = candidate.read_text(encoding="utf-8")
            break
    else:
        raise HarnessError(f"no sample language file {name}")
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    return text.encode(LANGUAGE_CODEPAGES.get(name.lower(), "cp1252"))


def language_text(name: str) -> str:
    """The sample file decoded again, for building expected texts."""
    return sample_language(name).decode(LANGUAGE_CODEPAGES.get(name.lower(), "cp1252"))


def lng_value(name: str, key: str, lines: bool = False) -> str:
    """A value of a sample language file, read the way the installer reads it."""
    rows = language_text(name).split("\r\n")
    for i, row in enumerate(rows):
        if row.startswith("[") and row.strip(" \t").lower().find(key.lower() + "]") == 1:
            value = rows[i + 1:]
            if not lines:
                return value[0] if value else ""
            out = []
            for v in value:
                if not v.strip("".join(chr(c) for c in range(33))):
                    break
                out.append(v)
            return "\r\n".join(out)
    return ""


# ---------------------------------------------------------------------------
# What the sample installation looks like

@dataclasses.dataclass
class Installation:
    arch: str = "win32"                   # "win32" or "win64" prefix
    locale: str = "en"                    # "en" or "ru", or a full LANG value
    product: bool = True                  # lay out the product folder with orfa.exe
    product_dir: str = PRODUCT_DIR_WIN    # a C:\ path
    # Language files: name -> bytes, or name -> None for the sample of that name.
    languages: Dict[str, Optional[bytes]] = dataclasses.field(
        default_factory=lambda: {"english.lng": None, "russian.lng": None})
    installed_stamp: Optional[int] = 13   # update stamp of the installed orfm.cok; None: no file
    installed_size: int = 4096
    extra_files: Dict[str, bytes] = dataclasses.field(default_factory=dict)  # relative to product_dir
    # Uninstall entry: "native", "wow" (Wow6432Node, 64-bit prefixes), or None.
    uninstall: Optional[str] = "native"
    uninstall_string: Optional[str] = None  # default: product_dir + "\unins000.exe"
    last_run_folder: Optional[str] = None   # HKCU ... "TheLastRunFolder"
    lang_file: Optional[str] = None         # HKCU ... "LangFile"
    # Further values of the per-user key, as regedit writes them: name -> 'dword:00000001'.
    user_values: Dict[str, str] = dataclasses.field(default_factory=dict)
    standin_config: Optional[Dict[str, str]] = None  # orfa_standin.cfg beside orfa.exe
    # Further folders (C:\ paths) laid out like product_dir, uninstall entry aside.
    more_products: List[str] = dataclasses.field(default_factory=list)
    # The Windows version the prefix reports ("win7", "win10", ... as winecfg
    # -v takes it); None: the prefix's own (Windows 7 for Wine 8).
    windows_version: Optional[str] = None
    # The product folder on a drive of its own of this many KiB (a tmpfs
    # mounted for the run): a drive that fills up during the update.
    product_drive_kb: Optional[int] = None
    # Unix symbolic links in product_dir, as another user of the machine
    # would plant them: name (relative) -> the C:\ path they lead to.
    links: Dict[str, str] = dataclasses.field(default_factory=dict)
    # Files outside the product folder: C:\ path -> bytes, or None for a
    # path that is watched and stays empty.
    outside_files: Dict[str, Optional[bytes]] = dataclasses.field(default_factory=dict)
    # product_dir as a Unix symbolic link (a junction, to Wine) to this C:\
    # folder, laid out through it when product is True.
    link_to: Optional[str] = None
    # False: Wine's desktop process (explorer.exe), the desktop shell, is
    # disabled for every program of the run, so no process can start it.
    desktop_shell: bool = True

    def __post_init__(self) -> None:
        # What the test asked for; the 64-bit build runs in 64-bit prefixes only.
        self.asked_arch = self.arch
        if WINE64_ONLY:
            self.arch = "win64"


@dataclasses.dataclass
class RunningProduct:
    """A stand-in started before the installer, as a running product."""
    mapping: bool = True
    window: bool = True
    lock_payload: bool = True   # keep the installed orfm.cok open without sharing
    ignore_quit: bool = False
    quit_delay_ms: int = 0      # keeps the file that long after WM_QUIT
    lifetime: int = 40


@dataclasses.dataclass
class Box:
    caption: str
    text: str
    buttons: List[str]        # texts without the "&"
    button_ids: List[int]
    icon: str
    answer: str
    pressed: int
    t_ms: int     # since the robot started
    tick: int     # GetTickCount() when the box was first seen
    pid: int
    shot: Optional[bytes] = None   # PNG of the box as shown (run with screenshots)

    def __str__(self) -> str:
        return (f"[{self.caption}] {self.text!r} buttons={self.buttons} "
                f"answer={self.answer} pressed={self.pressed}")


@dataclasses.dataclass
class InstalledFile:
    size: int
    sha256: str
    stamp: Optional[int]      # byte at offset 4 minus 32
    header: bytes


@dataclasses.dataclass
class RunResult:
    boxes: List[Box]
    exit_code: Optional[int]   # None when it timed out or could not be started
    timed_out: bool
    duration: float
    installed: Optional[InstalledFile]         # orfm.cok in product_dir
    installed_files: Dict[str, Optional[InstalledFile]]  # orfm.cok in every laid-out folder
    payload_sha256: str
    estimated_size: Dict[str, Optional[int]]   # view ("native", "wow") -> value
    uninstall_keys: Dict[str, bool]            # view -> key exists
    user_key_exists: bool
    standin_events: List[dict]
    product_starts: List[dict]   # "start" events of stand-ins the installer started
    folder_size_kb: Optional[int]  # size of the product folder after the run, KiB
    folder_sizes_kb: Dict[str, Optional[int]]  # the same for every laid-out folder
    prefix: Optional[Path]       # kept only with ORFA_E2E_KEEP=1
    # With record_comspec: one entry a call of ComSpec, as the recorder logged
    # it: "cmdline", "comspec", "temp" (the Temp variable), "cwd".
    comspec_calls: List[dict] = dataclasses.field(default_factory=list)
    # The system error that kept the installer from starting (CreateProcessW), or None.
    start_error: Optional[int] = None
    # Names of the files in the user's Temp folder of the prefix after the run.
    temp_files: List[str] = dataclasses.field(default_factory=list)
    # The unattended mode's default log (Logs\Orfa\orfa-update.log in the
    # Windows folder, letter case aside), or None.
    default_log: Optional[bytes] = None
    # Names of the files directly in the product folder after the run.
    product_files: List[str] = dataclasses.field(default_factory=list)
    # Names of the symbolic links directly in the product folder after the run.
    product_links: List[str] = dataclasses.field(default_factory=list)
    # With kill_fractions: for each killed run, in order, what orfm.cok was
    # right after the kill ("old", "new" or "torn") and the names of the
    # files in the product folder then.
    kills: List[Tuple[str, List[str]]] = dataclasses.field(default_factory=list)
    # The Installation's outside_files after the run: path -> bytes, None when gone.
    outside_files: Dict[str, Optional[bytes]] = dataclasses.field(default_factory=dict)
    # With trace_loads: the modules the installer's process loaded (full
    # Windows paths, lower case), in the order Wine reported them.
    loaded_modules: List[str] = dataclasses.field(default_factory=list)
    # The command lines, as Linux shows them, of the prefix's processes when
    # the installer ended (Wine's desktop: "...\explorer.exe /desktop").
    running_programs: List[str] = dataclasses.field(default_factory=list)
    # With trace_loads: the programs of the processes the installer started
    # itself, and of those they started (a console command: cmd.exe), in the
    # same form. Not the product: the desktop shell starts it.
    started_programs: List[str] = dataclasses.field(default_factory=list)

    @property
    def payload_installed(self) -> bool:
        return self.installed is not None and self.installed.sha256 == self.payload_sha256

    def describe(self) -> str:
        lines = [f"exit code: {self.exit_code}{' (timed out)' if self.timed_out else ''}"
                 f"{f' (not started: error {self.start_error})' if self.start_error else ''}"
                 f" after {self.duration:.1f} s"]
        for i, b in enumerate(self.boxes, 1):
            lines.append(f"box {i}: caption {b.caption!r}")
            for t in b.text.split("\r\n"):
                lines.append(f"    | {t}")
            lines.append(f"    buttons {b.buttons}, icon {b.icon}, answered {b.answer}"
                         f" (pressed {b.pressed})")
        if not self.boxes:
            lines.append("no message box")
        if self.installed:
            lines.append(f"installed orfm.cok: {self.installed.size} bytes, stamp "
                         f"{self.installed.stamp}, sha256 {self.installed.sha256[:16]}..."
                         f"{' (the payload)' if self.payload_installed else ''}")
        else:
            lines.append("installed orfm.cok: none")
        for view, value in self.estimated_size.items():
            lines.append(f"EstimatedSize ({view} view): "
                         f"{value if value is not None else 'not set'}"
                         f"{'' if self.uninstall_keys.get(view) else ' (no uninstall key)'}")
        if self.folder_size_kb is not None:
            lines.append(f"product folder size: {self.folder_size_kb} KiB")
        for s in self.product_starts:
            lines.append(f"product started: {s.get('exe')} in {s.get('cwd')}")
        for c in self.comspec_calls:
            lines.append(f"ComSpec called: {c.get('cmdline')} (Temp {c.get('temp')})")
        for program in self.started_programs:
            lines.append(f"started by the installer: {program}")
        if self.temp_files:
            lines.append(f"left in Temp: {', '.join(self.temp_files)}")
        if self.product_links:
            lines.append(f"links in the product folder: {', '.join(self.product_links)}")
        for path, data in self.outside_files.items():
            lines.append(f"{path}: {'gone' if data is None else f'{len(data)} bytes'}")
        return "\n".join(lines)


# ---------------------------------------------------------------------------
# Wine prefixes

def wine_version() -> str:
    out = subprocess.run([wine_loader(), "--version"], capture_output=True, text=True, timeout=30)
    return out.stdout.strip() or "wine"


def base_env(prefix: Path, arch: str, locale: str) -> Dict[str, str]:
    env = dict(os.environ)
    lang = LOCALES.get(locale, locale)
    env.update({
        "WINEPREFIX": str(prefix),
        "WINEARCH": arch,
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": WINE_DLL_OVERRIDES,
        "LANG": lang,
        "LC_ALL": lang,
    })
    env.pop("LANGUAGE", None)
    return env


def cache_root() -> Path:
    return Path(os.environ.get("ORFA_E2E_CACHE", f"/tmp/orfa-e2e-cache-{os.getuid()}"))


# Settings every prefix gets: windows without a window manager's handshake
# (no 2 s wait when a box closes), no sound, no crash dialog.
PRISTINE_REG = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="N"

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
"""


# A 64-bit build of the programs under test, for a machine that cannot run
# 32-bit programs: they run under Wine's 64-bit loader, in 64-bit prefixes.
WINE64_ONLY = os.environ.get("ORFA_WINE64_ONLY") == "1"


def wine_loader() -> str:
    """The loader that starts the programs under test."""
    return native_loader("win64") if WINE64_ONLY else "wine"


def native_loader(arch: str) -> str:
    """The Wine loader that runs the system's own programs (regedit) in their
    native bitness: plain "wine" starts the 32-bit ones, which in a 64-bit
    prefix would write the registry's 32-bit view."""
    if arch == "win64":
        for candidate in (shutil.which("wine64"), "/usr/lib/wine/wine64", "/usr/lib64/wine/wine64"):
            if candidate and os.access(candidate, os.X_OK):
                return candidate
        raise HarnessError("no 64-bit Wine loader (wine64) found")
    return "wine"


def kill_prefix(env: Dict[str, str]) -> None:
    with contextlib.suppress(subprocess.TimeoutExpired):
        subprocess.run(["wineserver", "-k"], env=env, timeout=SHUTDOWN_TIMEOUT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def shutdown_prefix(env: Dict[str, str], timeout: float = SHUTDOWN_TIMEOUT) -> None:
    """Waits for the prefix's wineserver to end; kills it when it does not."""
    try:
        subprocess.run(["wineserver", "-w"], env=env, timeout=timeout,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        subprocess.run(["wineserver", "-k"], env=env, timeout=timeout,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with contextlib.suppress(subprocess.TimeoutExpired):
            subprocess.run(["wineserver", "-w"], env=env, timeout=timeout,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def pristine_prefix(arch: str) -> Path:
    """The cached, booted prefix of an architecture; made once (under a lock)."""
    if arch not in ("win32", "win64"):
        raise HarnessError(f"unknown architecture {arch}")
    root = cache_root()
    root.mkdir(parents=True, exist_ok=True)
    tag = re.sub(r"[^A-Za-z0-9.]+", "-", wine_version())
    tag += "-" + hashlib.sha256(PRISTINE_REG.encode()).hexdigest()[:8]
    target = root / f"{arch}-{tag}"
    with open(root / ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if (target / "system.reg").is_file() and (target / ".orfa-e2e-ready").is_file():
            return target
        building = Path(tempfile.mkdtemp(prefix=f"{arch}-building-", dir=root))
        shutil.rmtree(building)
        env = base_env(building, arch, "en")
        try:
            subprocess.run([wine_loader(), "wineboot", "-i"], env=env, timeout=PREFIX_BOOT_TIMEOUT,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            reg = root / f"{building.name}.reg"
            reg.write_text(PRISTINE_REG.replace("\n", "\r\n"), encoding="ascii")
            subprocess.run([wine_loader(), "regedit", "/S", str(reg)], env=env, timeout=PREFIX_BOOT_TIMEOUT,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            reg.unlink()
            shutdown_prefix(env)
        except (subprocess.SubprocessError, OSError) as e:
            shutdown_prefix(env)
            shutil.rmtree(building, ignore_errors=True)
            raise HarnessError(f"could not create a {arch} Wine prefix: {e}") from e
        (building / ".orfa-e2e-ready").write_text("ok\n")
        if target.exists():
            shutil.rmtree(target)
        building.rename(target)
        return target


# Files under drive_c/windows that Wine only reads: shared with the pristine
# prefix through hard links instead of being copied (the prefix is ~600 MB).
_LINKED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".ocx", ".acm", ".cpl", ".tlb", ".nls",
                    ".ttf", ".fon", ".ax", ".ds", ".mui", ".com", ".msstyles", ".manifest"}


def clone_prefix(pristine: Path, target: Path) -> None:
    """Copies a prefix: the registry and small files are copied, the large
    read-only system files are hard-linked."""
    def copy(src, dst):
        if (Path(src).suffix.lower() in _LINKED_SUFFIXES
                and "/drive_c/windows/" in str(src)):
            try:
                os.link(src, dst)
                return dst
            except OSError:
                pass
        return shutil.copy2(src, dst)

    shutil.copytree(pristine, target, symlinks=True, copy_function=copy,
                    ignore=shutil.ignore_patterns("wineserver", ".orfa-e2e-ready"))


# ---------------------------------------------------------------------------
# Registry

def _reg_escape(text: str) -> str:
    return text.replace("\\", "\\\\").replace('"', '\\"')


def registry_file(inst: Installation, environment: Optional[Dict[str, str]] = None) -> str:
    """A regedit file (UTF-16 format header) with the installation's entries
    and the given variables of the user's environment."""
    parts = ["Windows Registry Editor Version 5.00", ""]
    if environment:
        parts.append("[HKEY_CURRENT_USER\\Environment]")
        parts += [f'"{_reg_escape(k)}"="{_reg_escape(v)}"' for k, v in environment.items()]
        parts.append("")
    uninstall_string = inst.uninstall_string
    if uninstall_string is None:
        uninstall_string = inst.product_dir + "\\unins000.exe"
    if inst.uninstall:
        key = {"native": UNINSTALL_KEY, "wow": WOW_UNINSTALL_KEY}[inst.uninstall]
        parts += [f"[HKEY_LOCAL_MACHINE\\{key}]",
                  f'"UninstallString"="{_reg_escape(uninstall_string)}"',
                  '"DisplayName"="Orfa"', ""]
    if inst.last_run_folder is not None or inst.lang_file is not None or inst.user_values:
        parts.append(f"[HKEY_CURRENT_USER\\{USER_KEY}]")
        if inst.last_run_folder is not None:
            parts.append(f'"TheLastRunFolder"="{_reg_escape(inst.last_run_folder)}"')
        if inst.lang_file is not None:
            parts.append(f'"LangFile"="{_reg_escape(inst.lang_file)}"')
        for name, raw in inst.user_values.items():
            parts.append(f'"{_reg_escape(name)}"={raw}')
        parts.append("")
    return "\r\n".join(parts) + "\r\n"


def _read_reg_file(path: Path) -> Dict[str, Dict[str, str]]:
    """Keys (lower-case) -> values (lower-case name -> raw value text) of a saved Wine registry."""
    keys: Dict[str, Dict[str, str]] = {}
    current = None
    try:
        text = path.read_text(encoding="utf-8", errors="replace")
    except OSError:
        return keys
    for line in text.splitlines():
        if line.startswith("["):
            end = line.rfind("]")
            name = line[1:end].replace("\\\\", "\\").lower()
            current = keys.setdefault(name, {})
        elif current is not None and line.startswith('"'):
            m = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if m:
                current[m.group(1).lower()] = m.group(2)
    return keys


def _dword(raw: Optional[str]) -> Optional[int]:
    if raw is None or not raw.startswith("dword:"):
        return None
    return int(raw[6:], 16)


# ---------------------------------------------------------------------------
# Processes

def _wait_for(predicate, timeout: float, what: str, poll: float = 0.05) -> None:
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise HarnessError(f"timed out waiting for {what}")
        time.sleep(poll)


class Xvfb:
    """An X server of its own for one run."""

    def __init__(self):
        self.proc = None
        self.display = None

    def __enter__(self):
        read_fd, write_fd = os.pipe()
        try:
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        finally:
            os.close(write_fd)
        data = b""
        deadline = time.monotonic() + 20
        with os.fdopen(read_fd, "rb", buffering=0) as r:
            while not data.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([r], [], [], left)[0]:
                    self.__exit__(None, None, None)
                    raise HarnessError("Xvfb did not start")
                chunk = r.read(64)
                if not chunk:
                    self.__exit__(None, None, None)
                    raise HarnessError("Xvfb ended at start")
                data += chunk
        self.display = ":" + data.decode().strip()
        return self

    def __exit__(self, *exc):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(10)


# A line of Wine's +pid,+loaddll trace: process id and thread id (missing on
# the lines a process writes before its debug output is set up), the module.
LOADDLL_LINE = re.compile(
    r'^(?:([0-9a-f]+):[0-9a-f]+:)?trace:loaddll:\S+ Loaded L"((?:[^"\\]|\\.)*)"')


def _traced_modules(path: Path, installer_pid: Optional[int]) -> Tuple[List[str], List[str]]:
    """From a +pid,+loaddll trace: the modules of the installer's process, and
    the first module (its program) of each process that appears after it.
    The launcher writes the first lines, all before the installer exists,
    and is left out; what the installer starts inherits the trace. A line
    without a process id cannot be told apart and is left out."""
    if not path.is_file() or installer_pid is None:
        return [], []
    modules, programs, seen = [], [], set()
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        match = LOADDLL_LINE.match(line)
        if not match or not match.group(1):
            continue
        pid, module = int(match.group(1), 16), re.sub(r"\\(.)", r"\1", match.group(2)).lower()
        if pid == installer_pid:
            modules.append(module)
        elif pid not in seen:
            seen.add(pid)
            if modules:
                programs.append(module)
    return modules, programs


def _prefix_programs(prefix: Path) -> List[str]:
    """The command lines of the processes whose environment names the prefix."""
    marker, programs = f"WINEPREFIX={prefix}".encode(), []
    for proc in Path("/proc").iterdir():
        with contextlib.suppress(OSError):
            if proc.name.isdigit() and marker in (proc / "environ").read_bytes().split(b"\0"):
                programs.append((proc / "cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace"))
    return programs


def _read_json_lines(path: Path) -> List[dict]:
    out = []
    try:
        raw = path.read_bytes()
    except OSError:
        return out
    for line in raw.decode("utf-8", errors="replace").splitlines():
        line = line.strip()
        if line:
            with contextlib.suppress(ValueError):
                out.append(json.loads(line))
    return out


def _start_robot(env: Dict[str, str], work: Path, answers: List[str],
                 timeout: float, screenshots: bool = False) -> subprocess.Popen:
    """Starts the robot with its log, stop and ready files in work, and waits
    until it watches the screen. It stops when work/robot.stop appears. With
    screenshots, it copies each box into work/shots before answering it."""
    ready = work / "robot.ready"
    shots = []
    if screenshots:
        (work / "shots").mkdir(exist_ok=True)
        shots = ["--shots", to_windows(work / "shots")]
    robot = subprocess.Popen(
        [wine_loader(), str(helper_path("robot")), "--log", to_windows(work / "boxes.jsonl"),
         "--answers", ",".join(answers) or ",", "--stop", to_windows(work / "robot.stop"),
         "--ready", to_windows(ready), "--timeout", str(int(timeout) + 60)] + shots,
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        _wait_for(ready.exists, READY_TIMEOUT, "the robot")
    except HarnessError:
        robot.kill()
        robot.wait(10)
        raise
    return robot


def png_from_bmp(data: bytes) -> bytes:
    """The robot's 32-bit top-down BMP as an RGB PNG."""
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _planes, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 32 or width <= 0 or height == 0:
        raise HarnessError(f"not a 32-bit BMP of the robot ({width}x{height}, {bits} bits)")
    rows = []
    for y in range(abs(height)):
        row = y if height < 0 else abs(height) - 1 - y
        bgra = data[offset + row * width * 4: offset + (row + 1) * width * 4]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = bgra[2::4], bgra[1::4], bgra[0::4]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind: bytes, body: bytes) -> bytes:
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def png_pixels(data: bytes):
    """Width, height and RGB rows of a PNG written by png_from_bmp (8-bit RGB,
    filter type 0 on every row)."""
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        raise HarnessError("not a PNG file")
    pos, width, height, idat = 8, 0, 0, b""
    while pos < len(data):
        length, = struct.unpack_from(">I", data, pos)
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack_from(">IIBB", body)
            if (depth, colour) != (8, 2):
                raise HarnessError("not an 8-bit RGB PNG")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3 + 1
    rows = [raw[y * stride + 1:(y + 1) * stride] for y in range(height)]
    if any(raw[y * stride] != 0 for y in range(height)):
        raise HarnessError("PNG rows with filters are not read here")
    return width, height, rows


def _boxes(records: List[dict], shots: Optional[Path] = None) -> List[Box]:
    boxes = []
    for r in records:
        if "caption" not in r:
            continue
        shot = None
        if shots is not None and r.get("shot"):
            with contextlib.suppress(OSError):
                shot = png_from_bmp((shots / r["shot"]).read_bytes())
        boxes.append(Box(caption=r["caption"], text=r["text"],
                         buttons=[b["text"].replace("&", "") for b in r["buttons"]],
                         button_ids=[b["id"] for b in r["buttons"]],
                         icon=r.get("icon", ""), answer=r.get("answer", ""),
                         pressed=r.get("pressed", 0), t_ms=r.get("t_ms", 0),
                         tick=r.get("tick", 0), pid=r.get("pid", 0), shot=shot))
    return boxes


_payload_hash_cache: Dict[str, str] = {}


def _sha256(path: Path) -> str:
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def payload_sha256() -> str:
    p = payload_path()
    key = f"{p}:{p.stat().st_mtime_ns}" if p.exists() else str(p)
    if key not in _payload_hash_cache:
        _payload_hash_cache[key] = _sha256(p) if p.exists() else ""
    return _payload_hash_cache[key]


def installed_payload_bytes(stamp: int, size: int) -> bytes:
    """An older installed orfm.cok: the header the installer reads, then filler."""
    header = b"orfm" + bytes([(stamp + 32) & 0xFF]) + (100).to_bytes(2, "little")
    filler = b"installed orfm.cok sample data. " * (size // 32 + 1)
    return (header + filler)[:max(size, 0)]


def host_path(prefix: Path, windows_path: str) -> Path:
    """Where a C:\\ path of the prefix lies on the host."""
    if not windows_path[:3].upper() == "C:\\":
        raise HarnessError(f"not a C: path: {windows_path}")
    return prefix / "drive_c" / windows_path[3:].replace("\\", "/")


def folder_size_kb(folder: Path) -> Optional[int]:
    if not folder.is_dir():
        return None
    total = 0
    for root, _dirs, files in os.walk(folder):
        for f in files:
            with contextlib.suppress(OSError):
                total += (Path(root) / f).stat().st_size
    return total // 1024


@functools.lru_cache(maxsize=None)
def small_drive_unavailable_reason() -> Optional[str]:
    """Why a small drive cannot be mounted for a run, or None when it can.
    The first call moves this process, and so everything it starts from then
    on, into a mount namespace of its own: the mounts stay private to the
    tests and end with them. Later calls give the first one's answer."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(0x00020000) != 0:   # CLONE_NEWNS
        return f"unshare(CLONE_NEWNS): {os.strerror(ctypes.get_errno())}"
    made = subprocess.run(["mount", "--make-rprivate", "/"], capture_output=True, text=True)
    if made.returncode != 0:
        return f"mount --make-rprivate /: {made.stderr.strip()}"
    return None


@contextlib.contextmanager
def small_drive(folder: Path, kb: int):
    """A tmpfs of `kb` KiB mounted on `folder` while the block runs."""
    why = small_drive_unavailable_reason()
    if why:
        raise HarnessError(f"cannot mount a small drive: {why}")
    folder.mkdir(parents=True, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={kb}k,mode=0755", "orfa-e2e", str(folder)],
                   check=True, capture_output=True)
    try:
        yield folder
    finally:
        subprocess.run(["umount", "-l", str(folder)], capture_output=True)


def lay_out(prefix: Path, inst: Installation) -> None:
    if inst.link_to:
        host_path(prefix, inst.product_dir).parent.mkdir(parents=True, exist_ok=True)
        host_path(prefix, inst.product_dir).symlink_to(host_path(prefix, inst.link_to))
    if inst.product:
        lay_out_product(prefix, inst, inst.product_dir)
    for other in inst.more_products:
        lay_out_product(prefix, inst, other)
    for path, data in inst.outside_files.items():
        host = host_path(prefix, path)
        host.parent.mkdir(parents=True, exist_ok=True)
        if data is not None:
            host.write_bytes(data)
    for rel, target in inst.links.items():
        link = host_path(prefix, inst.product_dir) / rel.replace("\\", "/")
        link.parent.mkdir(parents=True, exist_ok=True)
        link.symlink_to(host_path(prefix, target))


def lay_out_product(prefix: Path, inst: Installation, product_dir: str) -> None:
    folder = host_path(prefix, product_dir)
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(helper_path("orfa_standin"), folder / "orfa.exe")
    lang = folder / "language"
    lang.mkdir(exist_ok=True)
    for name, data in inst.languages.items():
        (lang / name).write_bytes(sample_language(name) if data is None else data)
    if inst.installed_stamp is not None:
        (folder / "orfm.cok").write_bytes(installed_payload_bytes(inst.installed_stamp,
                                                                  inst.installed_size))
    for rel, data in inst.extra_files.items():
        p = folder / rel.replace("\\", "/")
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(data)
    if inst.standin_config is not None:
        (folder / "orfa_standin.cfg").write_text(
            "".join(f"{k}={v}\r\n" for k, v in inst.standin_config.items()), encoding="utf-8")


def _installed_file(path: Path) -> Optional[InstalledFile]:
    if not path.is_file():
        return None
    with open(path, "rb") as f:
        head = f.read(7)
    return InstalledFile(size=path.stat().st_size, sha256=_sha256(path),
                         stamp=(head[4] - 32) if len(head) > 4 else None, header=head)


def _killed_runs(prefix: Path, inst: Installation, env: Dict[str, str], args: List[str],
                 work: Path, fractions: List[float]) -> List[Tuple[str, List[str]]]:
    """Runs the installer once, once timed, then once per fraction of that time,
    killed then (SIGKILL: the system closes its handles, nothing of its own
    runs), each over the old orfm.cok laid out again."""
    folder = host_path(prefix, inst.product_dir)
    old = installed_payload_bytes(inst.installed_stamp or 13, inst.installed_size)
    command = [wine_loader(), str(installer_path())] + args

    def start() -> subprocess.Popen:
        return subprocess.Popen(command, env=env, cwd=str(work),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    start().wait(DEFAULT_RUN_TIMEOUT)  # the first start in a prefix is the slow one
    t0 = time.monotonic()
    start().wait(DEFAULT_RUN_TIMEOUT)
    duration = time.monotonic() - t0
    kills = []
    for fraction in fractions:
        (folder / "orfm.cok").write_bytes(old)
        proc = start()
        with contextlib.suppress(subprocess.TimeoutExpired):
            proc.wait(duration * fraction)
        if proc.poll() is None:
            proc.kill()
        proc.wait(SHUTDOWN_TIMEOUT)
        # the wineserver closes a killed process's handles once it notices
        time.sleep(1.0)
        installed = _installed_file(folder / "orfm.cok")
        state = "torn"
        if installed and installed.sha256 == payload_sha256():
            state = "new"
        elif (folder / "orfm.cok").is_file() and (folder / "orfm.cok").read_bytes() == old:
            state = "old"
        kills.append((state, sorted(p.name for p in folder.iterdir() if p.is_file())))
    return kills


def run_update(inst: Installation, args: Optional[List[str]] = None,
               answers: Optional[List[str]] = None,
               running: Optional[RunningProduct] = None,
               timeout: float = DEFAULT_RUN_TIMEOUT,
               keep: Optional[bool] = None,
               installer: Optional[Path] = None,
               cwd: Optional[str] = None,
               env: Optional[Dict[str, str]] = None,
               record_comspec: bool = False,
               trace_loads: bool = False,
               screenshots: bool = False,
               kill_fractions: Optional[List[float]] = None,
               during: Optional[Callable[[Path, Callable[[], None], Callable[[], bool]], None]] = None
               ) -> RunResult:
    """Runs the installer (by default the built one) once in a fresh prefix
    and collects what happened. cwd: a C:\\ folder to run it in (default: a
    folder of the host outside the prefix's C: drive). env: further
    environment variables (see the module's notes); record_comspec: ComSpec
    is the recorder, whose calls come back in comspec_calls. kill_fractions:
    before the run, one timed run of the installer, then one run per
    fraction, each killed at that fraction of the timed run's duration and
    started over the installed file laid out again (what it leaves beside
    it stays); what each kill left comes back in kills."""
    reason = unavailable_reason()
    if reason:
        raise HarnessError(reason)
    args = list(args or [])
    answers = list(answers or [])
    if keep is None:
        keep = os.environ.get("ORFA_E2E_KEEP") == "1"
    env_overrides = dict(env or {})
    pristine = pristine_prefix(inst.arch)
    work = Path(tempfile.mkdtemp(prefix="orfa-e2e-"))
    prefix = work / "prefix"
    env = base_env(prefix, inst.arch, inst.locale)
    if not inst.desktop_shell:
        env["WINEDLLOVERRIDES"] += ";explorer.exe=d"
    environment: Dict[str, str] = {}
    started_at = time.monotonic()
    mounts = contextlib.ExitStack()
    try:
        clone_prefix(pristine, prefix)
        if inst.product_drive_kb:
            mounts.enter_context(small_drive(host_path(prefix, inst.product_dir), inst.product_drive_kb))
        lay_out(prefix, inst)
        box_log = work / "boxes.jsonl"
        standin_log = work / "standin.jsonl"
        env["ORFA_STANDIN_LOG"] = to_windows(standin_log)
        comspec_log = work / "comspec.jsonl"
        if record_comspec:
            recorder = host_path(prefix, COMSPEC_RECORDER_WIN)
            recorder.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(helper_path("comspec_recorder"), recorder)
            env["ORFA_COMSPEC_LOG"] = to_windows(comspec_log)
            environment["ComSpec"] = COMSPEC_RECORDER_WIN
        environment.update(env_overrides)
        robot_stop = work / "robot.stop"
        product_stop = work / "product.stop"
        product_ready = work / "product.ready"
        reg = work / "setup.reg"
        reg.write_text(registry_file(inst, environment), encoding="utf-16")

        loads_log = work / "loads.txt"
        launched_log = work / "launched.json"
        with Xvfb() as x, contextlib.ExitStack() as stack:
            env["DISPLAY"] = x.display
            procs = []
            try:
                subprocess.run([native_loader(inst.arch), "regedit", "/S", str(reg)], env=env,
                               timeout=READY_TIMEOUT, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, check=True)
                if inst.windows_version:
                    # winecfg writes the version into both registry views;
                    # programs started from now on report it
                    subprocess.run([native_loader(inst.arch), "winecfg", "-v", inst.windows_version],
                                   env=env, timeout=READY_TIMEOUT, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, check=True)
                procs.append(_start_robot(env, work, answers, timeout, screenshots))

                if running is not None:
                    opts = ["--stop", to_windows(product_stop), "--ready", to_windows(product_ready),
                            "--lifetime", str(running.lifetime)]
                    if running.mapping:
                        opts.append("--mapping")
                    if running.window:
                        opts.append("--window")
                    if running.lock_payload:
                        opts += ["--lock", inst.product_dir + "\\orfm.cok"]
                    if running.ignore_quit:
                        opts.append("--ignore-quit")
                    if running.quit_delay_ms:
                        opts += ["--quit-delay", str(running.quit_delay_ms)]
                    product = subprocess.Popen(
                        [wine_loader(), inst.product_dir + "\\orfa.exe"] + opts, env=env,
                        cwd=str(work), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    procs.append(product)
                    _wait_for(product_ready.exists, READY_TIMEOUT, "the running product")

                installer_env = env
                trace_file = subprocess.DEVNULL
                if trace_loads:
                    installer_env = dict(env, WINEDEBUG="-all,+pid,+loaddll")
                    trace_file = stack.enter_context(open(loads_log, "wb"))
                kills: List[Tuple[str, List[str]]] = []
                if kill_fractions:
                    kills = _killed_runs(prefix, inst, env, args, work, kill_fractions)
                t0 = time.monotonic()
                # the launcher starts the installer and records its whole exit code
                installer_proc = subprocess.Popen(
                    [wine_loader(), str(helper_path("launcher")), to_windows(launched_log),
                     to_windows(installer or installer_path())] + args, env=installer_env,
                    cwd=str(host_path(prefix, cwd) if cwd else work),
                    stdout=subprocess.DEVNULL, stderr=trace_file)
                procs.append(installer_proc)
                if during:
                    during(prefix, product_stop.touch, lambda: installer_proc.poll() is None)
                timed_out = False
                try:
                    installer_proc.wait(max(timeout - (time.monotonic() - t0), 0))
                except subprocess.TimeoutExpired:
                    timed_out = True
                duration = time.monotonic() - t0
                running_programs = _prefix_programs(prefix)
            finally:
                product_stop.touch()
                robot_stop.touch()
                # the installer timed out, or the run failed before it ended
                if procs and procs[-1].poll() is None:
                    kill_prefix(env)
                for p in procs:
                    try:
                        p.wait(SHUTDOWN_TIMEOUT if p.poll() is None else 0)
                    except subprocess.TimeoutExpired:
                        pass
                shutdown_prefix(env)
                for p in procs:
                    if p.poll() is None:
                        p.kill()
                        p.wait(10)

        launched = (_read_json_lines(launched_log) or [{}])[0]
        if not timed_out and not launched:
            raise HarnessError("the launcher recorded neither the installer's exit code nor an error")
        product_dir = host_path(prefix, inst.product_dir) if inst.product_dir[:3].upper() == "C:\\" else None
        installed = _installed_file(product_dir / "orfm.cok") if product_dir else None
        installed_files = {inst.product_dir: installed}
        sizes = {inst.product_dir: folder_size_kb(product_dir) if product_dir else None}
        for other in inst.more_products:
            installed_files[other] = _installed_file(host_path(prefix, other) / "orfm.cok")
            sizes[other] = folder_size_kb(host_path(prefix, other))
        system = _read_reg_file(prefix / "system.reg")
        user = _read_reg_file(prefix / "user.reg")
        views = {"native": UNINSTALL_KEY}
        if inst.asked_arch == "win64":
            views["wow"] = WOW_UNINSTALL_KEY
        estimated = {}
        keys = {}
        for view, key in views.items():
            values = system.get(key.lower())
            keys[view] = values is not None
            estimated[view] = _dword((values or {}).get("estimatedsize"))
        events = _read_json_lines(standin_log)
        temp_files = sorted(p.name for p in (prefix / "drive_c" / "users").glob("*/Temp/*")
                            if p.is_file())
        windows = prefix / "drive_c" / "windows"
        default_logs = [p for p in windows.glob("*/*/orfa-update.log")
                        if p.parent.relative_to(windows).as_posix().lower() == "logs/orfa"]
        starts = [e for e in events if e.get("event") == "start" and "--" not in e.get("cmdline", "")]
        product_files = sorted(p.name for p in product_dir.iterdir()
                               if p.is_file()) if product_dir and product_dir.is_dir() else []
        product_links = sorted(p.name for p in product_dir.iterdir()
                               if p.is_symlink()) if product_dir and product_dir.is_dir() else []
        outside_files = {}
        for path in inst.outside_files:
            host = host_path(prefix, path)
            outside_files[path] = host.read_bytes() if host.is_file() else None
        traced = _traced_modules(loads_log, launched.get("pid"))
        return RunResult(
            boxes=_boxes(_read_json_lines(box_log), work / "shots"), exit_code=launched.get("exit_code"),
            timed_out=timed_out, start_error=launched.get("error"),
            duration=duration, installed=installed, installed_files=installed_files,
            payload_sha256=payload_sha256(),
            estimated_size=estimated, uninstall_keys=keys,
            user_key_exists=USER_KEY.lower() in user, standin_events=events,
            product_starts=starts,
            folder_size_kb=sizes[inst.product_dir], folder_sizes_kb=sizes,
            prefix=prefix if keep else None,
            comspec_calls=_read_json_lines(comspec_log), temp_files=temp_files,
            default_log=default_logs[0].read_bytes() if default_logs else None,
            product_files=product_files, product_links=product_links,
            outside_files=outside_files, kills=kills, running_programs=running_programs,
            loaded_modules=traced[0], started_programs=traced[1])
    finally:
        mounts.close()
        if not keep:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print(f"harness: kept {work} (total {time.monotonic() - started_at:.1f} s)", file=sys.stderr)


def run_program(exe: Path, args: List[str], arch: str = "win32", locale: str = "en",
                answers: Optional[List[str]] = None, timeout: float = 60) -> Dict:
    """Runs any program (such as boxprobe.exe) with the robot; for checking the
    harness itself. Returns {"boxes", "exit_code", "work"} with "work" deleted
    afterwards unless ORFA_E2E_KEEP=1."""
    if WINE64_ONLY:
        arch = "win64"
    reason = unavailable_reason(installer=False)
    if reason:
        raise HarnessError(reason)
    pristine = pristine_prefix(arch)
    work = Path(tempfile.mkdtemp(prefix="orfa-e2e-"))
    prefix = work / "prefix"
    env = base_env(prefix, arch, locale)
    try:
        clone_prefix(pristine, prefix)
        box_log, stop = work / "boxes.jsonl", work / "robot.stop"
        with Xvfb() as x:
            env["DISPLAY"] = x.display
            robot = _start_robot(env, work, answers or [], timeout)
            try:
                proc = subprocess.Popen([wine_loader(), str(exe)] + [a.replace("{work}", to_windows(work)) for a in args],
                                        env=env, cwd=str(work), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
                try:
                    code: Optional[int] = proc.wait(timeout)
                except subprocess.TimeoutExpired:
                    code = None
                    proc.kill()
            finally:
                stop.touch()
                with contextlib.suppress(subprocess.TimeoutExpired):
                    robot.wait(SHUTDOWN_TIMEOUT)
                shutdown_prefix(env)
                if robot.poll() is None:
                    robot.kill()
                    robot.wait(10)
        files = {p.name: p.read_bytes() for p in work.iterdir() if p.is_file()}
        return {"boxes": _boxes(_read_json_lines(box_log)), "exit_code": code, "files": files}
    finally:
        if os.environ.get("ORFA_E2E_KEEP") != "1":
            shutil.rmtree(work, ignore_errors=True)


# ---------------------------------------------------------------------------
# Command line

def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    run = sub.add_parser("run", help="run the installer on a sample installation and print what happened")
    run.add_argument("--arch", choices=["win32", "win64"], default="win32")
    run.add_argument("--locale", default="en", help="en, ru, or a LANG value")
    run.add_argument("--answers", default="yes,yes", help="comma-separated answers for the boxes")
    run.add_argument("--stamp", type=int, default=12,
                     help="update stamp of the installed orfm.cok (-1000: no installed file)")
    run.add_argument("--no-product", action="store_true", help="no product installed at all")
    run.add_argument("--uninstall", choices=["native", "wow", "none"], default="native")
    run.add_argument("--running", action="store_true", help="a running product that quits when asked")
    run.add_argument("--timeout", type=float, default=DEFAULT_RUN_TIMEOUT)
    run.add_argument("--keep", action="store_true", help="keep the prefix and logs")
    run.add_argument("--windows-version", help="the Windows version of the prefix (win7, win10, ...)")
    run.add_argument("--record-comspec", action="store_true",
                     help="ComSpec is the recorder; print the calls of the command interpreter")
    run.add_argument("installer_args", nargs="*")
    opts = parser.parse_args(argv)

    reason = unavailable_reason()
    if reason:
        print(f"harness: cannot run: {reason}", file=sys.stderr)
        return 2
    inst = Installation(arch=opts.arch, locale=opts.locale, product=not opts.no_product,
                        installed_stamp=None if opts.stamp == -1000 else opts.stamp,
                        uninstall=None if opts.uninstall == "none" else opts.uninstall,
                        windows_version=opts.windows_version)
    answers = [a for a in opts.answers.split(",") if a]
    print(f"harness: {opts.arch} prefix, locale {LOCALES.get(opts.locale, opts.locale)}, "
          f"installed stamp {inst.installed_stamp}, answers {answers}, "
          f"arguments {opts.installer_args}", flush=True)
    result = run_update(inst, args=opts.installer_args, answers=answers,
                        running=RunningProduct() if opts.running else None,
                        record_comspec=opts.record_comspec,
                        timeout=opts.timeout, keep=opts.keep or None)
    print(result.describe())
    return 0 if result.exit_code == 0 else 1


if __name__ == "__main__":
    signal.signal(signal.SIGINT, signal.default_int_handler)
    sys.exit(main())
