#!/usr/bin/env python3
"""A desktop without a tray (Xvfb and a window manager, no tray host): with
"Start Minimized" the window stays on the task bar (iconic, not withdrawn),
it can be brought back, and its close box ends the program as Exit does.
Then a tray that appears while the program runs: the window, minimised,
goes into it; and the tray quitting: the window is back on the task bar and
stays there when minimised.
    no_tray_desktop.py PROGRAM
Exits 77 (skipped) when one of Xvfb, openbox, trayer, xdotool, xprop, xwininfo is missing."""
import os, shutil, subprocess, sys, tempfile, time

program = sys.argv[1]
if not all(shutil.which(t) for t in ("Xvfb", "openbox", "trayer", "xdotool", "xprop", "xwininfo")):
    print("skipped: needs Xvfb, openbox, trayer, xdotool, xprop and xwininfo")
    sys.exit(77)


from desktop_kit import Desktop, until


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, env=env).stdout


def main_window(prog):
    found = until(lambda: run("xdotool", "search", "--pid", str(prog.pid), "--name", "VeltoMail 98").split())
    return found[0] if found else None


def ended(prog, failure):
    try:
        status = prog.wait(15)
        if status != 0:
            failures.append(f"ended with status {status}")
    except subprocess.TimeoutExpired:
        failures.append(failure)


failures = []


with tempfile.TemporaryDirectory() as home:
    env = {k: v for k, v in os.environ.items() if k not in ("QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS")}
    env.update(HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data",
               XDG_STATE_HOME=home + "/state", XDG_RUNTIME_DIR=home)
    os.makedirs(home + "/config/VeltoMail")
    program_log = open(home + "/program.log", "w")
    key = "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\"
    with open(home + "/config/VeltoMail/registry.reg", "w", newline="") as f:
        f.write("REGEDIT4\r\n\r\n" + key + "Environment]\r\n\"Start Minimized\"=dword:00000001\r\n\r\n" + key +
                "Accounts\\Off]\r\n\"Account Name\"=\"Off\"\r\n\"Server Name\"=\"pop.off.example\"\r\n"
                "\"Disabled\"=dword:00000001\r\n")

    desktop = Desktop(env)
    try:
        prog = desktop.start([program], program_log)
        window = main_window(prog)
        if not window:
            failures.append("no main window")
        else:
            state = lambda: run("xprop", "-id", window, "WM_STATE")
            if not until(lambda: "Iconic" in state()):
                failures.append("not minimised on the task bar: " + state())
            # Brought back as from the task bar, then closed with its close box.
            run("xdotool", "windowactivate", "--sync", window)
            if not until(lambda: "Normal" in state(), 10):
                failures.append("not shown again: " + state())
            run("xdotool", "key", "--window", window, "alt+F4")
            ended(prog, "the close box did not end the program (no tray to live in)")
    finally:
        desktop.close()

    # A tray comes up later (a panel starts, an extension is enabled).
    desktop = Desktop(env)
    try:
        prog = desktop.start([program], program_log)
        window = main_window(prog)
        if window:
            state = lambda: run("xprop", "-id", window, "WM_STATE")
            until(lambda: "Iconic" in state())
            trayer = desktop.start(["trayer", "--edge", "bottom", "--align", "right"])

            # Once the program has seen the tray, a minimised window lives
            # in it: withdrawn, no longer on the task bar.
            def hidden():
                run("xdotool", "windowactivate", "--sync", window)
                run("xdotool", "windowminimize", window)
                time.sleep(0.5)
                return prog.poll() is None and "Normal" not in state() and "Iconic" not in state()
            if not until(hidden, 15):
                failures.append("with a tray that came later, a minimised window is not hidden into it: " + state())

            # The tray host quits: the window hidden in it comes back to the
            # task bar, and minimising from then on keeps it there.
            trayer.kill()
            trayer.wait()
            if not until(lambda: "Iconic" in state(), 10):
                failures.append("the tray went, the window hidden in it did not come back: " + state())
            run("xdotool", "windowactivate", "--sync", window)
            until(lambda: "Normal" in state(), 10)
            run("xdotool", "windowminimize", window)
            time.sleep(1)
            if "Iconic" not in state():
                failures.append("minimised after the tray went, the window left the task bar: " + state())
            prog.terminate()
            ended(prog, "no end on SIGTERM")
    finally:
        desktop.close()

    if failures:
        print(open(home + "/program.log").read())
for f in failures:
    print("FAIL:", f)
print("no tray: minimised on the task bar, the close box ends; a later tray takes the window, a tray that quits gives it back: "
      + ("FAILED" if failures else "ok"))
sys.exit(1 if failures else 0)
