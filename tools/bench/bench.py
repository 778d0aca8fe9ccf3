#!/usr/bin/env python3
"""The quiet update's benchmark under Wine (run through tools/bench.sh).

On one sample installation laid out by the end-to-end harness, in one 64-bit
Wine prefix kept warm by a persistent wineserver, times side by side
(interleaved, after one warm-up run each) and prints the medians and their
ratios to the floors, for each build given (the shipped 32-bit one, and the
64-bit one of the same sources) and each Windows profile of the prefix
(winecfg -v: Windows 10 first, then Windows 7):

  * orfa-update "modest";
  * the durable floor: a bare program carrying the same payload as its
    resource that writes it beside the product's orfm.cok as ~orfm.cok,
    flushes it and moves it into place with MoveFileEx (replace, write
    through); what a safe replacement cannot do without;
  * the plain floor: the same program writing orfm.cok directly
    (bare_writer.c, built here with the build's own MinGW toolchain and
    page-aligned sections);
  * an uncompressed NSIS installer of the same file, "/S" (where makensis is
    installed), for the same Windows as the build;
  * cp of the payload on the host.

Then, on the first profile, the peak private memory of the installer and of
the durable floor of each build, through memwatch.exe (polls
GetProcessMemoryInfo while the process runs).

Where the kernel runs 32-bit programs only through an emulator (qemu-user
registered with binfmt_misc), the 32-bit rows run emulated: only their
ratios are printed.
"""
import argparse
import dataclasses
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Callable, Dict, List, Optional

SOURCE_DIR = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE_DIR / "tests" / "e2e"))
import harness  # noqa: E402

HERE = Path(__file__).resolve().parent
BENCH_DIR_WIN = r"C:\orfa-bench"
PROFILES = {"win10": "Windows 10", "win7": "Windows 7"}
GOAL_VS_DURABLE = 1.2
GOAL_VS_NSIS = 0.6
GOAL_PRIVATE = 8 << 20
WINE32_LOADER = "/usr/lib/wine/wine"

INSTALLER = "orfa-update modest"
DURABLE = "durable floor (~, flush, move)"
FLOOR = "bare writer (plain floor)"
NSIS = "NSIS, SetCompress off, /S"
CP = "cp of the payload (host)"


def compiler(build: Path, language: str) -> str:
    """The compiler CMake found for the build (its toolchain's, so the bare
    writer is built as the installer is)."""
    for found in sorted((build / "CMakeFiles").glob(f"*/CMake{language}Compiler.cmake")):
        m = re.search(rf'set\(CMAKE_{language}_COMPILER "([^"]+)"\)', found.read_text())
        if m:
            return m.group(1)
    raise SystemExit(f"bench: no {language} compiler recorded in {build}/CMakeFiles")


def build_helpers(build: Path, payload: Path) -> Dict[str, Path]:
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


def nsis_installer(build: Path, payload: Path, folder: str, amd64: bool):
    """The NSIS installer of the payload, or (None, why it cannot be measured),
    for the build's Windows: 32-bit, or 64-bit (NSIS's amd64-unicode stub)."""
    makensis = shutil.which("makensis")
    if not makensis:
        return None, "makensis is not installed (Debian's nsis package; tools/setup.sh)"
    out = build / "bench" / "nsis_orfm.exe"
    script = build / "bench" / "nsis_orfm.nsi"
    target = "Target amd64-unicode\n" if amd64 else ""
    script.write_text(NSIS_SCRIPT.format(target=target, out=out, folder=folder, payload=payload))
    made = subprocess.run([makensis, "-V1", str(script)], capture_output=True, text=True)
    if made.returncode != 0:
        return None, f"makensis failed: {(made.stderr or made.stdout).strip()[-300:]}"
    return out, None


