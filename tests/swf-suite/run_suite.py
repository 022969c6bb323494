#!/usr/bin/env python3
"""Runs the SWF conformance suite with swfrun and checks the tests listed as passing.

Each test folder holds test.swf, test.toml, and output.txt (the expected trace) and/or
NAME.expected.png pictures. A trace test passes when swfrun prints exactly the expected
lines (CR LF read as LF, [approximations] honoured); a picture passes when it meets the
movie tests' criterion (swf_image_diff). Results are named "trace:TEST" and
"image:TEST/NAME"; every name in the passing list must pass, others may.

  run_suite.py --swfrun BIN --image-diff BIN --suite DIR --passing FILE
               [--jobs N] [--filter REGEX] [--timeout S] [--counts] [--write-passing] [--verbose]

Exit status: 0 when every listed test passes, 1 when one fails, 77 when the suite is absent.
"""
import argparse
import concurrent.futures
import math
import os
import re
import subprocess
import sys
import tempfile
import time
import tomllib

# Tests outside the scripting engine's first scope: networking, storage, loading and the
# bitmap API.
EXCLUDED_WORDS = (
    "xml", "amf", "netstream", "netconnection", "localconnection", "sharedobject", "file_reference",
    "printjob", "external", "loadvars", "loadvariables", "sandbox", "textsnapshot", "camera",
    "microphone", "bitmap", "mcl_", "moviecliploader", "loadmovie", "unloadmovie", "avm2", "load_",
    "cross_domain", "security",
)


def in_script_scope(name):
    lowered = name.lower()
    return not any(word in lowered for word in EXCLUDED_WORDS)


# ---- Comparing traces ---------------------------------------------------------------------

def normalize(text):
    return text.replace("\r\n", "\n").rstrip("\n")


def numbers_close(a, b, epsilon, max_relative):
    if a == b or (math.isnan(a) and math.isnan(b)):
        return True
    diff = abs(a - b)
    if diff <= epsilon:
        return True
    return diff <= max_relative * max(abs(a), abs(b))


def to_number(text):
    try:
        return float(text)
    except ValueError:
        return None


def lines_match(expected, actual, approx):
    """Compares one line under the test's approximations (None: exact)."""
    if expected == actual:
        return True
    if approx is None:
        return False
    epsilon = float(approx.get("epsilon", sys.float_info.epsilon))
    max_relative = float(approx.get("max_relative", sys.float_info.epsilon))
    if approx.get("bare_numbers", False):
        a, b = to_number(expected), to_number(actual)
        if a is not None and b is not None:
            return numbers_close(a, b, epsilon, max_relative)
    for pattern in approx.get("number_patterns", []):
        regex = re.compile(pattern)
        me, ma = regex.fullmatch(expected) or regex.search(expected), regex.fullmatch(actual) or regex.search(actual)
        if not me or not ma or len(me.groups()) != len(ma.groups()):
            continue
        # The text around the numbers must agree; the numbers may differ a little.
        if regex.sub("#", expected) != regex.sub("#", actual):
            continue
        ok = True
        for ge, ga in zip(regex.finditer(expected), regex.finditer(actual)):
            for x, y in zip(ge.groups(), ga.groups()):
                nx, ny = to_number(x or ""), to_number(y or "")
                if nx is None or ny is None:
                    ok = ok and x == y
                else:
                    ok = ok and numbers_close(nx, ny, epsilon, max_relative)
        if ok:
            return True
    return False


def traces_match(expected, actual, approx):
    e, a = normalize(expected).split("\n"), normalize(actual).split("\n")
    if len(e) != len(a):
        return False
    return all(lines_match(x, y, approx) for x, y in zip(e, a))


# ---- Reading the tests --------------------------------------------------------------------

def read_toml(text):
    try:
        return tomllib.loads(text)
    except tomllib.TOMLDecodeError:
        # Some files spread an inline table over several lines, as newer TOML allows.
        return tomllib.loads(re.sub(r"\{[^{}]*\}", lambda m: " ".join(m.group(0).split()), text))


class Test:
    def __init__(self, folder):
        self.folder = folder
        self.name = os.path.basename(folder)
        with open(os.path.join(folder, "test.toml"), "rb") as f:
            self.toml = read_toml(f.read().decode("utf-8"))
        t = self.toml
        self.frames = int(t.get("num_frames", t.get("num_ticks", 1)))
        renderer = t.get("player_options", {}).get("with_renderer", {})
        self.quality = renderer.get("quality", "high") if isinstance(renderer, dict) else "high"
        self.ignored = bool(t.get("ignore", False))
        self.log_fetch = bool(t.get("log_fetch", False))
        viewport = t.get("player_options", {}).get("viewport_dimensions")
        self.viewport = None
        if isinstance(viewport, dict) and "width" in viewport and "height" in viewport:
            self.viewport = (int(viewport["width"]), int(viewport["height"]))
        self.approx = t.get("approximations")
        output = os.path.join(folder, t.get("output_path", "output.txt"))
        self.expected_trace = output if os.path.exists(output) else None
        self.input = os.path.join(folder, "input.json")
        if not os.path.exists(self.input):
            self.input = None
        # Pictures: NAME -> frame (None when the trigger is not a frame).
        self.images = {}
        for name, comparison in t.get("image_comparisons", {}).items():
            if not os.path.exists(os.path.join(folder, name + ".expected.png")):
                continue
            trigger = comparison.get("trigger", "last_frame") if isinstance(comparison, dict) else "last_frame"
            if trigger == "last_frame":
                self.images[name] = self.frames
            elif isinstance(trigger, int) and 1 <= trigger <= self.frames:
                self.images[name] = trigger
            else:
                self.images[name] = None

    def trace_in_scope(self):
        return self.expected_trace is not None and in_script_scope(self.name) and not self.ignored


