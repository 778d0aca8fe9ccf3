#!/usr/bin/env python3
"""Every box of the installer as a picture, for an English and a Russian user.

Runs the built installer under Wine through each situation that shows a box
(the harness's runs, with the robot copying each box from the screen before
it answers it) and writes into the output folder one PNG per situation and
language, manifest.json and index.html, which shows each picture with its
situation, caption, text and buttons.

    gallery.py [--out FOLDER]      (default: build/gallery of the source tree)

tools/gallery.sh builds what is needed and runs this. Exit status 0 when every
situation gave its box in both languages, 1 when some did not (index.html then
says which), 2 when the runs cannot happen here.
"""
import argparse
import concurrent.futures
import dataclasses
import html
import json
import os
import shutil
import sys
import tempfile
import time
from pathlib import Path
from typing import Callable, Dict, List, Optional

import harness
from harness import Installation, RunningProduct

LANGUAGES = {"en": "English user", "ru": "Russian user"}


@dataclasses.dataclass
class Situation:
    id: str
    title: str
    what: str   # how the situation comes about


SITUATIONS = [
    Situation("no-product", "No product installed",
              "The product folder holds no orfa.exe (no uninstall entry either). "
              "The box is built in, in both languages."),
    Situation("olderfilever", "Older-file question",
              "The installed orfm.cok carries a newer update stamp than the update."),
    Situation("installask", "Install question", "The update asks before it installs."),
    Situation("installdone", "Installed, start now?",
              "The update is installed; the closing question offers to start the product."),
    Situation("filecantopen", "File in use",
              "A running product ignores the request to quit and keeps orfm.cok open."),
    Situation("badinstaller", "Damaged installer",
              "One byte in the middle of the installer's carried update is changed."),
    Situation("cantinstall", "Write failed (quiet mode)",
              "\"modest runapp\" while a running product keeps orfm.cok open: the write "
              "fails. The box is built in, in both languages."),
    Situation("registry-error", "Registry error",
              "The per-user \"TheLastRunFolder\" is a DWORD, not a string: the last-resort "
              "\"Application Error\" box."),
    Situation("missing-language", "Language file missing",
              "The user's own language file (english.lng, russian.lng) is missing. "
              "The box is built in, in both languages."),
    Situation("broken-language", "Language file contains errors",
              "german.lng's \"langver\" is not a number. The box is built in, in both "
              "languages; the Russian one is captioned with that file's \"progname\"."),
]

# Not shown: "noright" (Wine's user is always an administrator, and the harness
# cannot take the rights away), "verificationfail" (the running executable
# cannot be made unreadable to itself), "Can't handle the language support
# file" (a read error of a file that was readable a moment before), and the
# progress window (the update flow installs without the checked replacement
# that shows it).


@dataclasses.dataclass
class Run:
    """One run of the installer and the situations of its boxes, in order."""
    situations: List[str]
    inst: Callable[[str], Installation]
    answers: List[str] = dataclasses.field(default_factory=list)
    args: List[str] = dataclasses.field(default_factory=list)
    running: Optional[RunningProduct] = None
    damaged: bool = False


def _broken_german() -> Dict[str, Optional[bytes]]:
    broken = harness.sample_language("german.lng").replace(b"[langver]\r\n7", b"[langver]\r\nseven")
    return {"english.lng": None, "russian.lng": None, "german.lng": broken}


RUNS = [
    Run(["no-product"], lambda loc: Installation(locale=loc, product=False, uninstall=None)),
    Run(["olderfilever", "installask", "installdone"],
        lambda loc: Installation(locale=loc, installed_stamp=14), answers=["yes", "yes", "no"]),
    Run(["filecantopen"], lambda loc: Installation(locale=loc, installed_stamp=12),
        answers=["yes", "yes"], running=RunningProduct(ignore_quit=True)),
    Run(["badinstaller"], lambda loc: Installation(locale=loc, installed_stamp=12),
        answers=["yes", "yes"], damaged=True),
    Run(["cantinstall"], lambda loc: Installation(locale=loc, installed_stamp=12),
        args=["modest", "runapp"], running=RunningProduct(ignore_quit=True)),
    Run(["registry-error"], lambda loc: Installation(
        locale=loc, installed_stamp=12, user_values={"TheLastRunFolder": "dword:00000001"})),
    Run(["missing-language"], lambda loc: Installation(
        locale=loc, installed_stamp=12,
        languages={"russian.lng": None} if loc == "en" else {"english.lng": None})),
    Run(["broken-language"], lambda loc: Installation(
        locale=loc, installed_stamp=12, languages=_broken_german()), answers=["yes", "yes"]),
]


