# Widget positions read from the program's Designer forms: a position in a form is relative
# to the widget's parent, so the parents are added up, and the cells of grid layouts (the
# on-screen keyboards) laid out. Where the form stands on the screen is its origin: the menu
# screens at MENU, a dialog where its window is (pass the window).

import os
import xml.etree.ElementTree as ET

from .image import Rect
from .paths import SOURCE_DIR

MENU = (0, 80)


def _rect(widget):
    g = widget.find("property[@name='geometry']/rect")
    if g is None:
        return None
    return Rect(*(int(g.find(k).text) for k in ('x', 'y', 'width', 'height')))


def _number(layout, name, default):
    node = layout.find("property[@name='%s']/number" % name)
    return int(node.text) if node is not None else default


def _split(total, stretches, spacing):
    # (start, length) of each cell, as QGridLayout shares a length among cells that only
    # ask for a small minimum.
    free = total - spacing * (len(stretches) - 1)
    weight = sum(stretches) or len(stretches)
    starts = [0]
    for s in stretches:
        starts.append(starts[-1] + free * (s or 1) / weight + spacing)
    return [(a, b - a - spacing) for a, b in zip(starts, starts[1:])]


class Form:
    # size=(w, h) lays the form out at another size than its own, as where a parent form
    # embeds it bigger (the on-screen keyboard).
    def __init__(self, path, origin=(0, 0), size=None):
        self.path, self.origin = path, origin
        root = ET.parse(os.path.join(SOURCE_DIR, path)).getroot().find('widget')
        self.size = _rect(root) if size is None else Rect(0, 0, *size)
        self.rects = {}
        self._place(root, 0, 0)

    def _place(self, widget, ox, oy):
        for child in widget.findall('widget'):
            r = _rect(child)
            if r is not None:
                self.rects[child.get('name')] = r.moved(ox, oy)
                self._place(child, r.x + ox, r.y + oy)
        layout = widget.find('layout')
        if layout is not None and layout.get('class') == 'QGridLayout':
            whole = Rect(0, 0, self.size.w, self.size.h)
            self._grid(layout, self.rects.get(widget.get('name'), whole))

    def _grid(self, layout, box):
        left, top, right, bottom = (_number(layout, side + 'Margin', 9)
                                    for side in ('left', 'top', 'right', 'bottom'))
        spacing = _number(layout, 'spacing', 6)
        items = layout.findall('item')
        place = [[int(i.get(k, d)) for k, d in (('row', 0), ('column', 0), ('rowspan', 1),
                                                ('colspan', 1))] for i in items]

        def cells(extent, stretch, space, first, span):
            count = max(p[first] + p[span] for p in place)
            stretches = [int(s) for s in layout.get(stretch, '').split(',') if s] or [1] * count
            return _split(extent, stretches, _number(layout, space, spacing))
        xs = cells(box.w - left - right, 'columnstretch', 'horizontalSpacing', 1, 3)
        ys = cells(box.h - top - bottom, 'rowstretch', 'verticalSpacing', 0, 2)
        for item, (r, c, rs, cs) in zip(items, place):
            if item.find('widget') is None:
                continue
            x1, y1 = sum(xs[c + cs - 1]), sum(ys[r + rs - 1])
            self.rects[item.find('widget').get('name')] = Rect(
                box.x + left + xs[c][0], box.y + top + ys[r][0], x1 - xs[c][0], y1 - ys[r][0])

    def rect(self, name, origin=None):
        # The widget on the screen; origin: a window, (x, y), or the form's own.
        origin = origin or self.origin
        if hasattr(origin, 'rect'):
            origin = (origin.rect.x, origin.rect.y)
        if name not in self.rects:
            raise KeyError('%s has no placed widget %s' % (self.path, name))
        return self.rects[name].moved(*origin)

    def centre(self, name, origin=None):
        return self.rect(name, origin).centre()