def run_test(test, args, scratch):
    """Runs one movie; returns {result name: (passed, detail)}."""
    results = {}
    want_trace = test.trace_in_scope()
    snapshots = {name: frame for name, frame in test.images.items() if frame is not None}
    if not want_trace and not test.images:
        return results
    command = [args.swfrun, os.path.join(test.folder, "test.swf"), "--frames", str(test.frames)]
    if test.input:
        command += ["--input", test.input]
    if test.log_fetch:
        command += ["--log-web-requests"]
    if test.viewport:
        command += ["--viewport", f"{test.viewport[0]}x{test.viewport[1]}"]
    if test.quality in ("low", "medium", "high"):
        command += ["--quality", test.quality]
    pictures = {}
    for name, frame in snapshots.items():
        out = os.path.join(scratch, f"{test.name}.{name}.png")
        pictures[name] = out
        command += ["--snapshot", f"{frame}:{out}"]
    start = time.monotonic()
    try:
        done = subprocess.run(command, capture_output=True, timeout=args.timeout)
        output = done.stdout.decode("utf-8", errors="replace")
        failure = f"exit status {done.returncode}" if done.returncode != 0 else None
        if done.returncode != 0 and args.verbose:
            sys.stderr.write(done.stderr.decode("utf-8", errors="replace")[-2000:])
    except subprocess.TimeoutExpired as e:
        output = (e.stdout or b"").decode("utf-8", errors="replace")
        failure = f"over the {args.timeout} s budget"
    elapsed = time.monotonic() - start
    if want_trace:
        with open(test.expected_trace, "r", encoding="utf-8", errors="replace", newline="") as f:
            expected = f.read()
        ok = failure is None and traces_match(expected, output, test.approx)
        results[f"trace:{test.name}"] = (ok, failure or ("" if ok else "trace differs"))
    for name, frame in test.images.items():
        key = f"image:{test.name}/{name}"
        if frame is None:
            results[key] = (False, "trigger is not a frame")
        elif failure:
            results[key] = (False, failure)
        else:
            expected = os.path.join(test.folder, name + ".expected.png")
            diff = subprocess.run([args.image_diff, pictures[name], expected], capture_output=True, timeout=60)
            verdict = diff.stdout.decode().strip()
            results[key] = (verdict.startswith("match"), verdict)
    if args.verbose:
        print(f"{elapsed:6.2f}s {test.name}", file=sys.stderr)
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--swfrun", required=True)
    parser.add_argument("--image-diff", required=True)
    parser.add_argument("--suite", required=True)
    parser.add_argument("--passing", required=True)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--filter", default="")
    parser.add_argument("--timeout", type=float, default=30)
    parser.add_argument("--counts", action="store_true", help="print the counts only")
    parser.add_argument("--write-passing", action="store_true", help="rewrite the passing list from this run")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()

    if not os.path.isdir(args.suite):
        print(f"SWF suite not found at {args.suite}; skipped")
        return 77

    folders = sorted(
        os.path.join(args.suite, d) for d in os.listdir(args.suite)
        if os.path.exists(os.path.join(args.suite, d, "test.toml")) and re.search(args.filter, d))
    tests = []
    for folder in folders:
        try:
            tests.append(Test(folder))
        except (OSError, UnicodeDecodeError, tomllib.TOMLDecodeError) as e:
            print(f"{os.path.basename(folder)}: unreadable test.toml: {e}")

    listed = set()
    if os.path.exists(args.passing):
        with open(args.passing, encoding="utf-8") as f:
            listed = {line.strip() for line in f if line.strip() and not line.startswith("#")}

    results = {}
    with tempfile.TemporaryDirectory(prefix="swf-suite-") as scratch:
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            for r in pool.map(lambda t: run_test(t, args, scratch), tests):
                results.update(r)

    traces = {k: v for k, v in results.items() if k.startswith("trace:")}
    images = {k: v for k, v in results.items() if k.startswith("image:")}
    trace_pass = sum(1 for ok, _ in traces.values() if ok)
    image_pass = sum(1 for ok, _ in images.values() if ok)
    print(f"traces in scope passing: {trace_pass} / {len(traces)}")
    print(f"images passing: {image_pass} / {len(images)}")
    if args.counts:
        return 0

    if args.write_passing:
        header = "# Conformance results that must keep passing (written by run_suite.py --write-passing).\n"
        with open(args.passing, "w", encoding="utf-8") as f:
            f.write(header + "".join(f"{k}\n" for k in sorted(k for k, (ok, _) in results.items() if ok)))
        print(f"wrote {args.passing}")
        return 0

    regressions = sorted(k for k in listed if k in results and not results[k][0])
    # A listed test the filter left out is not a regression; one missing from the suite is.
    missing = sorted(k for k in listed if k not in results and not args.filter)
    newly = sorted(k for k, (ok, _) in results.items() if ok and k not in listed)
    for k in regressions:
        print(f"FAIL (listed as passing): {k}: {results[k][1]}")
    for k in missing:
        print(f"FAIL (listed but not run): {k}")
    if newly:
        print(f"{len(newly)} passing but not listed (add them with --write-passing):")
        for k in newly:
            print(f"  {k}")
    return 1 if regressions or missing else 0


if __name__ == "__main__":
    sys.exit(main())
