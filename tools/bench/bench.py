#!/usr/bin/env python3
"""The quiet update's benchmark under Wine (run through tools/bench.sh).

On one sample installation laid out by the end-to-end harness, in one Wine
prefix kept warm by a persistent wineserver, times side by side (interleaved,
after one warm-up run each) and prints the medians and their ratios to the
floor:

  * orfa-update "modest";
  * the floor: a bare program carrying the same payload as its resource and
    writing it to the product folder's orfm.cok (bare_writer.c, built here
    with the installer's MinGW toolchain and page-aligned sections);
  * an uncompressed NSIS installer of the same file, "/S" (where makensis is
    installed), for the same Windows as the installer measured;
  * cp of the payload on the host.

Then the peak private memory of the installer and of the bare writer, through
memwatch.exe (polls GetProcessMemoryInfo while the process runs).
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE_DIR / "tests" / "e2e"))
import harness  # noqa: E402

HERE = Path(__file__).resolve().parent
BENCH_DIR_WIN = r"C:\orfa-bench"
GOAL_VS_FLOOR = 2.0
GOAL_VS_NSIS = 0.6
GOAL_PRIVATE = 8 << 20


def compiler(build: Path, language: str) -> str:
    """The compiler CMake found for the build (its toolchain's, so the bare
    writer is built as the installer is)."""
    for found in sorted((build / "CMakeFiles").glob(f"*/CMake{language}Compiler.cmake")):
        m = re.search(rf'set\(CMAKE_{language}_COMPILER "([^"]+)"\)', found.read_text())
        if m:
            return m.group(1)
    raise SystemExit(f"bench: no {language} compiler recorded in {build}/CMakeFiles")


def build_helpers(build: Path, payload: Path) -> dict:
    """The bare writer (payload as its resource, page-aligned sections) and the
    memory launcher, with the compiler and resource compiler of the build."""
    out = build / "bench"
    out.mkdir(exist_ok=True)
    cc = compiler(build, "C")
    rc = compiler(build, "RC")
    (out / "bare_writer.rc").write_text(f'ORFM COK "{payload}"\n')
    subprocess.run([rc, "--use-temp-file", "-O", "coff", "-i", str(out / "bare_writer.rc"),
                    "-o", str(out / "bare_writer.res.o")], check=True)
    flags = ["-O2", "-s", "-Wall", "-Wextra", "-Werror", "-Wl,--no-insert-timestamp",
             "-Wl,--file-alignment=4096"]
    subprocess.run([cc, *flags, "-mwindows", str(HERE / "bare_writer.c"),
                    str(out / "bare_writer.res.o"), "-o", str(out / "bare_writer.exe")], check=True)
    subprocess.run([cc, *flags, str(HERE / "memwatch.c"), "-lpsapi",
                    "-o", str(out / "memwatch.exe")], check=True)
    return {"bare": out / "bare_writer.exe", "memwatch": out / "memwatch.exe"}


NSIS_SCRIPT = """{target}Name "Orfa"
OutFile "{out}"
SetCompress off
RequestExecutionLevel user
InstallDir "{folder}"
Section
  SetOutPath "$INSTDIR"
  File "{payload}"
