#!/usr/bin/env python3
"""The real reader on a copy of the demo book, under Xvfb, driven with real mouse clicks.

Usage: reader_e2e.py DEMO_DIR CHAPTERSTORE OUT_DIR

Each step is checked by the colour band at the top of the page in a screenshot of the
screen and by the page files on disk. Exits 77 (skipped) when the demo book, xvfb-run,
xdotool or ImageMagick's import is missing.
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
PASSWORD = "38pondwick71"

# Client-area centres of the buttons in logical pixels (twips / 15, edges rounded).
DOWN = (943, 37)
UP = (885, 37)
CONTENTS = (65, 37)
HELP = (781, 37)
EXIT = (833, 37)
MENU_SECOND_PAGE = (263, 263)    # ShockwaveFlash35
MENU_CHAPTER_6 = (255, 577)      # ShockwaveFlash26, the first stored chapter
MENU_CHAPTER_1 = (255, 404)      # ShockwaveFlash21
BAND_PROBE = (300, 72 + 10)      # inside the page's band, below the browser's top edge
DOWN_ARROW_RECT = (911, 11, 64, 52)


def fail(message):
    print("FAIL:", message, flush=True)
    sys.exit(1)


def run(*args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, **kwargs).stdout


def screenshot():
    data = run("import", "-window", "root", "-depth", "8", "ppm:-")
    tokens, pos = [], 0
    while len(tokens) < 4:  # P6 width height maxval, with optional comments
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        tokens.append(data[pos:end])
        pos = end
    width, height = int(tokens[1]), int(tokens[2])
    return width, height, data[pos + 1:]


def pixel(image, x, y):
    width, _, pixels = image
    i = 3 * (y * width + x)
    return tuple(pixels[i:i + 3])


def colour(hex_text):
    return tuple(int(hex_text[i:i + 2], 16) for i in (1, 3, 5))


def close_to(a, b, tolerance=10):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


class Reader:
    def __init__(self, folder, out_dir, prefix=(), env_extra=None):
        self.folder = folder
        self.out_dir = out_dir
        env = dict(os.environ)
        env.setdefault("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu")
        env.setdefault("QT_QUICK_BACKEND", "software")
        env.update(env_extra or {})
        self.started = time.monotonic()
        self.process = subprocess.Popen(list(prefix) + [os.path.join(folder, "talvorin")], cwd=folder, env=env,
                                        stdout=subprocess.DEVNULL, stderr=open(os.path.join(out_dir, "talvorin.stderr"), "w"))
        window = run("xdotool", "search", "--sync", "--onlyvisible", "--name", "^Talvorin$").split()[0]
        self.window = window.decode()
        geometry = dict(line.split("=") for line in run("xdotool", "getwindowgeometry", "--shell", self.window).decode().split())
        self.x, self.y = int(geometry["X"]), int(geometry["Y"])
        print(f"reader window {self.window} at {self.x},{self.y} size {geometry['WIDTH']}x{geometry['HEIGHT']}", flush=True)

    def click(self, point):
        run("xdotool", "mousemove", "--sync", str(self.x + point[0]), str(self.y + point[1]), "click", "1")
        # Move away so that the pointer does not rest over a page link. The click may have closed the
        # window (the exit button), and then there is nothing to move away from: not a failure.
        try:
            subprocess.run(["xdotool", "mousemove", "--sync", str(self.x + 500), str(self.y + 5)],
                           capture_output=True, timeout=10)
        except subprocess.TimeoutExpired:
            pass

    def wait_for_band(self, page, what, timeout=20.0):
        want = colour(BANDS[page])
        deadline = time.monotonic() + timeout
        seen = None
        while time.monotonic() < deadline:
            image = screenshot()
            seen = pixel(image, self.x + BAND_PROBE[0], self.y + BAND_PROBE[1])
            if close_to(seen, want):
                return image
            time.sleep(0.1)
        self.save("failed")
        fail(f"{what}: expected the band {BANDS[page]} of page {page}, saw {seen}")

    def save(self, name):
        run("import", "-window", "root", os.path.join(self.out_dir, name + ".png"))


def records(chapterstore, store, work):
    out = os.path.join(work, "records")
    os.makedirs(out)
    run(chapterstore, "extract", store, "--password", PASSWORD, "--out", out)
    files = sorted(os.listdir(out))
    return [open(os.path.join(out, f), "rb").read() for f in files]


def check_page_file(folder, name, expected, what):
    path = os.path.join(folder, "res", "Chapter", name)
    if not os.path.exists(path):
        fail(f"{what}: {name} was not written")
    if open(path, "rb").read() != expected:
        fail(f"{what}: {name} does not hold the stored chapter")


def help_processes(folder):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            command = open(f"/proc/{entry}/cmdline", "rb").read().split(b"\0")
        except OSError:
            continue
        if command and command[0].decode(errors="replace").endswith(os.path.join("pic", "help.exe")) \
                and command[0].decode(errors="replace").startswith(folder):
            found.append(int(entry))
    return found


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


def close_window(window):
    """Asks the window to close as a window manager's close box does (WM_DELETE_WINDOW)."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(ClientMessage)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    event = ClientMessage()
    event.type = 33  # ClientMessage
    event.window = int(window)
    event.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


