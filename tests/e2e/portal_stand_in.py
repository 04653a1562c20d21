#!/usr/bin/python3
"""A stand-in for the desktop's settings portal on a private session bus.

Owns org.freedesktop.portal.Desktop and answers org.freedesktop.portal.Settings
Read and ReadAll for the colour scheme. Each line on standard input ("dark",
"light" or "none") changes the scheme and sends SettingChanged; each change is
acknowledged on standard output once sent. Prints "ready" when it owns its name
and "read" on each Read.
Needs Debian's python3-dbus and python3-gi.
"""

import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
SETTINGS = "org.freedesktop.portal.Settings"
APPEARANCE = "org.freedesktop.appearance"
SCHEMES = {"none": 0, "dark": 1, "light": 2}


class Settings(dbus.service.Object):
    def __init__(self, bus, scheme):
        super().__init__(bus, PATH)
        self.scheme = scheme

    def value(self):
        return dbus.UInt32(self.scheme)

    @dbus.service.method(SETTINGS, in_signature="ss", out_signature="v")
    def Read(self, namespace, key):
        if (namespace, key) != (APPEARANCE, "color-scheme"):
            raise dbus.exceptions.DBusException("Requested setting not found",
                                                name="org.freedesktop.portal.Error.NotFound")
        print("read", flush=True)
        # The portal wraps the value in a second variant.
        return dbus.UInt32(self.scheme, variant_level=1)

    @dbus.service.method(SETTINGS, in_signature="as", out_signature="a{sa{sv}}")
    def ReadAll(self, namespaces):
        return {APPEARANCE: {"color-scheme": self.value()}}

    @dbus.service.signal(SETTINGS, signature="ssv")
    def SettingChanged(self, namespace, key, value):
        pass


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    settings = Settings(bus, SCHEMES[sys.argv[1] if len(sys.argv) > 1 else "light"])
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    loop = GLib.MainLoop()

    def command(source, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        settings.scheme = SCHEMES[line.strip()]
        settings.SettingChanged(APPEARANCE, "color-scheme", settings.value())
        print("sent", line.strip(), flush=True)
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
    print("ready", flush=True)
    loop.run()
    del name


if __name__ == "__main__":
    main()
