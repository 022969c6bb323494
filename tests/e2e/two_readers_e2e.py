#!/usr/bin/env python3
"""Two real readers on one installation, each on its own X display, turning pages at once.

Usage: two_readers_e2e.py DEMO_DIR

Both readers walk through the chapters from the store, a few pages apart; each click goes to
both at once, and after every pair of clicks each reader must show its own page's colour band
(two points of it). Exits 77 (skipped) when the demo book, Xvfb or xdotool is missing.
"""
import ctypes
import ctypes.util
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
BANDS = ["#C0392B", "#D35400", "#F39C12", "#27AE60", "#16A085", "#2980B9", "#8E44AD", "#2C3E50",
         "#E74C3C", "#E67E22", "#F1C40F", "#2ECC71", "#1ABC9C", "#3498DB", "#9B59B6", "#7F8C8D"]
SCREEN = (1280, 1024)
OUTER = (1005, 781)
DOWN, UP = (943, 37), (885, 37)
MENU_CHAPTER_6 = (255, 577)  # the first chapter from the store: page 8
PROBES = [(300, 82), (700, 82)]
FIRST_STORED, LAST = 8, 15


def fail(message):
    print("FAIL:", message, flush=True)
    sys.exit(1)


class Display:
    """One Xvfb server, and pixels of its root window read through Xlib."""

    def __init__(self):
        read, write = os.pipe()
        self.server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                        f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp"],
                                       pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       start_new_session=True)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                fail("Xvfb did not start")
            number += chunk
        os.close(read)
        self.name = f":{number.decode().strip()}"
        self.x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XGetImage.restype = ctypes.c_void_p
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = self.x11.XOpenDisplay(self.name.encode())
        if not self.display:
            fail(f"cannot open the display {self.name}")
        self.root = self.x11.XDefaultRootWindow(self.display)
        self.origin = ((SCREEN[0] - OUTER[0]) // 2, (SCREEN[1] - OUTER[1]) // 2)  # no window manager: centred

    def pixel(self, x, y):
        image = self.x11.XGetImage(self.display, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        data = ctypes.cast(ctypes.c_void_p.from_address(image + 16).value, ctypes.POINTER(ctypes.c_ubyte))
        seen = (data[2], data[1], data[0])
        self.x11.XFree(ctypes.c_void_p.from_address(image + 16).value)
        self.x11.XFree(image)
        return seen

    def shows(self, page):
        want = tuple(int(BANDS[page][i:i + 2], 16) for i in (1, 3, 5))
        return all(all(abs(a - b) <= 10 for a, b in zip(self.pixel(self.origin[0] + x, self.origin[1] + y), want))
                   for x, y in PROBES)

    def click(self, point):
        subprocess.run(["xdotool", "mousemove", str(self.origin[0] + point[0]), str(self.origin[1] + point[1]),
                        "click", "1"], check=True, env=dict(os.environ, DISPLAY=self.name))

    def close(self):
        self.x11.XCloseDisplay(self.display)
        os.killpg(self.server.pid, signal.SIGTERM)
        self.server.wait()


def wait_until(readers, pages, what, timeout=30.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if all(display.shows(page) for (display, _), page in zip(readers, pages)):
            return
        time.sleep(0.01)
    for index, ((display, _), page) in enumerate(zip(readers, pages)):
        if not display.shows(page):
            fail(f"{what}: reader {index + 1} should show page {page}, its band reads "
                 f"{display.pixel(display.origin[0] + PROBES[0][0], display.origin[1] + PROBES[0][1])}")


def walk(start, steps):
    """Pages visited from `start`, bouncing between the first stored chapter and the last page."""
    page, step, visited = start, 1, []
    for _ in range(steps):
        if not FIRST_STORED <= page + step <= LAST:
            step = -step
        page += step
        visited.append(page)
    return visited


def main():
    demo = sys.argv[1]
    if not os.path.exists(os.path.join(demo, "talvorin")) or not shutil.which("Xvfb") or not shutil.which("xdotool"):
        print("skipped: the demo book, Xvfb or xdotool is missing")
        return SKIP
    work = tempfile.mkdtemp(prefix="talvorin-two-readers-")
    displays, readers = [], []
    try:
        book = os.path.join(work, "book")
        shutil.copytree(demo, book, symlinks=True)
        for _ in range(2):
            display = Display()
            displays.append(display)
            env = dict(os.environ, DISPLAY=display.name)
            env.pop("QT_QPA_PLATFORM", None)
            process = subprocess.Popen([os.path.join(book, "talvorin")], cwd=book, env=env, start_new_session=True,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            readers.append((display, process))
        wait_until(readers, [0, 0], "start-up", timeout=60)
        for display, _ in readers:
            display.click((65, 37))  # contents
        wait_until(readers, [2, 2], "contents")
        for display, _ in readers:
            display.click(MENU_CHAPTER_6)
        wait_until(readers, [8, 8], "the first stored chapter")
        # The second reader goes four chapters ahead, then both walk at once.
        for page in range(9, 13):
            readers[1][0].click(DOWN)
            wait_until(readers[1:], [page], "the second reader ahead")
        first, second = walk(8, 20), walk(12, 20)
        previous = [8, 12]
        for turn, pages in enumerate(zip(first, second), 1):
            for (display, _), page, before in zip(readers, pages, previous):
                display.click(DOWN if page > before else UP)
            wait_until(readers, pages, f"turn {turn}")
            previous = list(pages)
        for index, (_, process) in enumerate(readers):
            if process.poll() is not None:
                fail(f"reader {index + 1} ended with status {process.returncode}")
        print(f"two readers, {len(first)} turns each at once: each showed its own chapter every time")
        return 0
    finally:
        for _, process in readers:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()
        for display in displays:
            display.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