def closing_the_window(demo, work, out_dir):
    """Closing the reader window unloads it and ends the program with status 0."""
    folder = os.path.join(work, "closing")
    shutil.copytree(demo, folder, symlinks=True)
    reader = Reader(folder, out_dir)
    reader.wait_for_band(0, "start-up before closing")
    close_window(reader.window)
    try:
        status = reader.process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        reader.process.kill()
        fail("closing the window did not end the reader")
    if status != 0:
        fail(f"closing the window ended the reader with status {status}")
    print("closing the window: status 0", flush=True)


NOBODY = 65534


def read_only_installation(demo, work, out_dir, stored):
    """An installation that belongs to root, read by another user: chapters 6 to 13 come
    from the user's overlay, fresh on every arrival, and nothing is written into the book."""
    if os.geteuid() != 0 or not shutil.which("setpriv"):
        print("read-only installation: skipped (needs root and setpriv)", flush=True)
        return
    folder = os.path.join(work, "installed")
    shutil.copytree(demo, folder, symlinks=True)
    for stale in ("faj.trm", "temp.html"):
        path = os.path.join(folder, "res", "Chapter", stale)
        if os.path.exists(path):
            os.remove(path)
    os.chmod(work, 0o755)
    for root, dirs, files in os.walk(folder):
        os.chmod(root, 0o755)
    home = os.path.join(work, "nobody-home")
    os.makedirs(home)
    os.chown(home, NOBODY, NOBODY)
    # The display's key, readable by the other user.
    env_extra = {"HOME": home, "XDG_CACHE_HOME": os.path.join(home, ".cache"), "QTWEBENGINE_DISABLE_SANDBOX": "1",
                 "XDG_RUNTIME_DIR": home}
    authority = os.environ.get("XAUTHORITY")
    if authority and os.path.exists(authority):
        copy = os.path.join(home, "Xauthority")
        shutil.copyfile(authority, copy)
        os.chown(copy, NOBODY, NOBODY)
        env_extra["XAUTHORITY"] = copy
    prefix = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", "--"]
    probe = subprocess.run(prefix + ["test", "-w", os.path.join(folder, "res", "Chapter")])
    if probe.returncode == 0:
        print("read-only installation: skipped (the folder is writable for that user)", flush=True)
        return
    before = sorted(os.listdir(os.path.join(folder, "res", "Chapter")))
    reader = Reader(folder, out_dir, prefix, env_extra)
    reader.wait_for_band(0, "read-only: start-up")
    overlay_root = os.path.join(home, ".cache", "talvorin")
    for page in range(1, 16):
        reader.click(DOWN)
        reader.wait_for_band(page, f"read-only: down to page {page}")
        if page >= 8:
            found = [os.path.join(r, "faj.trm") for r, _, f in os.walk(overlay_root) if "faj.trm" in f]
            if len(found) != 1:
                fail(f"read-only: page {page}: overlay page files {found}")
            if open(found[0], "rb").read() != stored[page - 8]:
                fail(f"read-only: page {page}: the overlay does not hold the stored chapter")
    reader.click(EXIT)
    try:
        reader.process.wait(timeout=15)
    except subprocess.TimeoutExpired:
        reader.process.kill()
        fail("read-only: the exit button did not end the reader")
    if sorted(os.listdir(os.path.join(folder, "res", "Chapter"))) != before:
        fail("read-only: something was written into the installation")
    print("read-only installation: chapters 6 to 13 from the overlay", flush=True)


def no_window_without_store(demo, work, out_dir):
    """A book without its store: the report appears, the reader window never does."""
    folder = os.path.join(work, "nostore")
    shutil.copytree(demo, folder, symlinks=True)
    for name in os.listdir(os.path.join(folder, "res", "Chapter")):
        if name.lower() == "qvd.dll":
            os.remove(os.path.join(folder, "res", "Chapter", name))
    env = dict(os.environ, TALVORIN_REPORT_TIMEOUT_MS="4000")
    env.setdefault("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu")
    process = subprocess.Popen([os.path.join(folder, "talvorin")], cwd=folder, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    box_seen = False
    while process.poll() is None:
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Talvorin"],
                             capture_output=True).stdout.split()
        for wid in ids:
            shown = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid.decode()], capture_output=True)
            if shown.returncode != 0:
                continue  # the box closed between the search and this look
            geometry = dict(line.split("=") for line in shown.stdout.decode().split())
            if int(geometry["WIDTH"]) >= 900:
                process.kill()
                fail("the reader window appeared although the store is missing")
            box_seen = True
        time.sleep(0.1)
    errors = process.stderr.read().decode(errors="replace")
    if process.returncode == 0 or "Run-time error" not in errors:
        fail(f"missing store: status {process.returncode}, report {errors!r}")
    if not box_seen:
        fail("missing store: the report box was never shown")
    print("missing store: report shown, no reader window, status", process.returncode, flush=True)


