#!/usr/bin/env python3
"""Orvane against Coin3D and view3dscene on the same generated VRML97 files.

Started by bench/compare/run.sh after the build; see that script for usage.
Every measurement is one child process: wall time around it, peak resident
memory from its own rusage (os.wait4), and for the load-only harnesses the
time they measured inside the process. Runs are interleaved (for each
repetition, each scene, each tool in turn) so that a change of machine load
touches all tools alike; the table shows medians.
"""

import argparse
import datetime
import json
import os
import select
import shlex
import signal
import statistics
import struct
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # keep the source folder free of __pycache__
import gen_scenes  # noqa: E402

ALL_SCENES = ["ifs_10k", "ifs_100k", "ifs_1m", "tf_1k", "tf_10k", "tf_100k", "flat_10k", "flat_100k"]
QUICK_SCENES = ["ifs_10k", "tf_1k"]
SIZE = (600, 550)

# Tool key -> label in the table.
# The program that starts each tool and reports its peak memory and wall time.
MEASURE = "measure"

TOOLS = {
    "orvane_load": "Orvane load-only",
    "coin_load": "Coin3D load-only",
    "orvane_render": "Orvane first frame",
    "view3dscene": "view3dscene first frame",
}


# ---------------------------------------------------------------------------
# PNG check: a picture of the expected size that is not one flat colour.


