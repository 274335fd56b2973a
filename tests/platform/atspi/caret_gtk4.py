#!/usr/bin/python3
"""A GTK 4 window with an entry over a text view that prints the focused one's caret as GTK
itself lays it out, for the caret tracker's end-to-end tests: "caret XID X Y W H" in pixels of
the X window XID whenever it changes. The entry's caret comes from its own text layout."""
import gi

gi.require_version("Gtk", "4.0")
gi.require_version("GdkX11", "4.0")
from gi.repository import GdkX11, GLib, Graphene, Gtk

application = Gtk.Application(application_id="org.glimmora.CaretGtk4")
last = None


def activate(app):
    window = Gtk.ApplicationWindow(application=app, title="caret-gtk4")
    window.set_default_size(400, 240)
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
    entry = Gtk.Entry()
    view = Gtk.TextView(vexpand=True)
    box.append(entry)
    box.append(view)
    window.set_child(box)
    window.present()

    def in_window(widget, x, y):
        _, point = widget.compute_point(window, Graphene.Point().init(x, y))
        return point.x, point.y

    def caret():
        if view.has_focus():
            buffer = view.get_buffer()
            place = view.get_iter_location(buffer.get_iter_at_mark(buffer.get_insert()))
            x, y = view.buffer_to_window_coords(Gtk.TextWindowType.WIDGET, place.x, place.y)
            return in_window(view, x, y) + (place.width, place.height)
        text = entry.get_delegate()
        layout = text.create_pango_layout(entry.get_text()[: entry.get_position()])
        width, height = layout.get_pixel_size()
        x, y = in_window(text, width, (text.get_height() - height) / 2)
        return x, y, 0, height

    def report():
        global last
        rect = caret()
        if rect != last:
            last = rect
            xid = GdkX11.X11Surface.get_xid(window.get_surface())
            print("caret %d %d %d %d %d" % ((xid,) + rect), flush=True)
        return True

    GLib.timeout_add(20, report)


application.connect("activate", activate)
application.run([])
