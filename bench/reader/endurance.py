#!/usr/bin/env python3
"""Endurance: 1,500 page turns through the real reader on a copy of the demo book, under Xvfb.

Usage: endurance.py DEMO_DIR CHAPTERSTORE [TURNS]

Down from the cover to the last page and back up, again and again: the file pages (0-7) and
the chapters from the store (8-15) by turns. After every turn the page's colour band must be
on screen (two points of it) and a stored chapter's page file must hold the whole record.
Prints the main process's resident memory every 100 turns, its growth per 100 turns after
warm-up (the first third of the turns: caches and the browser's own pools fill up there; least
squares over the samples after it) and the turn times.
Exits 1 on a wrong or partial page.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from bench_reader import PASSWORD, Screen, click, reader_origin, start, stop, under_xvfb

BANDS = ["#C0392B", "#D35400", "#F39C12", "#27AE60", "#16A085", "#2980B9", "#8E44AD", "#2C3E50",
         "#E74C3C", "#E67E22", "#F1C40F", "#2ECC71", "#1ABC9C", "#3498DB", "#9B59B6", "#7F8C8D"]
PAGES = len(BANDS)
FIRST_STORED = 8
DOWN, UP = (943, 37), (885, 37)
PROBES = [(300, 82), (700, 82)]  # two points of the band, below the browser's top edge


def rss_kb(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def slope_per_100(samples):
    """Least-squares growth in kB per 100 turns over (turn, kB) samples."""
    if len(samples) < 2:
        return 0.0
    xs = [t for t, _ in samples]
    ys = [kb for _, kb in samples]
    mx, my = statistics.fmean(xs), statistics.fmean(ys)
    sxx = sum((x - mx) ** 2 for x in xs)
    return 100.0 * sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sxx if sxx else 0.0


def stored_records(chapterstore, store, work):
    out = os.path.join(work, "records")
    os.makedirs(out)
    subprocess.run([chapterstore, "extract", store, "--password", PASSWORD, "--out", out], check=True,
                   stdout=subprocess.DEVNULL)
    return [open(os.path.join(out, f), "rb").read() for f in sorted(os.listdir(out))]


def page_file_problem(book, page, going_up, records):
    """None when the page file of a stored chapter holds the whole record, else what is wrong."""
    if page < FIRST_STORED:
        return None
    # Arriving at the first stored chapter from above, the reader shows it under the other name.
    name = "temp.html" if going_up and page == FIRST_STORED else "faj.trm"
    path = os.path.join(book, "res", "Chapter", name)
    try:
        data = open(path, "rb").read()
    except OSError as error:
        return f"{name}: {error}"
    want = records[page - FIRST_STORED]
    if data != want:
        return f"{name}: {len(data)} bytes, not the {len(want)} of the stored chapter"
    return None


def main():
    demo, chapterstore = sys.argv[1:3]
    turns = int(sys.argv[3]) if len(sys.argv) > 3 else 1500
    status = under_xvfb("ENDURANCE_DISPLAY")
    if status is not None:
        return status
    os.environ.setdefault("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu")
    os.environ.setdefault("QT_QUICK_BACKEND", "software")
    screen = Screen()
    work = tempfile.mkdtemp(prefix="talvorin-endurance-")
    process = None
    try:
        book = os.path.join(work, "book")
        shutil.copytree(demo, book, symlinks=True)
        records = stored_records(chapterstore, os.path.join(book, "res", "Chapter", "qvd.dll"), work)
        process = start([os.path.join(book, "talvorin")], book)
        origin = reader_origin()
        screen.wait_for(origin[0] + PROBES[0][0], origin[1] + PROBES[0][1], BANDS[0], timeout=60)

        page, step = 0, 1
        samples, times, wrong = [], [], []
        began = time.monotonic()
        for turn in range(1, turns + 1):
            if not 0 <= page + step < PAGES:
                step = -step
            page += step
            begin = time.monotonic()
            click(origin, DOWN if step > 0 else UP)
            try:
                for x, y in PROBES:
                    screen.wait_for(origin[0] + x, origin[1] + y, BANDS[page], timeout=20)
            except SystemExit as error:
                wrong.append(f"turn {turn}, page {page}: {error}")
                break
            times.append(time.monotonic() - begin)
            problem = page_file_problem(book, page, step < 0, records)
            if problem:
                wrong.append(f"turn {turn}, page {page}: {problem}")
            if process.poll() is not None:
                wrong.append(f"turn {turn}: the reader ended with status {process.returncode}")
                break
            if turn % 100 == 0:
                samples.append((turn, rss_kb(process.pid)))
                print(f"turn {turn:5d}: RSS {samples[-1][1] / 1024:.1f} MB", flush=True)

        elapsed = time.monotonic() - began
        print(f"{len(times)} turns in {elapsed:.0f} s; turn to band on screen: median {statistics.median(times) * 1000:.0f} ms, "
              f"worst {max(times) * 1000:.0f} ms")
        settled = [sample for sample in samples if sample[0] >= turns // 3]
        if len(settled) >= 2:
            first, last = settled[0][1], settled[-1][1]
            print(f"main process RSS after warm-up ({settled[0][0]} turns) {first / 1024:.1f} MB, at the end "
                  f"({settled[-1][0]} turns) {last / 1024:.1f} MB: {last / first:.3f}x; "
                  f"growth {slope_per_100(settled):+.1f} kB per 100 turns (least squares; "
                  f"{slope_per_100(samples):+.1f} kB counting warm-up)")
        print(f"wrong or partial pages: {len(wrong)}")
        for line in wrong[:20]:
            print("  " + line)
        return 1 if wrong else 0
    finally:
        if process:
            stop(process)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
