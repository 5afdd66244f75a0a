#!/usr/bin/python3
"""A keyring that never answers: takes the Secret Service's name on the
session bus and swallows every call made to it, as a keyring does that waits
for an unlock prompt nobody sees. Prints "ready" once the name is taken;
ends when its standard input closes."""
import sys

import dbus
import dbus.lowlevel
import dbus.mainloop.glib
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
bus.request_name("org.freedesktop.secrets")
held = []  # kept, so that no error reply goes out either


def swallow(_connection, message):
    if message.get_type() == dbus.lowlevel.MESSAGE_TYPE_METHOD_CALL and \
            message.get_destination() in ("org.freedesktop.secrets", bus.get_unique_name()):
        held.append(message)
        return dbus.lowlevel.HANDLER_RESULT_HANDLED
    return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED


bus.add_message_filter(swallow)
print("ready", flush=True)
loop = GLib.MainLoop()
GLib.io_add_watch(sys.stdin, GLib.IO_HUP | GLib.IO_IN, lambda *_: loop.quit())
loop.run()
