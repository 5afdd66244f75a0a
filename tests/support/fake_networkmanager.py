#!/usr/bin/python3
"""A NetworkManager stand-in on a private D-Bus bus, for the tests.

Usage: fake_networkmanager.py BUS_ADDRESS PROFILES ACTIVE OUTCOME
  PROFILES, ACTIVE: comma-separated connection ids (profiles; already active),
    each with ":TYPE" when not a VPN profile / a wired connection
  OUTCOME: "ok" (activation succeeds), "fail:REASON" (it fails with that reason),
    "stall:STATE" (a VPN reaches that VPN state, any other connection's device that
    device state, and there it stays), "late:MS" (the activation is answered MS
    milliseconds late, then succeeds) or "silent" (no property and no listing is
    ever answered, as by a NetworkManager that hangs)
Prints "ready" once its name is on the bus; ends when its standard input closes.
The object test.Control at / has SetState(u) to change the global state,
AddProfile(s) and AddActive(s) (an id with ":TYPE", as above) to change the
lists as another program would; each change is signalled as NetworkManager does.
"""
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
address, profile_ids, active_ids, outcome = sys.argv[1:5]
bus = dbus.bus.BusConnection(address)
name = dbus.service.BusName("org.freedesktop.NetworkManager", bus)
PROPS = "org.freedesktop.DBus.Properties"
ACTIVE = "org.freedesktop.NetworkManager.Connection.Active"
NM = "org.freedesktop.NetworkManager"
BASE = "/org/freedesktop/NetworkManager"


class Props(dbus.service.Object):
    def __init__(self, path):
        super().__init__(bus, path)
        self.path = path
        self.props = {}

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v", async_callbacks=("reply", "error"))
    def Get(self, iface, prop, reply, error):
        if outcome != "silent":
            reply(self.props[prop])

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}", async_callbacks=("reply", "error"))
    def GetAll(self, iface, reply, error):
        if outcome != "silent":
            reply(self.props)

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, iface, changed, invalidated):
        pass

    def changed(self, iface, *names):
        self.PropertiesChanged(iface, dbus.Dictionary({n: self.props[n] for n in names}, signature="sv"),
                               dbus.Array([], signature="s"))


class Profile(dbus.service.Object):
    def __init__(self, index, ident):
        self.path = "%s/Settings/%d" % (BASE, index)
        super().__init__(bus, self.path)
        self.ident, _, kind = ident.partition(":")
        self.kind = kind or "vpn"

    @dbus.service.method("org.freedesktop.NetworkManager.Settings.Connection", out_signature="a{sa{sv}}")
    def GetSettings(self):
        return {"connection": {"id": dbus.String(self.ident), "type": dbus.String(self.kind)}}


class Settings(dbus.service.Object):
    @dbus.service.method("org.freedesktop.NetworkManager.Settings", out_signature="ao",
                         async_callbacks=("reply", "error"))
    def ListConnections(self, reply, error):
        if outcome != "silent":
            reply(dbus.Array([p.path for p in profiles], signature="o"))

    @dbus.service.signal("org.freedesktop.NetworkManager.Settings", signature="o")
    def NewConnection(self, path):
        pass


class Device(dbus.service.Object):
    count = 0

    def __init__(self):
        Device.count += 1
        self.path = "%s/Devices/%d" % (BASE, Device.count)
        super().__init__(bus, self.path)

    @dbus.service.signal("org.freedesktop.NetworkManager.Device", signature="uuu")
    def StateChanged(self, new, old, reason):
        pass