def png_pixels(path):
    """(width, height, channels, rows of bytes) of an 8-bit, non-interlaced
    grey/RGB/RGBA PNG; raises ValueError for anything else or a broken file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, ihdr = 8, [], None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos : pos + 8])
        body = data[pos + 8 : pos + 8 + length]
        if len(body) != length:
            raise ValueError("truncated chunk")
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
        pos += 12 + length
    if ihdr is None or not idat:
        raise ValueError("no IHDR or IDAT")
    width, height, depth, colour, _, _, interlace = ihdr
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace:
        raise ValueError("unsupported PNG layout (depth %d, colour %d)" % (depth, colour))
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    if len(raw) < height * (stride + 1):
        raise ValueError("short image data")
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1 : start + 1 + stride])
        if kind == 1:
            for i in range(channels, stride):
                line[i] = (line[i] + line[i - channels]) & 255
        elif kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, prev))
        elif kind == 3:
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                a = line[i - channels] if i >= channels else 0
                b = prev[i]
                c = prev[i - channels] if i >= channels else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        elif kind != 0:
            raise ValueError("bad filter type %d" % kind)
        rows.append(bytes(line))
        prev = line
    return width, height, channels, rows


def check_png(path):
    """None when path is a PNG of SIZE with more than one colour, else why not."""
    if not os.path.exists(path):
        return "no PNG written"
    try:
        width, height, channels, rows = png_pixels(path)
    except (OSError, ValueError, zlib.error) as e:
        return "unreadable PNG: %s" % e
    if (width, height) != SIZE:
        return "PNG is %dx%d, not %dx%d" % (width, height, SIZE[0], SIZE[1])
    first = rows[0][:channels]
    flat = first * width
    if all(row == flat for row in rows):
        return "blank PNG (every pixel %s)" % list(first)
    return None


# ---------------------------------------------------------------------------
# Running one child.


def tool_pids(wrapper_pid):
    """The processes `measure` started (the tool)."""
    try:
        with open("/proc/%d/task/%d/children" % (wrapper_pid, wrapper_pid)) as f:
            return [int(pid) for pid in f.read().split()]
    except (OSError, ValueError):
        return []


def resident_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except (OSError, ValueError, IndexError):
        pass
    return 0


def run_child(cmd, env, timeout, mem_limit_kib, log_path):
    """Runs cmd; returns wall seconds, peak RSS (KiB), exit code, why it was
    killed if it was (None, "timeout" or "memory"), and its stdout. stderr
    goes to log_path.

    The tool is started through `measure` (bench/compare/measure.c), which
    reports the ru_maxrss that wait4 gives for the tool's own process and
    the wall time from its fork to its wait4. A process forked from Python
    starts with Python's resident set as its peak (Linux keeps the high-water
    mark across exec), and timing around Python's own fork adds milliseconds
    that small files would feel; `measure` is a few KiB and microseconds.

    A tool still running after `timeout` seconds, or holding more than
    mem_limit_kib resident (checked four times a second, so that one tool
    cannot push the shared machine into swapping), is killed."""
    rss_path = log_path + ".rss"
    if os.path.exists(rss_path):
        os.remove(rss_path)
    wrapped = [MEASURE, rss_path] + cmd
    killed = None
    with open(log_path, "wb") as err, open(log_path + ".out", "wb") as out:
        start = time.perf_counter()
        proc = subprocess.Popen(wrapped, stdout=out, stderr=err, env=env, start_new_session=True)
        pidfd = os.pidfd_open(proc.pid)
        try:
            while True:
                left = timeout - (time.perf_counter() - start)
                if left <= 0:
                    killed = "timeout"
                    break
                if select.select([pidfd], [], [], min(left, 0.25))[0]:
                    break
                if any(resident_kib(pid) > mem_limit_kib for pid in tool_pids(proc.pid)):
                    killed = "memory"
                    break
            wall = time.perf_counter() - start
            if killed:
                # End the tool itself first, so that `measure` still reports its
                # peak memory; then its process group (the tool was started in
                # a session of its own), should anything be left.
                for pid in tool_pids(proc.pid):
                    os.kill(pid, signal.SIGKILL)
                if not select.select([pidfd], [], [], 10)[0]:
                    os.killpg(proc.pid, signal.SIGKILL)
            _, status, usage = os.wait4(proc.pid, 0)
        finally:
            os.close(pidfd)
        proc.returncode = os.waitstatus_to_exitcode(status)
    with open(log_path + ".out", "rb") as f:
        stdout = f.read().decode("utf-8", "replace")
    rss_kib = usage.ru_maxrss  # the wrapper's figure; replaced by the tool's own below
    try:
        with open(rss_path, encoding="utf-8") as f:
            fields = f.read().split()
            rss_kib = int(fields[0])
            if not killed:
                wall = float(fields[1])
    except (OSError, ValueError, IndexError):
        pass
    return {
        "wall": wall,
        "rss_kib": rss_kib,
        "rc": proc.returncode,
        "killed": killed,
        "stdout": stdout,
    }


def parse_times(stdout):
    """The key=value pairs a load-only harness prints."""
    values = {}
    for word in stdout.split():
        key, _, value = word.partition("=")
        try:
            values[key] = float(value)
        except ValueError:
            pass
    return values


def tail(path, lines=3):
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", "replace").strip().splitlines()
        return " | ".join(text[-lines:])
    except OSError:
        return ""


class Xvfb:
    """One X server for the whole run, on a display number it picks itself."""

    def __init__(self, log_path):
        read_end, write_end = os.pipe()
        self.log = open(log_path, "wb")
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=self.log,
        )
        os.close(write_end)
        text = b""
        deadline = time.monotonic() + 20
        while not text.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 1)
            if ready:
                chunk = os.read(read_end, 64)
                if not chunk:
                    break
                text += chunk
        os.close(read_end)
        if not text.strip().isdigit():
            self.stop()
            raise RuntimeError("Xvfb did not start (see %s)" % log_path)
        self.display = ":" + text.strip().decode()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


# ---------------------------------------------------------------------------
# The table.


def fmt_time(seconds):
    if seconds < 1:
        return "%.3g ms" % (seconds * 1000)
    if seconds < 100:
        return "%.3g s" % seconds
    return "%.0f s" % seconds


def fmt_mib(kib):
    return "%.0f MiB" % (kib / 1024) if kib >= 10 * 1024 else "%.1f MiB" % (kib / 1024)


def fmt_ratio(value):
    return "%.2f×" % value if value < 10 else "%.1f×" % value


class Cell:
    """The median of one measure over the runs of one tool on one scene.

    value: the median over successful runs (None when there is none);
    failed / gave_up: how many runs failed or were killed at the timeout or
    the memory cap; bound: when no run succeeded but some were killed, the
    measure at the kill (a lower bound on the tool's time or memory).
    """

    def __init__(self, runs, key):
        ok = [r for r in runs if r["ok"]]
        self.runs = len(runs)
        self.failed = sum(1 for r in runs if not r["ok"] and not r["killed"])
        self.gave_up = sum(1 for r in runs if r["killed"])
        self.reasons = sorted({r["killed"] for r in runs if r["killed"]})
        self.value = statistics.median(r[key] for r in ok) if ok else None
        self.bound = None
        bounds = [r[key] for r in runs if r["killed"] and r.get(key) is not None]
        if bounds and self.value is None:
            self.bound = max(bounds)
        self.failure = next((r["why"] for r in runs if not r["ok"] and not r["killed"]), "")

    def text(self, fmt, bound_sign="≥"):
        if self.runs == 0:
            return "—"
        if self.failed:
            return "failed (%d of %d)" % (self.failed, self.runs)
        if self.value is None:
            if self.bound is None:
                return "—"
            cap = " (memory cap)" if "memory" in self.reasons else ""
            return bound_sign + fmt(self.bound) + cap
        return fmt(self.value)


def ratio(num, den, bound_ok=False):
    """(text, value, exact) of num/den for two Cells; a timed-out numerator
    gives a lower bound '>x' when bound_ok."""
    if num.failed or den.failed or den.value is None:
        return "—", None, False
    if num.value is not None:
        return fmt_ratio(num.value / den.value), num.value / den.value, True
    if bound_ok and num.bound is not None:
        return ">" + fmt_ratio(num.bound / den.value), num.bound / den.value, False
    return "—", None, False


def build_report(results, scenes, sizes, args, meta):
    cells = {}
    for scene in scenes:
        for tool in TOOLS:
            runs = results[scene][tool]
            cells[(scene, tool, "wall")] = Cell(runs, "wall")
            cells[(scene, tool, "rss")] = Cell(runs, "rss_kib")
            if tool in ("orvane_load", "coin_load"):
                cells[(scene, tool, "inproc")] = Cell(runs, "inproc")

    rows = []

    def row(label, values):
        rows.append("| " + label + " | " + " | ".join(values) + " |")

    def c(scene, tool, key):
        return cells[(scene, tool, key)]

    def ms_text(value):
        return fmt_time(value / 1000)

    def cells_row(label, tool, key, fmt, bound_sign="≥"):
        row(label, [c(s, tool, key).text(fmt, bound_sign) for s in scenes])

    def ratios(num_tool, den_tool, key, bound_ok=False):
        return {s: ratio(c(s, num_tool, key), c(s, den_tool, key), bound_ok) for s in scenes}

    rows.append("| | " + " | ".join(scenes) + " |")
    rows.append("|---" * (len(scenes) + 1) + "|")
    row("file size", ["%.2f MB" % (sizes[s] / 1e6) for s in scenes])
    cells_row("**load, in-process** Orvane", "orvane_load", "inproc", ms_text)
    cells_row("Coin3D", "coin_load", "inproc", ms_text)
    load_ratio = ratios("coin_load", "orvane_load", "inproc")
    row("ratio Coin3D / Orvane", [load_ratio[s][0] for s in scenes])
    cells_row("**load, whole process** Orvane", "orvane_load", "wall", fmt_time, ">")
    cells_row("Coin3D", "coin_load", "wall", fmt_time, ">")
    wall_ratio = ratios("coin_load", "orvane_load", "wall", True)
    row("ratio Coin3D / Orvane", [wall_ratio[s][0] for s in scenes])
    cells_row("**load + first frame** Orvane", "orvane_render", "wall", fmt_time, ">")
    cells_row("view3dscene", "view3dscene", "wall", fmt_time, ">")
    frame_ratio = ratios("view3dscene", "orvane_render", "wall", True)
    row("ratio view3dscene / Orvane", [frame_ratio[s][0] for s in scenes])
    cells_row("**peak memory, load-only** Orvane", "orvane_load", "rss", fmt_mib)
    cells_row("Coin3D", "coin_load", "rss", fmt_mib)
    mem_coin = ratios("orvane_load", "coin_load", "rss")
    row("ratio Orvane / Coin3D", [mem_coin[s][0] for s in scenes])
    cells_row("**peak memory, first frame** Orvane", "orvane_render", "rss", fmt_mib)
    cells_row("view3dscene", "view3dscene", "rss", fmt_mib)
    # A view3dscene killed at the timeout had at least the memory it held then.
    mem_v3d = {}
    for s in scenes:
        orv, v3d = c(s, "orvane_render", "rss"), c(s, "view3dscene", "rss")
        if orv.value is None or orv.failed or v3d.failed:
            mem_v3d[s] = ("—", None, False)
        elif v3d.value is not None:
            mem_v3d[s] = (fmt_ratio(orv.value / v3d.value), orv.value / v3d.value, True)
        elif v3d.bound:
            mem_v3d[s] = ("<" + fmt_ratio(orv.value / v3d.bound), orv.value / v3d.bound, False)
        else:
            mem_v3d[s] = ("—", None, False)
    row("ratio Orvane / view3dscene", [mem_v3d[s][0] for s in scenes])

    notes = []
    for s in scenes:
        for tool, label in TOOLS.items():
            cell = c(s, tool, "wall")
            if cell.failed:
                notes.append(
                    "- %s on %s failed %d of %d runs: %s"
                    % (label, s, cell.failed, cell.runs, cell.failure)
                )
            if "timeout" in cell.reasons:
                notes.append(
                    "- %s on %s: killed at the %g s timeout and not run again on this scene; "
                    "its memory figure is its peak when it was killed" % (label, s, args.timeout)
                )
            if "memory" in cell.reasons:
                notes.append(
                    "- %s on %s: killed after %s when it held more than the %g GiB memory cap, "
                    "and not run again on this scene"
                    % (label, s, fmt_time(cell.bound or 0), args.mem_limit)
                )

    # Goals.
    goals = []

    def verdict(per_scene, test):
        misses, unknown = [], []
        for s in scenes:
            text, value, exact = per_scene[s]
            if value is None:
                unknown.append(s)
            elif not test(value):
                # A bound that falls short of the goal says nothing either way.
                if exact:
                    misses.append("%s %s" % (s, text))
                else:
                    unknown.append("%s (%s)" % (s, text))
        if misses:
            text = "**not met** (%s)" % ", ".join(misses)
            return text + ("; not known for %s" % ", ".join(unknown) if unknown else "")
        if unknown and len(unknown) == len(scenes):
            return "not measured"
        if unknown:
            return "not known for %s (the other scenes meet it)" % ", ".join(unknown)
        return "met"

    goals.append(
        "- Orvane loads ≥ 3× faster than Coin3D on every file, in-process: "
        + verdict(load_ratio, lambda v: v >= 3)
    )
    goals.append(
        "- Orvane loads ≥ 3× faster than Coin3D on every file, whole process: "
        + verdict(wall_ratio, lambda v: v >= 3)
    )
    # A killed view3dscene counts as met only when the bound itself is ≥ 10.
    goals.append(
        "- First frame ≥ 10× faster than view3dscene: "
        + verdict(frame_ratio, lambda v: v >= 10)
    )
    goals.append(
        "- Peak memory less than view3dscene (first frame): "
        + verdict(mem_v3d, lambda v: v < 1)
    )
    goals.append(
        "- Peak memory ≤ 3× Coin3D (load-only): " + verdict(mem_coin, lambda v: v <= 3)
    )
    # Scaling and the 100,000-shape first frame, nested (tf_) and flat (flat_).
    for family, what in (("tf", "Transforms in nested Groups"), ("flat", "Transforms in one Group")):
        small_name, big_name = family + "_10k", family + "_100k"
        if small_name not in scenes or big_name not in scenes:
            goals.append("- Scaling 100k / 10k %s: not measured (needs %s and %s)"
                         % (what, small_name, big_name))
            continue
        parts = []
        scaling_value = None
        for key, tool, label in (
            ("inproc", "orvane_load", "load in-process"),
            ("wall", "orvane_load", "load whole process"),
            ("wall", "orvane_render", "first frame"),
        ):
            small, big = c(small_name, tool, key), c(big_name, tool, key)
            if small.value and big.value and not small.failed and not big.failed:
                r = big.value / small.value
                parts.append("%s %.2f" % (label, r))
                if key == "wall" and tool == "orvane_render":
                    scaling_value = r
            else:
                parts.append("%s —" % label)
        if scaling_value is None:
            state = "not known"
        else:
            state = "met" if scaling_value <= 11 else "**not met**"
        goals.append(
            "- Scaling, Orvane 100k / 10k %s ≤ 11 (on the first frame): " % what
            + state + " (" + ", ".join(parts) + ")"
        )
    for name in ("tf_100k", "flat_100k"):
        if name not in scenes:
            continue
        frame, rss = c(name, "orvane_render", "wall"), c(name, "orvane_render", "rss")
        if frame.value is None or frame.failed:
            goals.append("- %s first frame ≤ 6 s and ≤ 1.5 GiB: not known" % name)
            continue
        seconds, gib = frame.value, (rss.value or 0) / (1024 * 1024)
        state = "met" if seconds <= 6 and gib <= 1.5 else "**not met**"
        goals.append("- %s first frame ≤ 6 s and ≤ 1.5 GiB: %s (%.2f s, %.2f GiB)"
                     % (name, state, seconds, gib))

    plural = "" if args.reps == 1 else "s"
    out = [
        "Orvane against other VRML97 tools, medians of %d run%s per tool and scene"
        " (interleaved)." % (args.reps, plural),
        "",
        "- date: %s" % meta["date"],
        "- command: `%s`" % meta["command"],
        "- Orvane: commit %s; Coin3D: %s; view3dscene: %s"
        % (meta["orvane"], meta["coin"], meta["view3dscene"]),
        "- load average at start: %s" % meta["uptime_start"],
        "- load average at end: %s" % meta["uptime_end"],
        "- timeout %g s and memory cap %g GiB per run; picture %dx%d; view3dscene under Xvfb"
        " (Mesa), orvane-render headless EGL (Mesa)"
        % (args.timeout, args.mem_limit, SIZE[0], SIZE[1]),
        "",
    ]
    out.extend(rows)
    out += [
        "",
        "Scenes: ifs_N = one IndexedFaceSet terrain of N triangles; tf_N = N Transforms, each"
        " a Shape with Material and a primitive, in Groups of at most %d children."
        % gen_scenes.FANOUT,
        "Load-only: `orvane_load` (declarations file + scene, as orvane-render loads) and"
        " `coin_load` (SoDB::init + SoDB::readAll); in-process = the time each harness"
        " measured from its start of work to the scene in memory; whole process = wall time"
        " around the child. First frame: `orvane-render FILE -o OUT.png` and"
        " `view3dscene FILE --screenshot 0 OUT.png`, whole process. Peak memory = the"
        " tool's ru_maxrss (through bench/compare/measure.c).",
    ]
    if notes:
        out.append("")
        out.append("Notes:")
        out.extend(notes)
    out.append("")
    out.append("Goals:")
    out.extend(goals)
    return "\n".join(out) + "\n"


# ---------------------------------------------------------------------------


def uptime():
    try:
        return subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip()
    except OSError as e:
        return "uptime failed: %s" % e


def package_version(*names):
    for name in names:
        r = subprocess.run(
            ["dpkg-query", "-W", "-f=${Package} ${Version}", name], capture_output=True, text=True
        )
        if r.returncode == 0 and r.stdout.strip():
            return r.stdout.strip()
    return "not installed"


def orvane_version(repo):
    """The commit built, and the tracked files changed on top of it: the build
    compiles the working tree as it is."""
    def git(*words):
        return subprocess.run(["git", "-C", repo] + list(words), capture_output=True, text=True)

    head = git("rev-parse", "--short", "HEAD").stdout.strip() or "unknown"
    changed = [line[3:] for line in git("status", "--porcelain", "--untracked-files=no")
               .stdout.splitlines() if line.strip()]
    if changed:
        head += " with uncommitted changes in " + ", ".join(changed)
    return head


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True, help="the build directory (build-compare)")
    parser.add_argument("--reps", type=int, default=3, help="runs per tool and scene (default 3)")
    parser.add_argument("--scenes", help="comma-separated subset of " + ",".join(ALL_SCENES))
    parser.add_argument("--timeout", type=float, default=300, help="seconds per run (default 300)")
    parser.add_argument(
        "--mem-limit", type=float, default=12,
        help="GiB resident at which a tool is killed (default 12; the machine has 24)",
    )
    parser.add_argument("--quick", action="store_true", help="only " + ",".join(QUICK_SCENES))
    parser.add_argument("--tools", help="comma-separated subset of " + ",".join(TOOLS))
    parser.add_argument("--command", default="", help="the command line to record")
    args = parser.parse_args()
    if args.reps < 1 or args.timeout <= 0 or args.mem_limit <= 0:
        parser.error("--reps, --timeout and --mem-limit must be positive")
    if args.scenes:
        scenes = [s.strip() for s in args.scenes.split(",") if s.strip()]
        bad = [s for s in scenes if s not in ALL_SCENES]
        if bad:
            parser.error("unknown scene(s) %s; known: %s" % (",".join(bad), ",".join(ALL_SCENES)))
    else:
        scenes = QUICK_SCENES if args.quick else ALL_SCENES

    tools = list(TOOLS)
    if args.tools:
        tools = [t.strip() for t in args.tools.split(",") if t.strip()]
        bad = [t for t in tools if t not in TOOLS]
        if bad:
            parser.error("unknown tool(s) %s; known: %s" % (",".join(bad), ",".join(TOOLS)))

    build = os.path.abspath(args.build)
    repo = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    work = os.path.join(build, "compare")
    scene_dir, out_dir, log_dir = (os.path.join(work, d) for d in ("scenes", "out", "logs"))
    for d in (scene_dir, out_dir, log_dir):
        os.makedirs(d, exist_ok=True)
    binaries = {
        "orvane_load": os.path.join(build, "bench", "compare", "orvane_load"),
        "coin_load": os.path.join(work, "coin_load"),
        "orvane_render": os.path.join(build, "tools", "orvane-render", "orvane-render"),
        "view3dscene": "/usr/bin/view3dscene",
    }
    nodes = os.path.join(build, "data", "standardNodes.wrl")
    global MEASURE
    MEASURE = os.path.join(work, "measure")
    for path in list(binaries.values()) + [nodes, MEASURE]:
        if not os.path.exists(path):
            sys.exit("compare.py: missing %s (run bench/compare/run.sh)" % path)

    meta = {
        "date": datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z"),
        "command": args.command or " ".join(shlex.quote(a) for a in sys.argv),
        "orvane": orvane_version(repo),
        "coin": package_version("libcoin-dev") + ", " + package_version("libcoin80c"),
        "view3dscene": package_version("view3dscene"),
        "uptime_start": uptime(),
    }
    print("start: " + meta["uptime_start"], flush=True)
    print("versions: Coin3D %s; %s" % (meta["coin"], meta["view3dscene"]), flush=True)

    sizes = {}
    paths = {}
    for s in scenes:
        paths[s] = gen_scenes.generate(scene_dir, s)
        sizes[s] = os.path.getsize(paths[s])
        print("scene %s: %s (%.2f MB)" % (s, paths[s], sizes[s] / 1e6), flush=True)

    base_env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    xvfb = Xvfb(os.path.join(log_dir, "xvfb.log"))
    x_env = dict(base_env, DISPLAY=xvfb.display)
    print("Xvfb on display %s" % xvfb.display, flush=True)

    def command(tool, scene, png):
        if tool == "orvane_load":
            return [binaries[tool], paths[scene], "--standard-nodes", nodes]
        if tool == "coin_load":
            return [binaries[tool], paths[scene]]
        size = "%dx%d" % SIZE
        if tool == "orvane_render":
            return [binaries[tool], paths[scene], "-o", png, "--size", size, "--standard-nodes", nodes]
        return [binaries[tool], paths[scene], "--screenshot", "0", png, "--geometry", size, "--no-sound"]

    results = {s: {t: [] for t in TOOLS} for s in scenes}
    given_up = set()
    try:
        for rep in range(args.reps):
            for scene in scenes:
                for tool in tools:
                    if (scene, tool) in given_up:
                        continue
                    png = os.path.join(out_dir, "%s_%s.png" % (scene, tool))
                    if os.path.exists(png):
                        os.remove(png)
                    log = os.path.join(log_dir, "%s_%s_%d.log" % (scene, tool, rep + 1))
                    env = x_env if tool == "view3dscene" else base_env
                    r = run_child(
                        command(tool, scene, png), env, args.timeout, args.mem_limit * 1024 * 1024, log
                    )
                    r["why"] = ""
                    if r["killed"]:
                        given_up.add((scene, tool))
                    elif r["rc"] != 0:
                        r["why"] = "exit status %d: %s" % (r["rc"], tail(log))
                    elif tool in ("orvane_load", "coin_load"):
                        t = parse_times(r["stdout"])
                        if "load_ms" not in t:
                            r["why"] = "no load time printed: %r" % r["stdout"][:200]
                        elif tool == "orvane_load" and t.get("errors", -1) != 0:
                            r["why"] = "%s loader errors" % t.get("errors")
                        r["inproc"] = t.get("load_ms")
                    else:
                        with open(log, "rb") as f:
                            err_text = f.read().decode("utf-8", "replace")
                        if tool == "orvane_render" and "error(s) while loading" in err_text:
                            r["why"] = "loader errors: %s" % tail(log)
                        else:
                            r["why"] = check_png(png) or ""
                    r["ok"] = not r["killed"] and not r["why"]
                    results[scene][tool].append(r)
                    state = "ok" if r["ok"] else (
                        "KILLED (%s)" % r["killed"] if r["killed"] else "FAILED: " + r["why"]
                    )
                    extra = " in-process %.1f ms" % r["inproc"] if r.get("inproc") is not None else ""
                    print(
                        "rep %d %-9s %-14s wall %8.3f s%s peak %7.1f MiB  %s"
                        % (rep + 1, scene, tool, r["wall"], extra, r["rss_kib"] / 1024, state),
                        flush=True,
                    )
    finally:
        xvfb.stop()

    meta["uptime_end"] = uptime()
    print("end: " + meta["uptime_end"], flush=True)
    report = build_report(results, scenes, sizes, args, meta)
    with open(os.path.join(work, "results.md"), "w", encoding="utf-8") as f:
        f.write(report)
    with open(os.path.join(work, "runs.json"), "w", encoding="utf-8") as f:
        json.dump({"meta": meta, "sizes": sizes, "results": results}, f, indent=1)
    print()
    print(report, end="")
    print("\n(also written to %s)" % os.path.join(work, "results.md"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