SectionEnd
"""


def nsis_installer(build: Path, payload: Path, folder: str):
    """The NSIS installer of the payload, or (None, why it cannot be measured).
    It is built for the same Windows as the installer measured: 32-bit, or
    64-bit (NSIS's amd64-unicode stub) where the 64-bit build stands in."""
    makensis = shutil.which("makensis")
    if not makensis:
        return None, "makensis is not installed (Debian's nsis package; tools/setup.sh)"
    out = build / "bench" / "nsis_orfm.exe"
    script = build / "bench" / "nsis_orfm.nsi"
    target = "Target amd64-unicode\n" if harness.WINE64_ONLY else ""
    script.write_text(NSIS_SCRIPT.format(target=target, out=out, folder=folder, payload=payload))
    made = subprocess.run([makensis, "-V1", str(script)], capture_output=True, text=True)
    if made.returncode != 0:
        return None, f"makensis failed: {(made.stderr or made.stdout).strip()[-300:]}"
    return out, None


def fmt_mib(n: int) -> str:
    return f"{n / (1 << 20):.1f} MiB"


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--runs", type=int, default=7, help="timed runs of each (default 7)")
    ap.add_argument("--memory-runs", type=int, default=3, help="memory runs of each (default 3)")
    ap.add_argument("--preset", default="win32")
    opts = ap.parse_args()

    build = harness.build_dir()
    payload = harness.payload_path()
    installer = harness.installer_path()
    payload_size = payload.stat().st_size
    payload_hash = harness._sha256(payload)
    helpers = build_helpers(build, payload)
    inst = harness.Installation()
    nsis, nsis_why = nsis_installer(build, payload, inst.product_dir)

    loader = harness.wine_loader()
    bits = "64-bit" if opts.preset == "wine64" else "32-bit"
    print(f"Wine: {harness.wine_version()} ({loader}), {inst.arch} prefix, one warm wineserver")
    print(f"Build: {build}/orfa-update.exe ({opts.preset} preset, {bits} Windows)"
          + ("; this machine runs no 32-bit programs, so the 64-bit build stands in"
             if opts.preset == "wine64" else ""))
    print(f"Payload: {payload_size:,} bytes; {opts.runs} timed runs each, medians,"
          f" after one warm-up run each")

    work = Path(tempfile.mkdtemp(prefix="orfa-bench-"))
    prefix = work / "prefix"
    env = harness.base_env(prefix, inst.arch, inst.locale)
    server_started = False
    try:
        harness.clone_prefix(harness.pristine_prefix(inst.arch), prefix)
        harness.lay_out(prefix, inst)
        bench = harness.host_path(prefix, BENCH_DIR_WIN)
        bench.mkdir(parents=True)
        for exe in (installer, helpers["bare"], helpers["memwatch"]) + ((nsis,) if nsis else ()):
            shutil.copyfile(exe, bench / exe.name)
        target_host = harness.host_path(prefix, inst.product_dir) / "orfm.cok"
        target_win = inst.product_dir + "\\orfm.cok"
        old = harness.installed_payload_bytes(inst.installed_stamp, inst.installed_size)
        reg = work / "setup.reg"
        reg.write_text(harness.registry_file(inst), encoding="utf-16")

        with harness.Xvfb() as x:
            env["DISPLAY"] = x.display
            subprocess.run(["wineserver", "-p"], env=env, check=True)
            server_started = True
            subprocess.run([harness.native_loader(inst.arch), "regedit", "/S", str(reg)], env=env,
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

            def wine(exe: str, *args: str):
                return lambda: subprocess.run([loader, BENCH_DIR_WIN + "\\" + exe, *args], env=env,
                                              cwd=str(work), stdout=subprocess.DEVNULL,
                                              stderr=subprocess.DEVNULL).returncode

            def cp():
                return subprocess.run(["cp", str(payload), str(target_host)]).returncode

            rows = [("orfa-update modest", wine(installer.name, "modest")),
                    ("bare writer (floor)", wine(helpers["bare"].name, target_win))]
            if nsis:
                # its InstallDir is the product folder already: /D= would
                # have to come unquoted, blank and all
                rows.append(("NSIS, SetCompress off, /S", wine(nsis.name, "/S")))
            rows.append(("cp of the payload", cp))

            times = {name: [] for name, _ in rows}
            for i in range(opts.runs + 1):
                for name, run in rows:
                    target_host.write_bytes(old)
                    t0 = time.perf_counter()
                    code = run()
                    elapsed = time.perf_counter() - t0
                    if code != 0 or target_host.stat().st_size != payload_size:
                        raise SystemExit(f"bench: {name} failed (exit {code})")
                    if i == 0 and harness._sha256(target_host) != payload_hash:
                        raise SystemExit(f"bench: {name} wrote something else than the payload")
                    if i > 0:
                        times[name].append(elapsed)

            memory = {}
            for name, exe, args in (("orfa-update modest", installer.name, ["modest"]),
                                    ("bare writer (floor)", helpers["bare"].name, [target_win])):
                peaks = []
                for _ in range(opts.memory_runs):
                    target_host.write_bytes(old)
                    out = subprocess.run([loader, BENCH_DIR_WIN + "\\memwatch.exe",
                                          BENCH_DIR_WIN + "\\" + exe, *args], env=env, cwd=str(work),
                                         capture_output=True, text=True)
                    fields = dict(f.split("=", 1) for f in out.stdout.split() if "=" in f)
                    if out.returncode != 0 or "peak_private" not in fields:
                        raise SystemExit(f"bench: memwatch {name} failed: {out.stdout}{out.stderr}")
                    peaks.append((int(fields["peak_private"]), int(fields["peak_pagefile"]),
                                  int(fields["samples"])))
                memory[name] = (max(p[0] for p in peaks), max(p[1] for p in peaks),
                                min(p[2] for p in peaks))
    finally:
        if server_started:
            subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)

    medians = {name: statistics.median(t) for name, t in times.items()}
    floor = medians["bare writer (floor)"]
    print()
    print(f"{'Work':<28} {'Median':>9} {'Min':>9} {'Max':>9} {'vs floor':>9}")
    for name, t in times.items():
        print(f"{name:<28} {medians[name] * 1000:>6.0f} ms {min(t) * 1000:>6.0f} ms"
              f" {max(t) * 1000:>6.0f} ms {medians[name] / floor:>9.2f}")
    if not nsis:
        print(f"{'NSIS, SetCompress off, /S':<28} not measurable on this machine: {nsis_why}")
    print()
    print(f"Peak private memory (largest of {opts.memory_runs} runs, polled every ms;"
          " PrivateUsage / PeakPagefileUsage):")
    for name, (private, pagefile, samples) in memory.items():
        print(f"  {name:<26} {fmt_mib(private):>10} / {fmt_mib(pagefile):>8}"
              f"   (at least {samples} samples a run)")
    if not any(m[0] for m in memory.values()):
        print("  (this Wine leaves PrivateUsage at zero; PeakPagefileUsage carries the"
              " private memory)")
    print()
    ours = medians["orfa-update modest"]
    goals = [(f"orfa-update / floor = {ours / floor:.2f}", ours / floor <= GOAL_VS_FLOOR,
              f"<= {GOAL_VS_FLOOR}")]
    if nsis:
        ratio = ours / medians["NSIS, SetCompress off, /S"]
        goals.append((f"orfa-update / NSIS = {ratio:.2f}", ratio <= GOAL_VS_NSIS, f"<= {GOAL_VS_NSIS}"))
    private = max(memory["orfa-update modest"][:2])
    goals.append((f"orfa-update peak private = {fmt_mib(private)}", private <= GOAL_PRIVATE, "<= 8 MiB"))
    for text, met, goal in goals:
        print(f"Goal {goal}: {text}: {'met' if met else 'MISSED'}")
    if not nsis:
        print("Goal <= 0.6 x NSIS: not measurable on this machine (see above)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
