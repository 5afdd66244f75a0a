#!/usr/bin/env python3
"""Builds the Debian package from the built tree (as `make deb` does),
unpacks it into a scratch root and checks what it carries: the program (it
runs), desktop entry, icons, manual page, AppStream metadata, copyright and
changelog; its dependencies as dpkg-shlibdeps found them; and lintian's
verdict (no errors, no warnings); no maintainer scripts, nothing of the
build folder inside.
    check_deb.py BUILD_DIR"""
import glob, gzip, os, re, shutil, subprocess, sys, tempfile

build = sys.argv[1]
for tool in ("cpack", "dpkg-deb", "dpkg-shlibdeps", "file"):
    if not shutil.which(tool):
        print(f"skipped: {tool} is missing")
        sys.exit(77)

# A sanitizer build is for finding faults, not for shipping: its binaries
# carry the sanitizers and the build folder by design.
with open(os.path.join(build, "CMakeCache.txt")) as cache:
    if re.search(r"^VELTO_SANITIZE:BOOL=ON$", cache.read(), re.M):
        print("skipped: a sanitizer build is not packaged")
        sys.exit(77)

failures = []
def check(ok, what):
    if not ok:
        failures.append(what)

with tempfile.TemporaryDirectory() as scratch:
    made = subprocess.run(["cpack", "-G", "DEB", "-B", scratch + "/out"], cwd=build, capture_output=True, text=True)
    debs = glob.glob(scratch + "/out/*.deb")
    if made.returncode != 0 or len(debs) != 1:
        print("FAIL: cpack made no package:", made.stdout, made.stderr)
        sys.exit(1)
    deb = debs[0]
    check(re.fullmatch(r"veltomail_[0-9.]+_[a-z0-9]+\.deb", os.path.basename(deb)), "package file name " + deb)
    field = lambda name: subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True, text=True).stdout.strip()
    check(field("Package") == "veltomail", "Package: " + field("Package"))
    check(field("Section") == "mail", "Section: " + field("Section"))
    depends = field("Depends")
    # Found from the libraries the program links, not written by hand.
    for library in ("libqt6widgets6", "libqt6dbus6", "libssl3", "libgmime-3.0-0", "zlib1g", "libc6"):
        check(library in depends, f"Depends lacks {library}: {depends}")

    root = scratch + "/root"
    subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    program = root + "/usr/bin/veltomail"
    check(os.access(program, os.X_OK), "no usr/bin/veltomail")
    check(glob.glob(root + "/usr/lib/*/veltomail/libvelto_web.so"), "no usr/lib/<arch>/veltomail/libvelto_web.so")
    expected = ["usr/share/applications/veltomail.desktop", "usr/share/doc/veltomail/README.md",
                "usr/share/icons/hicolor/scalable/apps/veltomail.svg",
                "usr/share/icons/hicolor/48x48/apps/veltomail.png",
                "usr/share/metainfo/org.veltomail.VeltoMail.metainfo.xml",
                "usr/share/doc/veltomail/copyright", "usr/share/doc/veltomail/changelog.gz",
                "usr/share/man/man1/veltomail.1.gz"]
    for path in expected:
        check(os.path.isfile(root + "/" + path), "missing " + path)
    # Nothing outside /usr, nothing of the build or the tests.
    for top in os.listdir(root):
        check(top == "usr", "unexpected /" + top)
    check(not glob.glob(root + "/usr/bin/test_*") and not glob.glob(root + "/usr/**/*.a", recursive=True),
          "test programs or static libraries packaged")
    # A private library folder needs no ldconfig: no maintainer scripts.
    control = scratch + "/control"
    subprocess.run(["dpkg-deb", "-e", deb, control], check=True)
    scripts = [s for s in ("preinst", "postinst", "prerm", "postrm") if os.path.exists(control + "/" + s)]
    check(not scripts, "maintainer scripts: " + " ".join(scripts))
    # Nothing of the build tree in an installed file.
    build_path = os.path.realpath(build).encode()
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            if not os.path.islink(path) and build_path in open(path, "rb").read():
                check(False, "the build folder's path in " + os.path.relpath(path, root))

    if os.access(program, os.X_OK):
        version = subprocess.run([program, "--version"], capture_output=True, text=True, env=dict(os.environ))
        check(version.returncode == 0 and version.stdout.startswith("VeltoMail 98 "),
              "the packaged program does not answer --version: " + version.stdout + version.stderr)
    manual = root + "/usr/share/man/man1/veltomail.1.gz"
    if os.path.isfile(manual):
        text = gzip.open(manual, "rt").read()
        for part in (".TH VELTOMAIL 1", "\\-\\-version", "maildata.vlt", "XDG_RUNTIME_DIR"):
            check(part in text, "the manual page does not mention " + part)
    copyright_file = root + "/usr/share/doc/veltomail/copyright"
    if os.path.isfile(copyright_file):
        text = open(copyright_file).read()
        check("License: GPL-3+" in text and "/usr/share/common-licenses/GPL-3" in text
              and "all rights reserved" not in text.lower(), "the copyright file does not grant GPL-3+")
    if shutil.which("appstreamcli"):
        result = subprocess.run(["appstreamcli", "validate", "--no-net",
                                 root + "/usr/share/metainfo/org.veltomail.VeltoMail.metainfo.xml"],
                                capture_output=True, text=True)
        check(result.returncode == 0, "appstreamcli validate: " + result.stdout + result.stderr)
    if shutil.which("lintian"):
        result = subprocess.run(["lintian", "--no-tag-display-limit", deb], capture_output=True, text=True)
        found = [line for line in result.stdout.splitlines() if line.startswith(("E:", "W:"))]
        check(not found, "lintian: " + "\n".join(found))
    else:
        print("lintian is missing: not run")

for f in failures:
    print("FAIL:", f)
print("Debian package:", "FAILED" if failures else "ok")
sys.exit(1 if failures else 0)
