#!/usr/bin/python3
"""A GTK 4 text view that prints its caret as GTK itself lays it out, for the caret tracker's
end-to-end tests: "caret XID X Y W H" in pixels of the X window XID whenever it changes."""
import gi

gi.require_version("Gtk", "4.0")
gi.require_version("GdkX11", "4.0")
from gi.repository import GdkX11, GLib, Graphene, Gtk

application = Gtk.Application(application_id="org.glimmora.CaretGtk4")
last = None


def activate(app):
    window = Gtk.ApplicationWindow(application=app, title="caret-gtk4")
    window.set_default_size(400, 240)
    view = Gtk.TextView()
    window.set_child(view)
    window.present()

    def report():
        global last
        buffer = view.get_buffer()
        place = view.get_iter_location(buffer.get_iter_at_mark(buffer.get_insert()))
        x, y = view.buffer_to_window_coords(Gtk.TextWindowType.WIDGET, place.x, place.y)
        _, point = view.compute_point(window, Graphene.Point().init(x, y))
        rect = (point.x, point.y, place.width, place.height)
        if rect != last:
            last = rect
            xid = GdkX11.X11Surface.get_xid(window.get_surface())
            print("caret %d %d %d %d %d" % ((xid,) + rect), flush=True)
        return True

    GLib.timeout_add(20, report)


application.connect("activate", activate)
application.run([])
