#!/usr/bin/env python3
"""Installs the build into a scratch DESTDIR and checks what a desktop needs:
the program, a desktop entry the validator accepts, and the icon in the
hicolor theme at each size (PNGs of that very size) plus a scalable one.
    check_install.py BUILD_DIR"""
import configparser, glob, os, struct, subprocess, sys, tempfile

build = sys.argv[1]
failures = []
def check(ok, what):
    if not ok:
        failures.append(what)

with tempfile.TemporaryDirectory() as dest:
    env = dict(os.environ, DESTDIR=dest)
    subprocess.run(["cmake", "--install", build, "--prefix", "/usr/local"], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    root = dest + "/usr/local"
    program = root + "/bin/veltomail"
    check(os.access(program, os.X_OK), "bin/veltomail is not an executable")
    # The web views, loaded by the program from there on first use.
    check(glob.glob(root + "/lib/**/veltomail/libvelto_web.so", recursive=True), "no lib/.../veltomail/libvelto_web.so")

    entry_path = root + "/share/applications/veltomail.desktop"
    check(os.path.isfile(entry_path), "no share/applications/veltomail.desktop")
    result = subprocess.run(["desktop-file-validate", entry_path], capture_output=True, text=True)
    check(result.returncode == 0 and not result.stdout.strip(),
          "desktop-file-validate: " + result.stdout + result.stderr)
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(entry_path)
    section = entry["Desktop Entry"]
    check(section.get("Exec", "").split()[0] == os.path.basename(program), "Exec does not start veltomail")
    check(set(section.get("Categories", "").strip(";").split(";")) >= {"Network", "Email"},
          "Categories lack Network;Email;")

    icon = section.get("Icon", "")
    sizes = [16, 22, 24, 32, 48, 64, 128, 256]
    for size in sizes:
        png = f"{root}/share/icons/hicolor/{size}x{size}/apps/{icon}.png"
        if not os.path.isfile(png):
            failures.append(f"no {size}x{size} icon")
            continue
        with open(png, "rb") as f:
            head = f.read(24)
        check(head[:8] == b"\x89PNG\r\n\x1a\n", f"{png} is not a PNG")
        check(struct.unpack(">II", head[16:24]) == (size, size), f"{png} is not {size}x{size}")
    svg = f"{root}/share/icons/hicolor/scalable/apps/{icon}.svg"
    check(os.path.isfile(svg) and b"<svg" in open(svg, "rb").read(), "no scalable SVG icon")

for f in failures:
    print("install:", f)
sys.exit(1 if failures else 0)
