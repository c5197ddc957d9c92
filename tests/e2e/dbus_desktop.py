#!/usr/bin/python3
"""Stand-ins for what a Wayland desktop offers on the session bus: a
StatusNotifierWatcher with a host (the panel of KDE, or waybar on sway) and
the desktop portal's GlobalShortcuts. Driven over standard input, one
command a line, each answered with one JSON line:
  items                the registered tray items, with their menus
  activate ITEM X Y    clicks an item (StatusNotifierItem.Activate)
  shortcuts            what programs bound through the portal
  press ID             the user pressed a bound shortcut
Runs with Debian's python3 (python3-dbus, python3-gi)."""

import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
PORTAL = "org.freedesktop.portal.Desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
PROPS = "org.freedesktop.DBus.Properties"
INTROSPECTION = """<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
  </interface>
</node>"""


def plain(value):
    """dbus-python values as JSON-able Python values."""
    if isinstance(value, (dbus.Array, list, dbus.Struct, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.String, dbus.ObjectPath)):
        return str(value)
    if isinstance(value, (dbus.Int32, dbus.UInt32, dbus.Int64, dbus.UInt64, dbus.Byte, dbus.Int16, dbus.UInt16)):
        return int(value)
    return value


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        self.items = []
        self.name = dbus.service.BusName(WATCHER, bus)
        super().__init__(self.name, "/StatusNotifierWatcher")

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # A bus name (the item at /StatusNotifierItem) or an object path of the sender.
        item = (str(sender), str(service)) if service.startswith("/") else (str(service), "/StatusNotifierItem")
        if item not in self.items:
            self.items.append(item)
            self.StatusNotifierItemRegistered(item[0] + item[1])

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    def _props(self):
        return {"RegisteredStatusNotifierItems": dbus.Array([a + b for a, b in self.items], signature="s"),
                "IsStatusNotifierHostRegistered": dbus.Boolean(True),
                "ProtocolVersion": dbus.Int32(0)}

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self._props()[name]

    # Qt reads the host's presence as a property, which it looks up in the
    # introspection data; dbus-python lists no properties there.
    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self._props()


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


class Portal(dbus.service.Object):
    def __init__(self, bus):
        self.bus = bus
        self.sessions = {}  # session handle -> {shortcut id: properties}
        self.name = dbus.service.BusName(PORTAL, bus)
        super().__init__(self.name, "/org/freedesktop/portal/desktop")

    def _respond(self, sender, token, results):
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"), token)
        request = Request(self.bus, path)

        def send():
            request.Response(dbus.UInt32(0), results)
            request.remove_from_connection()
            return False
        GLib.idle_add(send)
        return dbus.ObjectPath(path)

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        handle = "/org/freedesktop/portal/desktop/session/%s/%s" % (
            sender[1:].replace(".", "_"), options.get("session_handle_token", "s"))
        self.sessions[handle] = {}
        return self._respond(sender, options["handle_token"],
                             dbus.Dictionary({"session_handle": dbus.String(handle)}, signature="sv"))

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender=None):
        bound = []
        for shortcut_id, props in shortcuts:
            self.sessions.setdefault(str(session), {})[str(shortcut_id)] = plain(props)
            described = dict(props)
            described["trigger_description"] = dbus.String(props.get("preferred_trigger", ""))
            bound.append(dbus.Struct((shortcut_id, dbus.Dictionary(described, signature="sv")), signature=None))
        return self._respond(sender, options["handle_token"], dbus.Dictionary(
            {"shortcuts": dbus.Array(bound, signature="(sa{sv})")}, signature="sv"))

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut_id, timestamp, options):
        pass

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return dbus.UInt32(1)


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus) if "--no-tray" not in sys.argv else None
    portal = Portal(bus) if "--no-portal" not in sys.argv else None
    loop = GLib.MainLoop()

    def answer(value):
        sys.stdout.write(json.dumps(value) + "\n")
        sys.stdout.flush()

    def menu_of(service, path):
        item = bus.get_object(service, path)
        props = item.GetAll("org.kde.StatusNotifierItem", dbus_interface=PROPS)
        menu = bus.get_object(service, props["Menu"])
        _, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface="com.canonical.dbusmenu")
        entries = []
        for child in layout[2]:
            child_props = plain(child[1])
            if child_props.get("type") == "separator" or child_props.get("visible") is False:
                continue
            entries.append({"label": child_props.get("label", ""), "enabled": child_props.get("enabled", True)})
        return {"service": service, "path": path, "id": plain(props.get("Id", "")),
                "title": plain(props.get("Title", "")), "menu": entries}

    def command(line):
        words = line.split()
        if not words:
            return answer(None)
        if words[0] == "items":
            return answer([menu_of(s, p) for s, p in watcher.items])
        if words[0] == "activate":
            service, path = watcher.items[int(words[1])]
            bus.get_object(service, path).Activate(int(words[2]), int(words[3]),
                                                   dbus_interface="org.kde.StatusNotifierItem")
            return answer(True)
        if words[0] == "shortcuts":
            return answer(portal.sessions)
        if words[0] == "press":
            for session, shortcuts in portal.sessions.items():
                if words[1] in shortcuts:
                    portal.Activated(dbus.ObjectPath(session), words[1], dbus.UInt64(0), dbus.Dictionary({}, signature="sv"))
                    return answer(True)
            return answer(False)
        return answer({"error": "unknown command " + words[0]})

    def on_input(source, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        try:
            command(line)
        except dbus.DBusException as error:
            answer({"error": str(error)})
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_input)
    answer("ready")
    loop.run()


if __name__ == "__main__":
    main()