class Active(Props):
    count = 0

    def __init__(self, ident, profile_path, state, kind):
        Active.count += 1
        super().__init__("%s/ActiveConnection/%d" % (BASE, Active.count))
        self.device = Device()
        self.props = {"Id": dbus.String(ident), "State": dbus.UInt32(state), "Type": dbus.String(kind),
                      "Connection": dbus.ObjectPath(profile_path),
                      "Devices": dbus.Array([self.device.path], signature="o")}
        self.kind = kind

    def change(self, state, reason):
        self.props["State"] = dbus.UInt32(state)
        self.StateChanged(dbus.UInt32(state), dbus.UInt32(reason))

    @dbus.service.signal(ACTIVE, signature="uu")
    def StateChanged(self, state, reason):
        pass

    @dbus.service.signal("org.freedesktop.NetworkManager.VPN.Connection", signature="uu")
    def VpnStateChanged(self, state, reason):
        pass


class Manager(Props):
    def __init__(self):
        super().__init__(BASE)
        self.active = []
        self.props = {"State": dbus.UInt32(70)}
        self.publish()

    def publish(self):
        self.props["ActiveConnections"] = dbus.Array([a.path for a in self.active], signature="o")
        self.changed(NM, "ActiveConnections")

    @dbus.service.method(NM, in_signature="ooo", out_signature="o", async_callbacks=("reply", "error"))
    def ActivateConnection(self, connection, device, specific, reply, error):
        profile = next(p for p in profiles if p.path == connection)
        active = Active(profile.ident, profile.path, 1, profile.kind)
        self.active.append(active)
        self.publish()

        def settle():
            if active not in self.active:
                return False  # taken down meanwhile
            if outcome == "ok" or outcome.startswith("late:"):
                active.change(2, 0)
            elif outcome.startswith("stall:"):
                state = int(outcome.split(":")[1])
                if active.kind == "vpn":
                    active.VpnStateChanged(dbus.UInt32(state), dbus.UInt32(0))
                else:
                    active.device.StateChanged(dbus.UInt32(state), dbus.UInt32(30), dbus.UInt32(0))
            else:
                self.active.remove(active)
                self.publish()
                active.change(4, int(outcome.split(":")[1]))
            return False

        if outcome.startswith("late:"):
            # Answered late, and up only after that.
            def answer():
                reply(active.path)
                GLib.timeout_add(50, settle)
                return False
            GLib.timeout_add(int(outcome.split(":")[1]), answer)
            return
        GLib.timeout_add(50, settle)
        reply(active.path)

    @dbus.service.method("org.freedesktop.NetworkManager", in_signature="o")
    def DeactivateConnection(self, path):
        for a in list(self.active):
            if a.path == path:
                self.active.remove(a)
                a.change(4, 2)
        self.publish()

    @dbus.service.signal("org.freedesktop.NetworkManager", signature="u")
    def StateChanged(self, state):
        pass


class Control(dbus.service.Object):
    @dbus.service.method("test.Control", in_signature="u")
    def SetState(self, state):
        manager.props["State"] = dbus.UInt32(state)
        manager.StateChanged(dbus.UInt32(state))
        manager.changed(NM, "State")

    @dbus.service.method("test.Control", in_signature="s")
    def AddProfile(self, ident):
        profiles.append(Profile(len(profiles), ident))
        settings.NewConnection(dbus.ObjectPath(profiles[-1].path))

    @dbus.service.method("test.Control", in_signature="s")
    def AddActive(self, ident):
        ident, _, kind = ident.partition(":")
        manager.active.append(Active(ident, "/", 2, kind or "802-3-ethernet"))
        manager.publish()


profiles = [Profile(i, ident) for i, ident in enumerate(p for p in profile_ids.split(",") if p)]
settings = Settings(bus, BASE + "/Settings")
manager = Manager()
for ident in (a for a in active_ids.split(",") if a):
    ident, _, kind = ident.partition(":")
    manager.active.append(Active(ident, "/", 2, kind or "802-3-ethernet"))
manager.publish()
control = Control(bus, "/")

loop = GLib.MainLoop()
GLib.io_add_watch(sys.stdin, GLib.IO_HUP | GLib.IO_IN, lambda *a: loop.quit())
print("ready", flush=True)
loop.run()
