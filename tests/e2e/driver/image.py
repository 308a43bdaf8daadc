# Screenshots as plain RGB pixel buffers, with the few measures the journeys need.

import os
import re
import subprocess


def squeeze(text):
    # Letters and digits, lower case: what OCR reliably agrees on.
    return ''.join(c for c in text.lower() if c.isalnum())


class Rect:
    def __init__(self, x, y, w, h):
        self.x, self.y, self.w, self.h = int(x), int(y), int(w), int(h)

    def moved(self, dx, dy):
        return Rect(self.x + dx, self.y + dy, self.w, self.h)

    def inset(self, d):
        return Rect(self.x + d, self.y + d, self.w - 2 * d, self.h - 2 * d)

    def centre(self):
        return (self.x + self.w // 2, self.y + self.h // 2)

    def __repr__(self):
        return 'Rect(%d, %d, %d, %d)' % (self.x, self.y, self.w, self.h)


class Image:
    # 3 bytes a pixel, rows top to bottom.
    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @staticmethod
    def from_ppm(raw):
        head = re.match(rb'P6\s+(\d+)\s+(\d+)\s+255\s', raw)
        width, height = int(head.group(1)), int(head.group(2))
        data = raw[head.end():head.end() + width * height * 3]
        if len(data) != width * height * 3:
            raise ValueError('PPM image cut short')
        return Image(width, height, data)

    def ppm(self):
        return b'P6\n%d %d\n255\n' % (self.width, self.height) + self.data

    def save(self, path):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        subprocess.run(['convert', 'ppm:-', path], input=self.ppm(), check=True, timeout=30)

    def crop(self, rect):
        x0, y0 = max(rect.x, 0), max(rect.y, 0)
        x1, y1 = min(rect.x + rect.w, self.width), min(rect.y + rect.h, self.height)
        rows = [self.data[(y * self.width + x0) * 3:(y * self.width + x1) * 3]
                for y in range(y0, y1)]
        return Image(max(x1 - x0, 0), max(y1 - y0, 0), b''.join(rows))

    def pixels(self, rect=None):
        d = self.crop(rect).data if rect else self.data
        return list(zip(d[0::3], d[1::3], d[2::3]))

    def matches(self, rect, colour, tolerance=12):
        # Per pixel of the rectangle: whether it lies within tolerance of the colour.
        r0, g0, b0 = colour
        return [abs(r - r0) <= tolerance and abs(g - g0) <= tolerance and abs(b - b0) <= tolerance
                for r, g, b in self.pixels(rect)]

    def count(self, rect, colour, tolerance=12):
        return sum(self.matches(rect, colour, tolerance))

    def mean_luminance(self, rect=None):
        px = self.pixels(rect)
        return sum(r * 299 + g * 587 + b * 114 for r, g, b in px) / 1000.0 / max(len(px), 1)

    def runs(self, y, x0, x1, colour, minimum):
        # The runs of the colour on row y between x0 and x1, at least minimum long: (start, end).
        row = ''.join('1' if m else '0' for m in self.matches(Rect(x0, y, x1 - x0, 1), colour))
        return [(x0 + m.start(), x0 + m.end()) for m in re.finditer('1{%d,}' % minimum, row)]

    def difference(self, other, rect):
        # The share of the rectangle's pixels that differ between two images.
        pairs = list(zip(self.pixels(rect), other.pixels(rect)))
        return sum(a != b for a, b in pairs) / max(len(pairs), 1)


def ocr(image, rect, scale=3, single_line=False, words=False, negate=None):
    # The text in the rectangle, by tesseract; with words=True a list of (text, Rect) on the
    # screen. Light text on dark is turned dark on light first (negate forces either way), and
    # the part enlarged, which tesseract needs for screen fonts.
    part = image.crop(rect)
    if part.width == 0 or part.height == 0:
        return [] if words else ''
    convert = ['convert', 'ppm:-', '-colorspace', 'Gray']
    if negate if negate is not None else part.mean_luminance() < 128:
        convert.append('-negate')
    # A white border keeps glyphs that touch the edge readable.
    convert += ['-normalize', '-resize', '%d%%' % (scale * 100), '-bordercolor', 'white',
                '-border', '20', 'png:-']
    png = subprocess.run(convert, input=part.ppm(), stdout=subprocess.PIPE, check=True,
                         timeout=30).stdout
    # One thread: tesseract's OpenMP threads spin for seconds on a busy machine.
    command = ['tesseract', 'stdin', 'stdout', '--psm', '7' if single_line else '6']
    out = subprocess.run(command + (['tsv'] if words else []), input=png, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, env=dict(os.environ, OMP_THREAD_LIMIT='1'),
                         check=True, timeout=30).stdout.decode('utf-8', 'replace')
    if not words:
        return ' '.join(out.split())
    cells = [line.split('\t') for line in out.splitlines()[1:]]
    # Boxes in the enlarged part with its border: left, top, width, height.
    return [(c[11].strip(), Rect(rect.x + (int(c[6]) - 20) / scale,
                                 rect.y + (int(c[7]) - 20) / scale,
                                 int(c[8]) / scale, int(c[9]) / scale))
            for c in cells if len(c) >= 12 and c[11].strip()]
