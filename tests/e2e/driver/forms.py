"""Widget positions read from the program's Designer forms.

A position in a form is relative to the widget's parent; this module adds the parents up,
and lays out the cells of grid layouts (the on-screen keyboards), so a journey touches a
button where the form puts it. The caller adds where the form stands on the screen: the
menu screens at (0,80), a dialog where its window is."""

import os
import xml.etree.ElementTree as ET

from .image import Rect
from .paths import SOURCE_DIR

MENU_ORIGIN = (0, 80)


def _rect(widget):
    g = widget.find("property[@name='geometry']/rect")
    if g is None:
        return None
    return Rect(*(int(g.find(k).text) for k in ('x', 'y', 'width', 'height')))


def _number(layout, name, default):
    node = layout.find("property[@name='%s']/number" % name)
    return int(node.text) if node is not None else default


def _split(total, stretches, spacing):
    """Splits a length into cells by stretch factors, as QGridLayout does for cells
    that only ask for a small minimum: returns (start, length) per cell."""
    free = total - spacing * (len(stretches) - 1)
    weight = sum(stretches) or len(stretches)
    cells = []
    pos = 0
    for i, s in enumerate(stretches):
        length = free * (s or 1) / weight
        cells.append((pos, length))
        pos += length + spacing
    return cells


class Form:
    """One .ui file of the source tree, e.g. Form('protocol/ProtocolFrame.ui')."""

    _cache = {}

    def __new__(cls, path, size=None):
        """size=(w, h) lays the form out at another size than its own, as where a
        parent form embeds it bigger (the on-screen keyboard)."""
        key = (path, size)
        if key not in cls._cache:
            form = super().__new__(cls)
            form._load(path, size)
            cls._cache[key] = form
        return cls._cache[key]

    def _load(self, path, size):
        self.path = path
        root = ET.parse(os.path.join(SOURCE_DIR, path)).getroot().find('widget')
        self.size = _rect(root) if size is None else Rect(0, 0, *size)
        self.rects = {}
        self._place(root, 0, 0)

    def _place(self, widget, ox, oy):
        for child in widget.findall('widget'):
            r = _rect(child)
            if r is None:
                continue
            r = r.moved(ox, oy)
            self.rects[child.get('name')] = r
            self._place(child, r.x, r.y)
        layout = widget.find('layout')
        if layout is not None and layout.get('class') == 'QGridLayout':
            name = widget.get('name')
            box = self.rects[name] if name in self.rects else Rect(0, 0, self.size.w,
                                                                   self.size.h)
            self._grid(layout, box)

    def _grid(self, layout, box):
        left = _number(layout, 'leftMargin', 9)
        top = _number(layout, 'topMargin', 9)
        right = _number(layout, 'rightMargin', 9)
        bottom = _number(layout, 'bottomMargin', 9)
        hspace = _number(layout, 'horizontalSpacing', _number(layout, 'spacing', 6))
        vspace = _number(layout, 'verticalSpacing', _number(layout, 'spacing', 6))
        items = layout.findall('item')
        rows = max(int(i.get('row', 0)) + int(i.get('rowspan', 1)) for i in items)
        cols = max(int(i.get('column', 0)) + int(i.get('colspan', 1)) for i in items)
        rstretch = [int(s) for s in layout.get('rowstretch', '').split(',') if s] or [1] * rows
        cstretch = [int(s) for s in layout.get('columnstretch', '').split(',') if s] or [1] * cols
        xs = _split(box.w - left - right, cstretch, hspace)
        ys = _split(box.h - top - bottom, rstretch, vspace)
        for item in items:
            child = item.find('widget')
            if child is None:
                continue
            r, c = int(item.get('row', 0)), int(item.get('column', 0))
            rs, cs = int(item.get('rowspan', 1)), int(item.get('colspan', 1))
            x0 = xs[c][0]
            x1 = xs[c + cs - 1][0] + xs[c + cs - 1][1]
            y0 = ys[r][0]
            y1 = ys[r + rs - 1][0] + ys[r + rs - 1][1]
            self.rects[child.get('name')] = Rect(box.x + left + x0, box.y + top + y0,
                                                 x1 - x0, y1 - y0)

    def rect(self, name, origin=(0, 0)):
        """The widget's rectangle on the screen when the form's top left is at origin."""
        if name not in self.rects:
            raise KeyError('%s has no placed widget %s' % (self.path, name))
        return self.rects[name].moved(*origin)

    def centre(self, name, origin=(0, 0)):
        return self.rect(name, origin).centre()