@dataclasses.dataclass
class Build:
    preset: str
    bits: int
    folder: Path                      # its programs inside the prefix, C:\ path
    loader: str
    programs: Dict[str, Path]         # "installer", "bare", "memwatch", maybe "nsis"
    nsis_why: Optional[str] = None
    failed: Dict[str, str] = dataclasses.field(default_factory=dict)  # row -> why
    emulator: Optional[str] = None    # the emulator its processes ran under, if any

    @property
    def title(self) -> str:
        if self.bits == 32:
            return f"32-bit build ({self.preset} preset, the shipped executable)"
        return f"64-bit build ({self.preset} preset, the same sources, kept for the benchmark)"


def loader_emulator(pid: int) -> Optional[str]:
    """The emulator that runs a just-started process, when its image is one:
    binfmt_misc starts the emulator in place of a program the kernel cannot
    run."""
    try:
        image = os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return None
    return image if "qemu" in os.path.basename(image) else None


def fmt_mib(n: int) -> str:
    return f"{n / (1 << 20):.1f} MiB"


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--runs", type=int, default=7, help="timed runs of each (default 7)")
    ap.add_argument("--memory-runs", type=int, default=3, help="memory runs of each (default 3)")
    ap.add_argument("--build", action="append", default=[], metavar="PRESET",
                    help="a build to measure (win32, wine64); may be repeated")
    ap.add_argument("--skip", action="append", default=[], metavar="PRESET=WHY",
                    help="a build that is not measured, and why")
    opts = ap.parse_args()
    if not opts.build:
        raise SystemExit("bench: no build to measure")

    first = SOURCE_DIR / "build" / opts.build[0]
    os.environ["ORFA_E2E_BUILD"] = str(first)  # the harness's stand-in product comes from it
    payload = first / "payload" / "orfm.cok"
    payload_size = payload.stat().st_size
    payload_hash = harness._sha256(payload)
    inst = harness.Installation(arch="win64")

    builds: List[Build] = []
    for preset in opts.build:
        folder = SOURCE_DIR / "build" / preset
        if harness._sha256(folder / "payload" / "orfm.cok") != payload_hash:
            raise SystemExit(f"bench: the {preset} build carries another payload")
        bits = 64 if preset == "wine64" else 32
        programs = {"installer": folder / "orfa-update.exe", **build_helpers(folder, folder / "payload" / "orfm.cok")}
        nsis, nsis_why = nsis_installer(folder, folder / "payload" / "orfm.cok", inst.product_dir, bits == 64)
        if nsis:
            programs["nsis"] = nsis
        loader = harness.native_loader("win64") if bits == 64 else (
            WINE32_LOADER if os.access(WINE32_LOADER, os.X_OK) else "wine")
        builds.append(Build(preset, bits, BENCH_DIR_WIN + "\\" + preset, loader, programs, nsis_why))

    print(f"Wine: {harness.wine_version()}, win64 prefix, one warm wineserver")
    print(f"Payload: {payload_size:,} bytes; {opts.runs} timed runs each, medians,"
          f" after one warm-up run each, interleaved")
    for skipped in opts.skip:
        preset, _, why = skipped.partition("=")
        print(f"Not measured: the {preset} build: {why}")

    work = Path(tempfile.mkdtemp(prefix="orfa-bench-"))
    prefix = work / "prefix"
    env = harness.base_env(prefix, inst.arch, inst.locale)
    server_started = False
    results: Dict[str, Dict[str, Dict[str, List[float]]]] = {}  # profile -> preset -> row -> times
    host_times: Dict[str, List[float]] = {}
    memory: Dict[str, Dict[str, tuple]] = {}  # preset -> row -> (private, pagefile, samples)
    try:
        harness.clone_prefix(harness.pristine_prefix(inst.arch), prefix)
        harness.lay_out(prefix, inst)
        for b in builds:
            folder = harness.host_path(prefix, b.folder)
            folder.mkdir(parents=True)
            for exe in b.programs.values():
                shutil.copyfile(exe, folder / exe.name)
        target_host = harness.host_path(prefix, inst.product_dir) / "orfm.cok"
        target_win = inst.product_dir + "\\orfm.cok"
        old = harness.installed_payload_bytes(inst.installed_stamp, inst.installed_size)
        reg = work / "setup.reg"
        reg.write_text(harness.registry_file(inst), encoding="utf-16")
        native64 = harness.native_loader("win64")

        with harness.Xvfb() as x:
            env["DISPLAY"] = x.display
            subprocess.run(["wineserver", "-p"], env=env, check=True)
            server_started = True
            subprocess.run([native64, "regedit", "/S", str(reg)], env=env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

            def wine(b: Build, name: str, *args: str) -> Callable[[], int]:
                command = [b.loader, b.folder + "\\" + b.programs[name].name, *args]

                def run() -> int:
                    proc = subprocess.Popen(command, env=env, cwd=str(work),
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    b.emulator = b.emulator or loader_emulator(proc.pid)
                    return proc.wait()
                return run

            def cp() -> int:
                return subprocess.run(["cp", str(payload), str(target_host)]).returncode

            for profile in PROFILES:
                # winecfg writes the version into both registry views; the
                # programs started from now on report it
                subprocess.run([native64, "winecfg", "-v", profile], env=env, check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                rows = []
                for b in builds:
                    rows += [(b, INSTALLER, wine(b, "installer", "modest")),
                             (b, DURABLE, wine(b, "bare", "/durable", target_win)),
                             (b, FLOOR, wine(b, "bare", target_win))]
                    if "nsis" in b.programs:
                        # its InstallDir is the product folder already: /D= would
                        # have to come unquoted, blank and all
                        rows.append((b, NSIS, wine(b, "nsis", "/S")))
                rows.append((None, CP, cp))
                times: Dict[str, Dict[str, List[float]]] = {b.preset: {} for b in builds}
                host = []
                for i in range(opts.runs + 1):
                    for b, name, run in rows:
                        if b and name in b.failed:
                            continue
                        target_host.write_bytes(old)
                        t0 = time.perf_counter()
                        code = run()
                        elapsed = time.perf_counter() - t0
                        size = target_host.stat().st_size
                        why = None
                        if code != 0 or size != payload_size:
                            why = f"exit code {code}, orfm.cok of {size:,} bytes ({PROFILES[profile]}, run {i})"
                        elif i == 0 and harness._sha256(target_host) != payload_hash:
                            why = "wrote something else than the payload"
                        if why and b is None:
                            raise SystemExit(f"bench: {name} failed: {why}")
                        if why:
                            b.failed[name] = why
                            continue
                        if i == 0:
                            continue
                        if b is None:
                            host.append(elapsed)
                        else:
                            times[b.preset].setdefault(name, []).append(elapsed)
                results[profile] = times
                host_times[profile] = host

                if profile != next(iter(PROFILES)):
                    continue
                for b in builds:
                    memory[b.preset] = {}
                    for name, program, args in ((INSTALLER, "installer", ["modest"]),
                                                (DURABLE, "bare", ["/durable", target_win])):
                        if name in b.failed:
                            continue
                        peaks = []
                        for _ in range(opts.memory_runs):
                            target_host.write_bytes(old)
                            out = subprocess.run(
                                [b.loader, b.folder + "\\" + b.programs["memwatch"].name,
                                 b.folder + "\\" + b.programs[program].name, *args],
                                env=env, cwd=str(work), capture_output=True, text=True)
                            fields = dict(f.split("=", 1) for f in out.stdout.split() if "=" in f)
                            if out.returncode != 0 or "peak_private" not in fields:
                                raise SystemExit(f"bench: memwatch {name} ({b.preset}) failed:"
                                                 f" {out.stdout}{out.stderr}")
                            peaks.append((int(fields["peak_private"]), int(fields["peak_pagefile"]),
                                          int(fields["samples"])))
                        memory[b.preset][name] = (max(p[0] for p in peaks), max(p[1] for p in peaks),
                                                  min(p[2] for p in peaks))
    finally:
        if server_started:
            subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)

    for b in builds:
        how = (f"runs under emulation ({b.emulator}): ratios only" if b.emulator
               else "runs natively")
        print(f"{b.title}: {how}")
        for name, why in b.failed.items():
            print(f"  {name} failed: {why}")
        if b.nsis_why:
            print(f"  {NSIS}: not measurable on this machine: {b.nsis_why}")

    goals = []
    for profile, title in PROFILES.items():
        print()
        print(f"{title} profile (winecfg -v {profile})")
        print(f"  {'Work':<32} {'Median':>9} {'Min':>9} {'Max':>9} {'vs durable':>11} {'vs plain':>9}")
        for b in builds:
            times = results[profile][b.preset]
            medians = {name: statistics.median(t) for name, t in times.items()}
            print(f"  {b.bits}-bit build")
            for name, t in times.items():
                durable = (f"{medians[name] / medians[DURABLE]:>11.2f}" if DURABLE in medians
                           else f"{'-':>11}")
                plain = (f"{medians[name] / medians[FLOOR]:>9.2f}" if FLOOR in medians
                         else f"{'-':>9}")
                if b.emulator:
                    spans = f"{'-':>9} {'-':>9} {'-':>9}"
                else:
                    spans = (f"{medians[name] * 1000:>6.0f} ms {min(t) * 1000:>6.0f} ms"
                             f" {max(t) * 1000:>6.0f} ms")
                print(f"    {name:<30} {spans} {durable} {plain}")
            if profile == next(iter(PROFILES)) and INSTALLER in medians:
                ours = medians[INSTALLER]
                label = f"{b.bits}-bit"
                if DURABLE in medians:
                    ratio = ours / medians[DURABLE]
                    goals.append((f"<= {GOAL_VS_DURABLE} x durable floor",
                                  f"{label} orfa-update / durable floor = {ratio:.2f}",
                                  ratio <= GOAL_VS_DURABLE, b.emulator))
                if NSIS in medians:
                    ratio = ours / medians[NSIS]
                    goals.append((f"<= {GOAL_VS_NSIS} x NSIS", f"{label} orfa-update / NSIS = {ratio:.2f}",
                                  ratio <= GOAL_VS_NSIS, b.emulator))
        host = host_times[profile]
        print(f"  {CP:<34} {statistics.median(host) * 1000:>6.0f} ms {min(host) * 1000:>6.0f} ms"
              f" {max(host) * 1000:>6.0f} ms")

    print()
    print(f"Peak private memory, {next(iter(PROFILES.values()))} profile (largest of"
          f" {opts.memory_runs} runs, polled every ms; PrivateUsage / PeakPagefileUsage):")
    for b in builds:
        for name, (private, pagefile, samples) in memory.get(b.preset, {}).items():
            print(f"  {b.bits}-bit {name:<30} {fmt_mib(private):>10} / {fmt_mib(pagefile):>8}"
                  f"   (at least {samples} samples a run)")
            if name == INSTALLER:
                peak = max(private, pagefile)
                goals.append(("<= 8 MiB", f"{b.bits}-bit orfa-update peak private = {fmt_mib(peak)}",
                              peak <= GOAL_PRIVATE, b.emulator))
    if not any(m[0] for per in memory.values() for m in per.values()):
        print("  (this Wine leaves PrivateUsage at zero; PeakPagefileUsage carries the"
              " private memory)")
    if any(b.emulator for b in builds):
        print("  (an emulated process's counters are the emulator's: Wine reads them from the"
              " host process, which holds the translated code too)")
    print()
    print(f"Goals, {next(iter(PROFILES.values()))} profile:")
    for goal, text, met, emulated in goals:
        print(f"  Goal {goal}: {text}: {'met' if met else 'MISSED'}"
              + (" (emulated: for information only)" if emulated else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