def damaged_installer(folder: Path) -> Path:
    """A copy of the installer with one byte of its carried update changed."""
    damaged = folder / "orfa-update.exe"
    shutil.copyfile(harness.installer_path(), damaged)
    with open(damaged, "r+b") as f:
        f.seek(os.path.getsize(damaged) // 2)
        byte = f.read(1)
        f.seek(-1, os.SEEK_CUR)
        f.write(bytes([byte[0] ^ 0x5A]))
    return damaged


def picture_name(situation: str, locale: str) -> str:
    return f"{situation}-{locale}.png"


def build(out: Path, log=print, jobs: int = 2) -> List[dict]:
    """Runs every situation in both languages, jobs runs at a time (each in
    its own prefix and X server), and writes the gallery into out. Returns
    the manifest: one entry a situation and language, with "file" None where
    no picture was taken."""
    out.mkdir(parents=True, exist_ok=True)
    for old in out.glob("*.png"):
        old.unlink()
    entries: Dict[tuple, dict] = {}
    scratch = Path(tempfile.mkdtemp(prefix="orfa-gallery-"))
    try:
        damaged = damaged_installer(scratch)

        def one(task):
            run, locale = task
            t0 = time.monotonic()
            result = harness.run_update(run.inst(locale), args=run.args, answers=run.answers,
                                        running=run.running, screenshots=True,
                                        installer=damaged if run.damaged else None, timeout=60)
            log(f"gallery: {'+'.join(run.situations)} ({locale}): {len(result.boxes)} box(es)"
                f" in {time.monotonic() - t0:.1f} s")
            return result

        tasks = [(run, locale) for run in RUNS for locale in LANGUAGES]
        with concurrent.futures.ThreadPoolExecutor(max(1, jobs)) as pool:
            results = list(pool.map(one, tasks))
        for (run, locale), result in zip(tasks, results):
            for i, situation in enumerate(run.situations):
                box = result.boxes[i] if i < len(result.boxes) else None
                entry = {"situation": situation, "locale": locale, "file": None,
                         "caption": box.caption if box else None,
                         "text": box.text if box else None,
                         "buttons": box.buttons if box else [], "icon": box.icon if box else None,
                         "problem": None}
                if box is None:
                    entry["problem"] = "no box shown\n" + result.describe()
                elif not box.shot:
                    entry["problem"] = "the box was shown but no picture was taken"
                else:
                    entry["file"] = picture_name(situation, locale)
                    (out / entry["file"]).write_bytes(box.shot)
                entries[(situation, locale)] = entry
            if len(result.boxes) > len(run.situations):
                log(f"gallery: more boxes than expected:\n{result.describe()}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    manifest = [entries.get((s.id, loc)) or {"situation": s.id, "locale": loc, "file": None,
                                              "problem": "not run"}
                for s in SITUATIONS for loc in LANGUAGES]
    (out / "manifest.json").write_text(json.dumps(manifest, ensure_ascii=False, indent=1),
                                       encoding="utf-8")
    (out / "index.html").write_text(index_html(manifest), encoding="utf-8")
    return manifest


def index_html(manifest: List[dict]) -> str:
    by_key = {(e["situation"], e["locale"]): e for e in manifest}
    esc = html.escape
    parts = ["<!DOCTYPE html>", '<html lang="en"><head><meta charset="utf-8">',
             "<title>orfa-update: every box</title>",
             "<style>body{font-family:sans-serif;margin:2em}td{vertical-align:top;padding:.5em 1em}"
             "pre{background:#f4f4f4;padding:.5em;white-space:pre-wrap}"
             ".problem{color:#b00}h2{margin-top:2em}</style></head><body>",
             "<h1>orfa-update: every box</h1>",
             f"<p>{esc(harness.wine_version())}, {esc(str(harness.installer_path()))}, "
             f"made {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}.</p>"]
    for s in SITUATIONS:
        parts.append(f'<h2 id="{esc(s.id)}">{esc(s.title)}</h2><p>{esc(s.what)}</p><table><tr>')
        for locale, who in LANGUAGES.items():
            e = by_key[(s.id, locale)]
            parts.append(f"<td><h3>{esc(who)}</h3>")
            if e.get("file"):
                parts.append(f'<img src="{esc(e["file"])}" alt="{esc(s.title)} ({esc(who)})">')
            if e.get("caption") is not None:
                parts.append(f"<p>Caption: <b>{esc(e['caption'])}</b></p>"
                             f"<pre>{esc(e['text'].replace(chr(13), ''))}</pre>"
                             f"<p>Buttons: {esc(', '.join(e['buttons']))}; icon: {esc(e['icon'])}</p>")
            if e.get("problem"):
                parts.append(f'<pre class="problem">{esc(e["problem"])}</pre>')
            parts.append("</td>")
        parts.append("</tr></table>")
    parts.append("</body></html>")
    return "\n".join(parts) + "\n"


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", type=Path, default=harness.SOURCE_DIR / "build" / "gallery")
    parser.add_argument("--jobs", type=int, default=2, help="runs at a time (default 2)")
    opts = parser.parse_args(argv)
    reason = harness.unavailable_reason()
    if reason:
        print(f"gallery: cannot run: {reason}", file=sys.stderr)
        return 2
    manifest = build(opts.out, jobs=opts.jobs)
    missing = [f"{e['situation']} ({e['locale']})" for e in manifest if not e.get("file")]
    print(f"gallery: {len(manifest) - len(missing)} of {len(manifest)} pictures in "
          f"{opts.out / 'index.html'}")
    if missing:
        print("gallery: missing: " + ", ".join(missing), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
