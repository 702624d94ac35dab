#!/usr/bin/python3
"""Listens on the AT-SPI bus the way a screen reader does, for one program.

Prints one line per finding, flushed at once:
  READY                      the registry answers
  APP                        the program is on the bus
  KEY <name>|<description>   one per push button, in the order of the tree,
                             printed after APP and for every "dump" line read
                             on standard input
  EVENT <type>|<role>|<name>|<description>|<detail1>
                             every event of the kinds a screen reader
                             speaks from, coming from the program
  REGISTRY <pid>             the registry daemon's process, which the bus
                             started and the caller must stop
"""
import sys

import pyatspi
from gi.repository import GLib

program = sys.argv[1]
app = None


def say(*words):
    print(*words, flush=True)


def text(value):
    return (value or "").replace("|", "/").replace("\n", " ")


def find_program():
    for candidate in pyatspi.Registry.getDesktop(0):
        if candidate is not None and candidate.name == program:
            return candidate
    return None


def buttons(node, depth=0):
    if node is None or depth > 8:
        return
    for child in node:
        if child is None:
            continue
        if child.getRole() == pyatspi.ROLE_PUSH_BUTTON:
            yield child
        yield from buttons(child, depth + 1)


def dump():
    for button in buttons(app):
        say("KEY", text(button.name) + "|" + text(button.description))


def on_event(event):
    try:
        source = event.source
        if source.getApplication().name != program:
            return
        say("EVENT", "|".join([event.type, source.getRoleName(), text(source.name),
                               text(source.description), str(event.detail1)]))
    except Exception as error:  # an object gone between event and question
        say("EVENT", event.type + "|?|" + text(str(error)) + "||")


def poll():
    global app
    if app is None:
        app = find_program()
        if app is not None:
            say("APP")
            dump()
    return True


def command(source, condition):
    line = sys.stdin.readline()
    if not line:
        pyatspi.Registry.stop()
        return False
    if line.strip() == "dump" and app is not None:
        dump()
    return True


def registry_pid():
    from gi.repository import Gio
    address = Gio.DBusProxy.new_for_bus_sync(
        Gio.BusType.SESSION, Gio.DBusProxyFlags.NONE, None, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
        None).call_sync("GetAddress", None, Gio.DBusCallFlags.NONE, -1, None).unpack()[0]
    bus = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
        None, None)
    reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "GetConnectionUnixProcessID", GLib.Variant("(s)", ("org.a11y.atspi.Registry",)),
                          None, Gio.DBusCallFlags.NONE, -1, None)
    return reply.unpack()[0]


pyatspi.Registry.getDesktop(0).childCount  # starts the registry if it is not running
say("READY")
say("REGISTRY", registry_pid())
pyatspi.Registry.registerEventListener(
    on_event, "object:property-change:accessible-name", "object:property-change:accessible-description",
    "object:state-changed:checked", "object:state-changed:showing", "object:state-changed:focused")
GLib.timeout_add(200, poll)
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
pyatspi.Registry.start()
