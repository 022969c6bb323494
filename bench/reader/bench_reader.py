#!/usr/bin/env python3
"""The reader's benchmark, against a bare browser window in the same run, under Xvfb.

Usage: bench_reader.py DEMO_DIR CHAPTERSTORE BENCH_READER_HELPER

1. Start-up: from process start to the cover page's band on screen, and the total PSS of the
   program and its browser processes once settled; talvorin against a bare window showing the
   same page.
2. A page turn: from the click to the new page's band on screen, for a file page and for a
   stored chapter of 500 KB; talvorin against the bare browser navigating to the same file.
   The stored chapter's baseline is the bare navigation plus the extraction alone.
Prints the medians and their ratios.
"""
import ctypes
import ctypes.util
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

PASSWORD = "38pondwick71"
SCREEN = (1280, 1024)
OUTER = (1005, 781)
BAND = {0: "#C0392B", 1: "#D35400", 2: "#F39C12", 7: "#2C3E50", 8: "#E74C3C"}
DOWN, UP, CONTENTS, MENU_CHAPTER_5 = (943, 37), (885, 37), (65, 37), (255, 542)
PROBE = (300, 82)
RUNS = int(os.environ.get("BENCH_RUNS", "5"))


class Screen:
    """Reads single pixels of the root window through Xlib: fast enough to poll."""

    def __init__(self):
        self.x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XGetImage.restype = ctypes.c_void_p
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("no X display")
        self.root = self.x11.XDefaultRootWindow(self.display)

    def pixel(self, x, y):
        image = self.x11.XGetImage(self.display, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        data = ctypes.cast(ctypes.c_void_p.from_address(image + 16).value, ctypes.POINTER(ctypes.c_ubyte))
        blue, green, red = data[0], data[1], data[2]
        self.x11.XFree(ctypes.c_void_p.from_address(image + 16).value)
        self.x11.XFree(image)
        return red, green, blue

    def wait_for(self, x, y, hex_colour, timeout=30.0):
        want = tuple(int(hex_colour[i:i + 2], 16) for i in (1, 3, 5))
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if all(abs(a - b) <= 10 for a, b in zip(self.pixel(x, y), want)):
                return time.monotonic()
            time.sleep(0.002)
        raise SystemExit(f"timed out waiting for {hex_colour} at {x},{y}; saw {self.pixel(x, y)}")


def pss_kb(root_pid):
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                fields = open(f"/proc/{entry}/stat").read().rsplit(")", 1)[1].split()
                children.setdefault(int(fields[1]), []).append(int(entry))
            except OSError:
                pass
    total, stack = 0, [root_pid]
    while stack:
        pid = stack.pop()
        stack.extend(children.get(pid, []))
        try:
            for line in open(f"/proc/{pid}/smaps_rollup"):
                if line.startswith("Pss:"):
                    total += int(line.split()[1])
        except OSError:
            pass
    return total


def start(command, cwd):
    return subprocess.Popen(command, cwd=cwd, start_new_session=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def stop(process):
    try:
        os.killpg(process.pid, signal.SIGKILL)  # the group of the process started above
    except ProcessLookupError:
        pass
    process.wait()
    time.sleep(0.5)


def click(origin, point):
    # No --sync: it waits for the pointer to move, forever when it already stands there. The
    # events are queued in order, so the click lands at the new position.
    subprocess.run(["xdotool", "mousemove", str(origin[0] + point[0]), str(origin[1] + point[1]),
                    "click", "1"], check=True)


def reader_origin():
    return ((SCREEN[0] - OUTER[0]) // 2, (SCREEN[1] - OUTER[1]) // 2)


def median_ms(values):
    return statistics.median(values) * 1000.0


def bench_start_up(screen, book, helper):
    cover = os.path.join(book, "res", "1p.html")
    reader_times, bare_times, reader_pss, bare_pss = [], [], [], []
    for _ in range(RUNS):
        for which in ("reader", "bare"):
            begin = time.monotonic()
            if which == "reader":
                process = start([os.path.join(book, "talvorin")], book)
                origin = reader_origin()
            else:
                process = start([helper, "bare", cover], book)
                origin = (0, 0)
            painted = screen.wait_for(origin[0] + PROBE[0], origin[1] + PROBE[1], BAND[0])
            time.sleep(3.0)  # settled
            memory = pss_kb(process.pid)
            stop(process)
            (reader_times if which == "reader" else bare_times).append(painted - begin)
            (reader_pss if which == "reader" else bare_pss).append(memory)
    return reader_times, bare_times, reader_pss, bare_pss


def large_book(demo, work, chapterstore):
    """A copy of the demo book whose first stored chapter is 500 KB."""
    book = os.path.join(work, "book")
    shutil.copytree(demo, book, symlinks=True)
    records = os.path.join(work, "records")
    os.makedirs(records)
    store = os.path.join(book, "res", "Chapter", "qvd.dll")
    subprocess.run([chapterstore, "extract", store, "--password", PASSWORD, "--out", records], check=True,
                   stdout=subprocess.DEVNULL)
    files = [os.path.join(records, f) for f in sorted(os.listdir(records))]
    first = open(files[0], "rb").read()
    paragraph = b"<p>" + b"The lamps of Wrenfield were lit one by one along the canal. " * 8 + b"</p>\n"
    cut = first.rfind(b"</body>")
    padding = paragraph * ((500 * 1024 - len(first)) // len(paragraph) + 1)
    large = (first[:cut] + padding + first[cut:])[:max(len(first), 500 * 1024)] if cut < 0 else first[:cut] + padding + first[cut:]
    open(files[0], "wb").write(large)
    os.remove(store)
    subprocess.run([chapterstore, "pack", store, "--password", PASSWORD] + files, check=True)
    copy = os.path.join(work, "chapter6-500k.html")
    open(copy, "wb").write(large)
    return book, copy, len(large)


def bench_page_turns(screen, book, large_page, helper):
    chapter5 = os.path.join(book, "res", "Chapter", "05.html")
    # The reader: cover -> contents -> chapter 5, then down (stored, 500 KB) and up (file).
    process = start([os.path.join(book, "talvorin")], book)
    origin = reader_origin()
    probe = (origin[0] + PROBE[0], origin[1] + PROBE[1])
    screen.wait_for(*probe, BAND[0])
    click(origin, CONTENTS)
    screen.wait_for(*probe, BAND[2])
    click(origin, MENU_CHAPTER_5)
    screen.wait_for(*probe, BAND[7])
    reader_stored, reader_file = [], []
    for _ in range(RUNS):
        begin = time.monotonic()
        click(origin, DOWN)
        reader_stored.append(screen.wait_for(*probe, BAND[8]) - begin)
        begin = time.monotonic()
        click(origin, UP)
        reader_file.append(screen.wait_for(*probe, BAND[7]) - begin)
    stop(process)

    # The bare browser: the same two files, one navigation per click.
    pages = [chapter5] + [large_page, chapter5] * RUNS
    process = start([helper, "bare"] + pages, book)
    probe = (PROBE[0], PROBE[1])
    screen.wait_for(*probe, BAND[7])
    bare_stored, bare_file = [], []
    for _ in range(RUNS):
        begin = time.monotonic()
        click((0, 0), DOWN)
        bare_stored.append(screen.wait_for(*probe, BAND[8]) - begin)
        begin = time.monotonic()
        click((0, 0), DOWN)
        bare_file.append(screen.wait_for(*probe, BAND[7]) - begin)
    stop(process)
    return reader_file, bare_file, reader_stored, bare_stored



def under_xvfb(marker):
    """Runs this script again under its own Xvfb unless `marker` says it already is there;
    returns the exit status of that run, or None when the caller is the run on the display
    (which then waits until the display answers)."""
    if not os.environ.get(marker):
        env = dict(os.environ, **{marker: "1"})
        return subprocess.call(["xvfb-run", "-a", "-s", f"-screen 0 {SCREEN[0]}x{SCREEN[1]}x24", sys.executable] + sys.argv,
                               env=env)
    for _ in range(100):
        if subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0:
            break
        time.sleep(0.1)
    if os.geteuid() == 0:
        os.environ.setdefault("QTWEBENGINE_DISABLE_SANDBOX", "1")  # as the reader does for itself
    return None

def main():
    demo, chapterstore, helper = sys.argv[1:4]
    if not os.path.exists(os.path.join(demo, "talvorin")) or not os.path.exists(os.path.join(demo, "res", "Chapter", "qvd.dll")):
        print("the demo book is not built; build the default target first")
        return 1
    status = under_xvfb("BENCH_READER_DISPLAY")
    if status is not None:
        return status
    screen = Screen()
    work = tempfile.mkdtemp(prefix="talvorin-bench-")
    try:
        book, large_page, large_size = large_book(demo, work, chapterstore)
        extraction = float(subprocess.run([helper, "extract", book, "20"], check=True, capture_output=True,
                                          text=True).stdout.strip())

        reader_t, bare_t, reader_m, bare_m = bench_start_up(screen, book, helper)
        print(f"start-up to cover page painted (median of {RUNS}): reader {median_ms(reader_t):.0f} ms, "
              f"bare window {median_ms(bare_t):.0f} ms, ratio {statistics.median(reader_t) / statistics.median(bare_t):.2f} (target <= 1.30)")
        print(f"PSS settled, main and browser processes (median): reader {statistics.median(reader_m) / 1024:.0f} MB, "
              f"bare window {statistics.median(bare_m) / 1024:.0f} MB, ratio {statistics.median(reader_m) / statistics.median(bare_m):.2f} (target <= 1.30)")

        reader_file, bare_file, reader_stored, bare_stored = bench_page_turns(screen, book, large_page, helper)
        print(f"page turn to a file page (median of {RUNS}): reader {median_ms(reader_file):.0f} ms, "
              f"bare navigation {median_ms(bare_file):.0f} ms, ratio {statistics.median(reader_file) / statistics.median(bare_file):.2f} (target <= 1.20)")
        baseline = median_ms(bare_stored) + extraction
        print(f"page turn to a stored chapter of {large_size // 1024} KB: reader {median_ms(reader_stored):.0f} ms, "
              f"bare navigation {median_ms(bare_stored):.0f} ms + extraction {extraction:.1f} ms = {baseline:.0f} ms, "
              f"ratio {median_ms(reader_stored) / baseline:.2f} (target <= 1.20)")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
