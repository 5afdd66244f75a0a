"""What the desktop tests share: waiting for a condition, and a desktop of
their own (Xvfb on a display it picks, with openbox)."""
import subprocess
import random
import sys
import time

TOOLS = ("Xvfb", "openbox", "xdotool", "xprop", "xwininfo")


def until(what, limit=20.0):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        value = what()
        if value:
            return value
        time.sleep(0.1)
    return None


def end_on_sigterm(prog, failures, limit=10):
    """SIGTERM, then status 0 within limit seconds; what went wrong goes to failures."""
    if prog.poll() is not None:
        failures.append(f"ended by itself with status {prog.returncode}")
        return
    started = time.monotonic()
    prog.terminate()
    try:
        status = prog.wait(limit)
        print(f"ended {time.monotonic() - started:.1f} s after SIGTERM, status {status}")
        if status != 0:
            failures.append(f"ended with status {status}")
    except subprocess.TimeoutExpired:
        prog.kill()
        failures.append(f"no end within {limit} s of SIGTERM")


class Desktop:
    """Xvfb on a display it picks itself, with openbox; a fresh one for each
    part, so that nothing of one part (a key still held) reaches the next.
    env gets the display; it is also the programs' environment."""

    def __init__(self, env):
        self.env = env
        # A display number far from the usual ones; other sessions on this
        # machine may share the socket namespace, so the server reached must
        # be this one (its odd size tells) or another number is tried.
        self.procs = []
        for _ in range(8):
            number = random.randrange(400, 1400)
            xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1016x696x24", "-nolisten", "tcp"],
                                    stderr=subprocess.DEVNULL)
            env["DISPLAY"] = f":{number}"
            ours = lambda: "geometry 1016x696" in self.run("xwininfo", "-root")
            if until(lambda: xvfb.poll() is not None or ours(), 10) and xvfb.poll() is None and ours():
                self.procs.append(xvfb)
                break
            xvfb.kill()
            xvfb.wait()
        managed = lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK")
        for _ in range(3):
            wm = self.start(["openbox"], open(env["HOME"] + "/openbox.log", "a"))
            if until(lambda: managed() or wm.poll() is not None, 10) and managed():
                return
        print("skipped: the window manager does not start:", open(env["HOME"] + "/openbox.log").read())
        self.close()
        sys.exit(77)

    def run(self, *args):
        return subprocess.run(args, capture_output=True, text=True, env=self.env).stdout

    def start(self, argv, log=subprocess.DEVNULL, stdin=None):
        self.procs.append(subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL, stderr=log, stdin=stdin))
        return self.procs[-1]

    def windows(self, prog, name):
        return self.run("xdotool", "search", "--onlyvisible", "--pid", str(prog.pid), "--name", name).split()

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.kill()
            p.wait()


class Pop3StandIn:
    """A POP3 server on loopback that answers +OK to everything and keeps
    each line it is sent (lines), for a test to see who signed in."""

    def __init__(self):
        import socket
        import threading
        self.lines = []
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen()
        self.port = self.server.getsockname()[1]
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                conn, _ = self.server.accept()
            except OSError:
                return
            conn.sendall(b"+OK ready\r\n")
            conn.settimeout(30)
            try:
                for line in conn.makefile("rb"):
                    self.lines.append(line)
                    conn.sendall(b"+OK bye\r\n" if line.startswith(b"QUIT") else b"+OK 0 0\r\n")
                    if line.startswith(b"QUIT"):
                        break
            except OSError:
                pass
            conn.close()

    def close(self):
        self.server.close()
