#!/usr/bin/env python3
"""The Debian package as a user receives it.

Usage: package_test.py BUILD_DIR VERSION STORE_PASSWORD WORK_DIR [TOOL...]

Makes the package with cpack from the build, reads its control data and file list, unpacks it
with dpkg -x into a scratch root and runs the packaged tools there; runs lintian when it is
installed. Exits 77 (skipped) when cpack or dpkg-deb is missing.
"""
import gzip
import os
import shutil
import struct
import subprocess
import sys

SKIP = 77
ICON_SIZES = (16, 32, 48, 64, 72, 96)
MOVIES = ["help", "exit", "corvanta", "5", "index", "up", "down"] + [str(n) for n in range(21, 34)] + ["01", "02"]


def fail(message):
    print("FAIL:", message, flush=True)
    sys.exit(1)


def run(*args, **kwargs):
    result = subprocess.run(args, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        fail(f"{' '.join(args)} exited {result.returncode}:\n{result.stdout}\n{result.stderr}")
    return result.stdout


def make_package(build_dir, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    run("cpack", "-G", "DEB", "-B", work, "--config", os.path.join(build_dir, "CPackConfig.cmake"), cwd=build_dir)
    debs = [name for name in os.listdir(work) if name.endswith(".deb")]
    if len(debs) != 1:
        fail(f"expected one package in {work}, found {debs}")
    return os.path.join(work, debs[0])


def check_control(deb, version, tools):
    arch = run("dpkg", "--print-architecture").strip()
    if os.path.basename(deb) != f"talvorin_{version}_{arch}.deb":
        fail(f"package file named {os.path.basename(deb)}")
    fields = {}
    for name in ("Package", "Version", "Architecture", "Maintainer", "Depends", "Section", "Priority", "Description"):
        fields[name] = run("dpkg-deb", "-f", deb, name).strip()
    expected = {"Package": "talvorin", "Version": version, "Architecture": arch}
    for name, value in expected.items():
        if fields[name] != value:
            fail(f"{name} is {fields[name]!r}, not {value!r}")
    for name in ("Maintainer", "Section", "Priority", "Description"):
        if not fields[name]:
            fail(f"control field {name} is empty")
    # Computed from the binaries: the C library and the Qt libraries the reader links.
    depends = [d.strip().split(" ")[0] for d in fields["Depends"].split(",")]
    for library in ("libc6", "libstdc++6", "libqt6core6", "libqt6widgets6", "libqt6webenginewidgets6"):
        if library not in depends:
            fail(f"Depends lacks {library}: {fields['Depends']}")
    summary, _, extended = fields["Description"].partition("\n")
    if not summary or len(summary) > 80 or not extended.strip():
        fail(f"description needs a short summary and an extended text: {fields['Description']!r}")
    # Maintainer scripts would run as root on installation; this package needs none.
    control = run("dpkg-deb", "-I", deb)
    for script in ("preinst", "postinst", "prerm", "postrm"):
        if f" {script}" in control:
            fail(f"the package carries a {script} script")


def check_file_list(deb, tools):
    listing = run("dpkg-deb", "-c", deb).splitlines()
    entries = {}
    for line in listing:
        parts = line.split(None, 5)
        mode, owner, path = parts[0], parts[1], parts[5]
        target = None
        if " -> " in path:
            path, target = path.split(" -> ", 1)
        entries[path.lstrip(".").rstrip("/") or "/"] = (mode, owner, target)
        if owner != "root/root":
            fail(f"{path} belongs to {owner}")
        if mode[0] == "d" and mode != "drwxr-xr-x":
            fail(f"folder {path} has mode {mode}")
    expected = ["/opt/talvorin/talvorin", "/opt/talvorin/pic/help.exe", "/opt/talvorin/res/1p.html",
                "/opt/talvorin/res/2p.html", "/opt/talvorin/res/3p.html", "/opt/talvorin/res/Chapter/qvd.dll",
                "/usr/share/applications/talvorin.desktop", "/usr/share/doc/talvorin/copyright",
                "/usr/share/doc/talvorin/changelog.gz", "/usr/bin/talvorin"]
    expected += [f"/opt/talvorin/pic/{movie}.swf" for movie in MOVIES]
    expected += [f"/opt/talvorin/res/Chapter/0{n}.html" for n in range(1, 6)]
    expected += [f"/usr/share/icons/hicolor/{n}x{n}/apps/talvorin.png" for n in ICON_SIZES]
    for tool in tools:
        expected += [f"/usr/bin/{tool}", f"/usr/share/man/man1/{tool}.1.gz"]
    for path in expected:
        if path not in entries:
            fail(f"the package lacks {path}")
    for path, (mode, _, _) in entries.items():
        if path.endswith(("faj.trm", "temp.html")):
            fail(f"a page file written by a run of the reader was packaged: {path}")
        if not path.startswith(("/opt/talvorin", "/usr/bin", "/usr/share")) and path not in ("/", "/opt", "/usr"):
            fail(f"{path} lies outside the package's places")
        executable = path in ("/opt/talvorin/talvorin", "/opt/talvorin/pic/help.exe") or \
            (path.startswith("/usr/bin/") and mode[0] == "-")
        if mode[0] == "-" and mode != ("-rwxr-xr-x" if executable else "-rw-r--r--"):
            fail(f"{path} has mode {mode}")
    if entries["/usr/bin/talvorin"][2] != "/opt/talvorin/talvorin":
        fail(f"/usr/bin/talvorin links to {entries['/usr/bin/talvorin'][2]}")


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        fail(f"{path} is not a PNG picture")
    return struct.unpack(">II", head[16:24])


def check_unpacked(deb, root, build_dir, password, tools):
    shutil.rmtree(root, ignore_errors=True)
    run("dpkg", "-x", deb, root)
    # The programs: stripped, and nothing points back into the build.
    programs = ["opt/talvorin/talvorin", "opt/talvorin/pic/help.exe"]
    programs += [f"usr/bin/{tool}" for tool in tools if tool != "talvorin"]  # usr/bin/talvorin is the link
    for program in programs:
        sections = run("readelf", "-S", "-W", os.path.join(root, program))
        if ".debug_info" in sections:
            fail(f"{program} is not stripped")
        dynamic = run("readelf", "-d", "-W", os.path.join(root, program))
        if "RPATH" in dynamic or "RUNPATH" in dynamic:
            fail(f"{program} carries a library path:\n{dynamic}")
    # The desktop entry starts the installed program and names an installed icon.
    entry = dict(line.rstrip("\n").split("=", 1) for line in open(os.path.join(root, "usr/share/applications/talvorin.desktop"),
                                                     encoding="utf-8") if "=" in line)
    if entry.get("Exec", "").split(" ")[0] != "/opt/talvorin/talvorin" or entry.get("Type") != "Application":
        fail(f"desktop entry: {entry}")
    if entry.get("Icon") != "talvorin":
        fail(f"desktop entry icon: {entry.get('Icon')}")
    for n in ICON_SIZES:
        if png_size(os.path.join(root, f"usr/share/icons/hicolor/{n}x{n}/apps/talvorin.png")) != (n, n):
            fail(f"the {n}x{n} icon has another size")
    # Manual pages and the changelog, compressed.
    for tool in tools:
        page = gzip.open(os.path.join(root, f"usr/share/man/man1/{tool}.1.gz"), "rt").read()
        if not page.startswith(".TH ") or f"\n{tool} \\-" not in page:
            fail(f"the manual page of {tool} has no title or name")
    changelog = gzip.open(os.path.join(root, "usr/share/doc/talvorin/changelog.gz"), "rt").readline()
    if not changelog.startswith(f"talvorin ({run('dpkg-deb', '-f', deb, 'Version').strip()})"):
        fail(f"changelog begins {changelog!r}")
    # The packaged tools work from where they are installed, on the packaged book.
    listed = run(os.path.join(root, "usr/bin/chapterstore"), "list",
                 os.path.join(root, "opt/talvorin/res/Chapter/qvd.dll"), "--password", password).splitlines()
    if [line.split("\t")[0] for line in listed] != [str(n) for n in range(1, 9)]:
        fail(f"the packaged chapter store lists:\n{listed}")
    picture = os.path.join(root, "down.png")
    run(os.path.join(root, "usr/bin/swfframe"), os.path.join(root, "opt/talvorin/pic/down.swf"),
        "-s", "64x52", "-o", picture, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    if png_size(picture) != (64, 52):
        fail("swfframe from the package drew no picture of the asked size")


def check_lintian(deb):
    if not shutil.which("lintian"):
        print("lintian is not installed: its check was left out", flush=True)
        return
    result = subprocess.run(["lintian", "--no-tag-display-limit", deb], capture_output=True, text=True)
    print(result.stdout, result.stderr, flush=True)
    errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
    if errors:
        fail("lintian reports errors:\n" + "\n".join(errors))


def main():
    if len(sys.argv) < 5:
        print(__doc__)
        return 2
    build_dir, version, password, work = sys.argv[1:5]
    tools = sys.argv[5:]
    for program in ("cpack", "dpkg-deb", "readelf"):
        if not shutil.which(program):
            print(f"{program} is not installed", flush=True)
            return SKIP
    deb = make_package(build_dir, os.path.join(work, "out"))
    check_control(deb, version, tools)
    check_file_list(deb, tools)
    check_unpacked(deb, os.path.join(work, "root"), build_dir, password, tools)
    check_lintian(deb)
    print("package ok:", os.path.basename(deb), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
