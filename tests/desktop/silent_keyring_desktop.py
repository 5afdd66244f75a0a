#!/usr/bin/env python3
"""A keyring that never answers, with the real program on a desktop of its
own: the window answers at once, Mail Properties chosen twice quickly opens
one sheet, Get Mail waits for the keyring without the window waiting, and
SIGTERM ends the program at once, no password sent.
    silent_keyring_desktop.py PROGRAM
Exits 77 (skipped) when Xvfb, openbox, xdotool, xprop, xwininfo or
dbus-daemon is missing."""
import os, shutil, subprocess, sys, tempfile, time

from desktop_kit import TOOLS, Desktop, Pop3StandIn, end_on_sigterm, until

program = sys.argv[1]
if not all(shutil.which(t) for t in TOOLS + ("dbus-daemon",)):
    print("skipped: needs " + ", ".join(TOOLS) + " and dbus-daemon")
    sys.exit(77)
here = os.path.dirname(os.path.abspath(__file__))
failures = []

# A POP3 server that records what it is sent: no password may reach it.
pop = Pop3StandIn()

with tempfile.TemporaryDirectory() as home:
    env = {k: v for k, v in os.environ.items() if k not in ("QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS")}
    env.update(HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data",
               XDG_STATE_HOME=home + "/state", XDG_RUNTIME_DIR=home,
               VELTOMAIL_POP3_PORT=str(pop.port))
    # A bus of its own that starts no services: nothing it would start may
    # outlive the test holding its output open.
    with open(home + "/bus.conf", "w") as f:
        f.write("<busconfig><type>session</type><listen>unix:dir=" + home + "</listen>"
                "<auth>EXTERNAL</auth><policy context='default'><allow send_destination='*' eavesdrop='true'/>"
                "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>")
    bus = subprocess.Popen(["dbus-daemon", "--config-file=" + home + "/bus.conf", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
    keyring = subprocess.Popen(["/usr/bin/python3", here + "/../support/silent_secrets.py"], env=env,
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if keyring.stdout.readline().strip() != "ready":
        print("skipped: the silent keyring did not start (python3-dbus)")
        sys.exit(77)
    os.makedirs(home + "/config/VeltoMail")
    key = "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\"
    with open(home + "/config/VeltoMail/registry.reg", "w", newline="") as f:
        f.write("REGEDIT4\r\n\r\n" + key + "Accounts\\Ann]\r\n\"Account Name\"=\"Ann\"\r\n"
                "\"Server Name\"=\"127.0.0.1\"\r\n\"User Name\"=\"ann\"\r\n\"User Password\"=\"\"\r\n"
                "\"Password In Keyring\"=dword:00000001\r\n")
    program_log = open(home + "/program.log", "w")
    desktop = Desktop(env)
    run = desktop.run
    try:
        prog = desktop.start([program], program_log)
        main = until(lambda: desktop.windows(prog, "VeltoMail 98"))
        if not main:
            failures.append("no main window")
        else:
            window = main[0]
            run("xdotool", "windowactivate", "--sync", window)
            # Mail > Mail Properties, twice in a row.
            started = time.monotonic()
            for _ in range(2):
                run("xdotool", "key", "--window", window, "alt+m", "Up", "Return")
            sheets = until(lambda: desktop.windows(prog, "Velto Mail Options"), 8)
            if not sheets:
                failures.append("no options sheet within 8 s of Mail Properties")
            else:
                opened = time.monotonic() - started
                # A second sheet would stay; a window the window manager is
                # still mapping would not.
                counts = []
                for _ in range(3):
                    time.sleep(0.5)
                    counts.append(len(desktop.windows(prog, "Velto Mail Options")))
                if min(counts) != 1:
                    failures.append(f"more than one options sheet: {counts}")
                print(f"the options sheet opened in {opened:.1f} s with the keyring silent")
                run("xdotool", "key", "--window", sheets[0], "Escape")
                until(lambda: not desktop.windows(prog, "Velto Mail Options"), 5)
            # Get Mail: the check waits for the keyring; the window does not.
            run("xdotool", "windowactivate", "--sync", window)
            run("xdotool", "key", "--window", window, "alt+m", "Return")
            time.sleep(1)
            started = time.monotonic()
            run("xdotool", "key", "--window", window, "alt+h", "Up", "Return")
            about = until(lambda: desktop.windows(prog, "About Velto Mail"), 8)
            if not about:
                failures.append("Help > About did not open while the check waits for the keyring")
            else:
                print(f"About opened in {time.monotonic() - started:.1f} s while the check waited")
        end_on_sigterm(prog, failures, 8)
        if any(b"PASS" in line for line in pop.lines):
            failures.append("a password was sent: " + repr(pop.lines))
    finally:
        desktop.close()
        keyring.stdin.close()
        keyring.wait()
        bus.kill()
        bus.wait()
        pop.close()
    if failures:
        print(open(home + "/program.log").read())
for f in failures:
    print("FAIL:", f)
print("silent keyring: the window answers, one sheet, the end at once: " + ("FAILED" if failures else "ok"))
sys.exit(1 if failures else 0)
