"""A panel's StatusNotifierWatcher for python3-dbusmock, with its methods in place before
the name is answered for. Parameters: "host" (a host is registered from the start,
default true) and "refuse" (items are turned away)."""
import dbus

BUS_NAME = "org.kde.StatusNotifierWatcher"
MAIN_OBJ = "/StatusNotifierWatcher"
MAIN_IFACE = "org.kde.StatusNotifierWatcher"
SYSTEM_BUS = False


def load(mock, parameters):
    def register_item(_self, _service):
        if parameters.get("refuse", False):
            raise dbus.exceptions.DBusException("no room for items", name=MAIN_IFACE + ".Refused")

    def set_host(present):
        # As a watcher tells it: the property changes and a signal says so, with no
        # PropertiesChanged.
        def method(self, *_):
            self.props[MAIN_IFACE]["IsStatusNotifierHostRegistered"] = dbus.Boolean(present)
            self.EmitSignal(MAIN_IFACE, "StatusNotifierHost" + ("Registered" if present else "Unregistered"), "", [])
        return method

    mock.AddMethod(MAIN_IFACE, "RegisterStatusNotifierItem", "s", "", register_item)
    mock.AddMethod(MAIN_IFACE, "RegisterStatusNotifierHost", "s", "", set_host(True))
    # The stand-in's own: a real watcher sees its host's name leave the bus.
    mock.AddMethod(MAIN_IFACE, "UnregisterStatusNotifierHost", "s", "", set_host(False))
    mock.AddProperties(MAIN_IFACE, {"IsStatusNotifierHostRegistered": dbus.Boolean(parameters.get("host", True)),
                                    "ProtocolVersion": dbus.Int32(0)})