def main():
    demo, chapterstore, out_dir = sys.argv[1:4]
    os.makedirs(out_dir, exist_ok=True)
    needed = ["talvorin", "res/1p.html", "res/Chapter/qvd.dll", "pic/help.exe"]
    if not all(os.path.exists(os.path.join(demo, n)) for n in needed) or not os.path.exists(chapterstore):
        print("SKIP: the demo book is not built", flush=True)
        return SKIP
    for tool in ("xvfb-run", "xdotool", "import"):
        if not shutil.which(tool):
            print(f"SKIP: {tool} is not installed", flush=True)
            return SKIP
    if not os.environ.get("TALVORIN_E2E_DISPLAY"):
        env = dict(os.environ, TALVORIN_E2E_DISPLAY="1")
        return subprocess.call(["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", sys.executable] + sys.argv, env=env)

    # The display may take a moment to accept clients.
    for _ in range(100):
        if subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0:
            break
        time.sleep(0.1)

    work = tempfile.mkdtemp(prefix="talvorin-e2e-")
    try:
        folder = os.path.join(work, "book")
        shutil.copytree(demo, folder, symlinks=True)
        for stale in ("faj.trm", "temp.html"):
            path = os.path.join(folder, "res", "Chapter", stale)
            if os.path.exists(path):
                os.remove(path)
        stored = records(chapterstore, os.path.join(folder, "res", "Chapter", "qvd.dll"), work)
        if len(stored) < 8:
            fail(f"the demo store holds {len(stored)} records")

        no_window_without_store(demo, work, out_dir)
        closing_the_window(demo, work, out_dir)
        read_only_installation(demo, work, out_dir, stored)

        reader = Reader(folder, out_dir)
        image = reader.wait_for_band(0, "start-up")
        print(f"cover page painted {time.monotonic() - reader.started:.2f} s after the start", flush=True)
        # Movies are read and drawn off the window's thread: the arrow follows the page shortly.
        x0, y0, w, h = DOWN_ARROW_RECT
        deadline = time.monotonic() + 15
        while True:
            time.sleep(0.5)
            image = screenshot()
            colours = {pixel(image, reader.x + x, reader.y + y) for x in range(x0, x0 + w, 3) for y in range(y0, y0 + h, 3)}
            if len(colours) >= 3 or time.monotonic() > deadline:
                break
        reader.save("cover")
        if len(colours) < 3:
            fail(f"the down arrow's movie is not drawn: {colours}")

        for page in range(1, 16):
            reader.click(DOWN)
            reader.wait_for_band(page, f"down to page {page}")
            if page >= 8:
                check_page_file(folder, "faj.trm", stored[page - 8], f"down to page {page}")
        reader.save("last-page")
        for page in range(14, -1, -1):
            reader.click(UP)
            reader.wait_for_band(page, f"up to page {page}")
            if page == 8:
                check_page_file(folder, "temp.html", stored[0], "up to page 8")
            elif page > 8:
                check_page_file(folder, "faj.trm", stored[page - 8], f"up to page {page}")
        print("down through all sixteen pages and back up", flush=True)

        reader.click(CONTENTS)
        reader.wait_for_band(2, "contents button")
        reader.save("contents")
        reader.click(MENU_SECOND_PAGE)
        reader.wait_for_band(1, "menu: second front page")
        reader.click(CONTENTS)
        reader.wait_for_band(2, "contents button again")
        os.remove(os.path.join(folder, "res", "Chapter", "faj.trm"))
        reader.click(MENU_CHAPTER_6)
        reader.wait_for_band(8, "menu: chapter 6")
        check_page_file(folder, "faj.trm", stored[0], "menu: chapter 6")
        print("contents button and two menu jumps", flush=True)

        before = set(help_processes(folder))
        reader.click(HELP)
        deadline = time.monotonic() + 10
        started = set()
        while time.monotonic() < deadline and not started:
            started = set(help_processes(folder)) - before
            time.sleep(0.1)
        if not started:
            fail("the help button started no help program")
        print("help program started:", sorted(started), flush=True)
        time.sleep(1.0)
        for pid in started:
            os.kill(pid, signal.SIGTERM)
        # The reader still answers: the focus came back to Text1.
        reader.click(DOWN)
        reader.wait_for_band(9, "down after help")

        reader.click(EXIT)
        try:
            status = reader.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            reader.process.kill()
            fail("the exit button did not end the reader")
        if status != 0:
            fail(f"the exit button ended the reader with status {status}")
        if not os.path.exists(os.path.join(folder, "res", "Chapter", "faj.trm")):
            fail("the page file is gone after the exit")
        print("exit button: status 0", flush=True)
        print("PASS", flush=True)
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
