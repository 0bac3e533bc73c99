#!/usr/bin/python3
"""Stands in on the session bus for what a Wayland desktop's shell offers and the X11 programs of the other runs
cannot: a StatusNotifierItem host (org.kde.StatusNotifierWatcher, a host always registered) and a notification
service (org.freedesktop.Notifications). Each item registered and each notification shown is written to the log as
one line, "item <service>" or "notify <summary>|<body>".   busrecorder.py <log>"""
import sys
from gi.repository import Gio, GLib

WATCHER = """<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
</interface></node>"""
NOTIFICATIONS = """<node><interface name="org.freedesktop.Notifications">
  <method name="Notify"><arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
    <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/></method>
  <method name="CloseNotification"><arg type="u" direction="in"/></method>
  <method name="GetCapabilities"><arg type="as" direction="out"/></method>
  <method name="GetServerInformation"><arg type="s" direction="out"/><arg type="s" direction="out"/>
    <arg type="s" direction="out"/><arg type="s" direction="out"/></method>
</interface></node>"""

log = open(sys.argv[1], "a", buffering=1)
items = []


def call(conn, sender, path, interface, method, args, invocation):
    if method == "RegisterStatusNotifierItem":
        # An item names its service, or only its path (then the sender is the service).
        name = args[0] if not args[0].startswith("/") else sender
        items.append(name)
        log.write("item %s\n" % name)
        conn.emit_signal(None, path, interface, "StatusNotifierItemRegistered", GLib.Variant("(s)", (name,)))
        invocation.return_value(None)
    elif method == "Notify":
        log.write("notify %s|%s\n" % (args[3], args[4]))
        invocation.return_value(GLib.Variant("(u)", (len(items) + 1,)))
    elif method == "GetCapabilities":
        invocation.return_value(GLib.Variant("(as)", (["body"],)))
    elif method == "GetServerInformation":
        invocation.return_value(GLib.Variant("(ssss)", ("busrecorder", "velmora", "1", "1.2")))
    else:
        invocation.return_value(None)


def prop(conn, sender, path, interface, name):
    return {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
            "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
            "ProtocolVersion": GLib.Variant("i", 0)}[name]


bus = Gio.bus_get_sync(Gio.BusType.SESSION)
for xml, path, name in ((WATCHER, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher"),
                        (NOTIFICATIONS, "/org/freedesktop/Notifications", "org.freedesktop.Notifications")):
    bus.register_object(path, Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0], call, prop, None)
    Gio.bus_own_name_on_connection(bus, name, Gio.BusNameOwnerFlags.NONE, None, None)
log.write("ready\n")
GLib.MainLoop().run()
