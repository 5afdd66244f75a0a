#!/usr/bin/env python3
"""The program native on a Wayland compositor (sway's headless backend, no
X server anywhere): it starts, checks its mailbox at start-up, comes to the
front when a second start hands over a launcher's activation token (and
stays behind without one) and when the "Show" of its notice comes with the
notification service's token, and ends on SIGTERM with status 0.
    wayland_desktop.py PROGRAM ACTIVATION_TOKEN_TOOL
Exits 77 (skipped) when sway or Qt's Wayland plugin is missing. sway will
not run as root: as root it runs as nobody, and the program reaches it."""
import glob, json, os, pwd, shutil, subprocess, sys, tempfile, time

from desktop_kit import Pop3StandIn, end_on_sigterm, until

program, token_tool = sys.argv[1], sys.argv[2]
if not shutil.which("sway") or not any(
        os.path.exists(p + "/libqwayland-generic.so") for p in
        ("/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms", "/usr/lib/aarch64-linux-gnu/qt6/plugins/platforms")):
    print("skipped: needs sway and qt6-wayland")
    sys.exit(77)

pop = Pop3StandIn()  # notes who signs in
failures = []
with tempfile.TemporaryDirectory() as home:
    runtime = home + "/run"
    os.makedirs(runtime, mode=0o700)
    compositor_env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=runtime, WLR_BACKENDS="headless",
                          WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
    compositor_env.pop("DISPLAY", None)
    with open(home + "/sway.conf", "w") as f:
        f.write("output HEADLESS-1 resolution 1280x800\nfocus_on_window_activation focus\n")
    argv = ["sway", "-c", home + "/sway.conf"]
    if os.geteuid() == 0:
        nobody = pwd.getpwnam("nobody")
        os.chmod(home, 0o755)
        os.chmod(home + "/sway.conf", 0o644)
        os.chown(runtime, nobody.pw_uid, nobody.pw_gid)
        argv = ["runuser", "-u", "nobody", "--", "env", f"HOME={home}", f"XDG_RUNTIME_DIR={runtime}"] + argv
    service = bus = None
    sway = subprocess.Popen(argv, env=compositor_env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not until(lambda: os.path.exists(runtime + "/wayland-1") or sway.poll() is not None, 10) \
                or sway.poll() is not None:
            print("skipped: sway did not start")
            sys.exit(77)
        os.makedirs(home + "/config/VeltoMail")
        key = "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\"
        with open(home + "/config/VeltoMail/registry.reg", "w", newline="") as f:
            f.write("REGEDIT4\r\n\r\n" + key + "Configuration]\r\n\"Startup Scan\"=dword:00000001\r\n\r\n" + key +
                    "Accounts\\Ann]\r\n\"Account Name\"=\"Ann\"\r\n\"Server Name\"=\"127.0.0.1\"\r\n"
                    "\"User Name\"=\"ann\"\r\n\"User Password\"=\"pw\"\r\n\r\n" + key + "Accounts\\Bob]\r\n"
                    "\"Account Name\"=\"Bob\"\r\n\"Server Name\"=\"127.0.0.2\"\r\n")  # refused: a notice
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
        # A bus of its own with a notification service that notes its calls.
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        notices = home + "/notices.log"
        service = subprocess.Popen(["/usr/bin/python3", "-m", "dbusmock", "--session", "--template",
                                    "notification_daemon", "-l", notices], env=env, stdout=subprocess.DEVNULL)
        env.update(HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data",
                   XDG_STATE_HOME=home + "/state", XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="wayland-1",
                   QT_QPA_PLATFORM="wayland", VELTOMAIL_POP3_PORT=str(pop.port))
        log = open(home + "/program.log", "w+")
        prog = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=log)
        if not until(lambda: any(l.startswith(b"QUIT") for l in pop.lines) or prog.poll() is not None, 30):
            failures.append("no check at start-up within 30 s")

        def swaymsg(*args):
            socks = glob.glob(runtime + "/sway-ipc.*.sock")
            return subprocess.run(["swaymsg", "-s", socks[0], "-r"] + list(args), capture_output=True,
                                  text=True).stdout if socks else "{}"

        def focused_pid():
            nodes = [json.loads(swaymsg("-t", "get_tree"))]
            while nodes:
                node = nodes.pop()
                if node.get("focused") and node.get("pid"):
                    return node["pid"]
                nodes += node.get("nodes", []) + node.get("floating_nodes", [])
            return None

        # Another program's window takes the focus (a copy on settings of
        # its own); then a second start of ours, with or without a token.
        other_home = home + "/other"
        other_env = dict(env, XDG_CONFIG_HOME=other_home + "/config", XDG_DATA_HOME=other_home + "/data",
                         XDG_STATE_HOME=other_home + "/state")
        other = subprocess.Popen([program], env=other_env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not until(lambda: focused_pid() == other.pid, 20):
            failures.append("the other program's window never took the focus")
        for row, with_token in (("without a token", False), ("with a launcher's token", True)):
            second_env = dict(env)
            if with_token:
                second_env["XDG_ACTIVATION_TOKEN"] = subprocess.run(
                    [token_tool], env=env, capture_output=True, text=True, check=True).stdout.strip()
            second = subprocess.run([program], env=second_env, capture_output=True, timeout=10)
            if second.returncode != 0:
                failures.append(f"second start {row}: status {second.returncode}")
            raised = until(lambda: focused_pid() == prog.pid, 5 if with_token else 2)
            print(f"second start {row}: {'in front' if raised else 'left behind'}")
            if bool(raised) != with_token:
                failures.append(f"second start {row}: " + ("raised" if raised else "not raised"))
        # The failed check's notice: "Show", just after the service's token.
        swaymsg("[pid=%d] focus" % other.pid)
        until(lambda: focused_pid() == other.pid, 5)
        shown = until(lambda: os.path.exists(notices) and " Notify " in open(notices).read(), 10)
        mock = ["gdbus", "call", "--session", "-d", "org.freedesktop.Notifications", "-o",
                "/org/freedesktop/Notifications", "-m", "org.freedesktop.DBus.Mock.EmitSignal",
                "org.freedesktop.Notifications"]
        token = subprocess.run([token_tool], env=env, capture_output=True, text=True).stdout.strip()
        subprocess.run(mock + ["ActivationToken", "us", f"[<uint32 1>, <'{token}'>]"], env=env)
        subprocess.run(mock + ["ActionInvoked", "us", "[<uint32 1>, <'show'>]"], env=env)
        raised = shown and until(lambda: focused_pid() == prog.pid, 5)
        print("the notice's Show with a token: " + ("in front" if raised else "left behind"))
        if not raised:
            failures.append("the notice's Show did not raise the window" + ("" if shown else ": no notice"))
        other.terminate()
        other.wait(10)

        end_on_sigterm(prog, failures)
        log.seek(0)
        text = log.read()
        if b"USER ann\r\n" not in pop.lines:
            failures.append("the server saw no sign-in: " + repr(pop.lines))
        if "xcb" in text or "Could not load the Qt platform plugin" in text:
            failures.append("not native Wayland: " + text)
        if failures:
            print(text)
    finally:
        for helper in (service, bus):
            if helper:
                helper.kill()
                helper.wait()
        sway.terminate()
        try:
            sway.wait(5)
        except subprocess.TimeoutExpired:
            sway.kill()
        pop.close()
for f in failures:
    print("FAIL:", f)
print("Wayland: started natively, checked, ended on SIGTERM: " + ("FAILED" if failures else "ok"))
sys.exit(1 if failures else 0)
