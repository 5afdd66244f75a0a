#!/usr/bin/python3
"""A GNOME Online Accounts stand-in on a private session bus, for the tests.

Usage: fake_online_accounts.py
Offers three accounts: Google "ann@gmail.example" with mail on, Google
"off@gmail.example" with mail disabled, each handing out the token
"goa-token-N" (N counts the calls), and Google "slow@gmail.example", whose
token never comes. Prints "ready" once its name is taken;
ends when its standard input closes.
"""
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
ROOT = "/org/gnome/OnlineAccounts"
ACCOUNT = "org.gnome.OnlineAccounts.Account"
OAUTH2 = "org.gnome.OnlineAccounts.OAuth2Based"
calls = [0]


class Account(dbus.service.Object):
    def __init__(self, index, identity, mail_disabled):
        self.path = "%s/Accounts/account_%d" % (ROOT, index)
        super().__init__(bus, self.path)
        self.props = {"ProviderType": "google", "Identity": identity, "PresentationIdentity": identity,
                      "MailDisabled": dbus.Boolean(mail_disabled)}

    @dbus.service.method(ACCOUNT, out_signature="i")
    def EnsureCredentials(self):
        return 3600

    @dbus.service.method(OAUTH2, out_signature="si", async_callbacks=("answer", "fail"))
    def GetAccessToken(self, answer, fail):
        if self.props["Identity"].startswith("slow@"):
            return
        calls[0] += 1
        answer("goa-token-%d" % calls[0], 3600)


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.DBus.ObjectManager", out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        return {a.path: {ACCOUNT: a.props, OAUTH2: {}} for a in accounts}


name = dbus.service.BusName("org.gnome.OnlineAccounts", bus)
accounts = [Account(1, "ann@gmail.example", False), Account(2, "off@gmail.example", True),
            Account(3, "slow@gmail.example", False)]
manager = Manager(bus, ROOT)
loop = GLib.MainLoop()
GLib.io_add_watch(sys.stdin, GLib.IO_HUP | GLib.IO_IN, lambda *a: loop.quit())
print("ready", flush=True)
loop.run()
