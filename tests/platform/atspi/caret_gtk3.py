#!/usr/bin/python3
"""A GTK 3 text view that prints its caret as GTK itself places it, for the caret tracker's
end-to-end tests: "caret 0 X Y W H" in root pixels whenever it changes; with a selection, the
box around its two ends."""
import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk

window = Gtk.Window(title="caret-gtk3")
window.set_default_size(400, 240)
view = Gtk.TextView()
window.add(view)
window.connect("destroy", Gtk.main_quit)
window.show_all()
last = None


def root_rect(mark):
    buffer = view.get_buffer()
    place = view.get_iter_location(buffer.get_iter_at_mark(mark))
    x, y = view.buffer_to_window_coords(Gtk.TextWindowType.WIDGET, place.x, place.y)
    _, ox, oy = view.get_window(Gtk.TextWindowType.WIDGET).get_origin()
    return ox + x, oy + y, ox + x + place.width, oy + y + place.height


def report():
    global last
    buffer = view.get_buffer()
    a, b = root_rect(buffer.get_insert()), root_rect(buffer.get_selection_bound())
    box = (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))
    if box != last:
        last = box
        print("caret 0 %d %d %d %d" % (box[0], box[1], box[2] - box[0], box[3] - box[1]),
              flush=True)
    return True


GLib.timeout_add(20, report)
Gtk.main()
