"""Screenshots as plain RGB pixel buffers, with the few measures the journeys need."""

import os
import subprocess
import tempfile


def hex_colour(text):
    """'#1f5fa8' -> (31, 95, 168)."""
    text = text.lstrip('#')
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


class Rect:
    """A rectangle in screen pixels."""

    def __init__(self, x, y, w, h):
        self.x, self.y, self.w, self.h = int(x), int(y), int(w), int(h)

    def moved(self, dx, dy):
        return Rect(self.x + dx, self.y + dy, self.w, self.h)

    def inset(self, d):
        return Rect(self.x + d, self.y + d, self.w - 2 * d, self.h - 2 * d)

    def centre(self):
        return (self.x + self.w // 2, self.y + self.h // 2)

    def contains(self, x, y):
        return self.x <= x < self.x + self.w and self.y <= y < self.y + self.h

    def __repr__(self):
        return 'Rect(%d, %d, %d, %d)' % (self.x, self.y, self.w, self.h)


class Image:
    """An RGB image, 3 bytes a pixel, rows top to bottom."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @staticmethod
    def from_ppm(raw):
        # P6 header: magic, width, height, maximum value, each followed by white space.
        fields = []
        pos = 0
        while len(fields) < 4:
            while raw[pos:pos + 1].isspace():
                pos += 1
            if raw[pos:pos + 1] == b'#':
                pos = raw.index(b'\n', pos) + 1
                continue
            end = pos
            while not raw[end:end + 1].isspace():
                end += 1
            fields.append(raw[pos:end])
            pos = end
        if fields[0] != b'P6' or fields[3] != b'255':
            raise ValueError('not an 8-bit PPM image')
        width, height = int(fields[1]), int(fields[2])
        data = raw[pos + 1:pos + 1 + width * height * 3]
        if len(data) != width * height * 3:
            raise ValueError('PPM image cut short')
        return Image(width, height, data)

    @staticmethod
    def load(path):
        """Any format ImageMagick reads."""
        raw = subprocess.run(['convert', path, '-depth', '8', 'ppm:-'], check=True,
                             stdout=subprocess.PIPE, timeout=30).stdout
        return Image.from_ppm(raw)

    def ppm(self):
        return b'P6\n%d %d\n255\n' % (self.width, self.height) + self.data

    def save(self, path):
        """Writes the image in the format the file name says (PNG for .png)."""
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        subprocess.run(['convert', 'ppm:-', path], input=self.ppm(), check=True, timeout=30)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def crop(self, rect):
        x0, y0 = max(rect.x, 0), max(rect.y, 0)
        x1, y1 = min(rect.x + rect.w, self.width), min(rect.y + rect.h, self.height)
        rows = [self.data[(y * self.width + x0) * 3:(y * self.width + x1) * 3]
                for y in range(y0, y1)]
        return Image(max(x1 - x0, 0), max(y1 - y0, 0), b''.join(rows))

    def count(self, rect, colour, tolerance=12):
        """How many pixels of the rectangle lie within tolerance of the colour."""
        r0, g0, b0 = colour
        part = self.crop(rect)
        d = part.data
        n = 0
        for i in range(0, len(d), 3):
            if (abs(d[i] - r0) <= tolerance and abs(d[i + 1] - g0) <= tolerance
                    and abs(d[i + 2] - b0) <= tolerance):
                n += 1
        return n

    def mean_luminance(self, rect=None):
        part = self.crop(rect) if rect else self
        d = part.data
        if not d:
            return 0.0
        total = sum(d[i] * 299 + d[i + 1] * 587 + d[i + 2] * 114 for i in range(0, len(d), 3))
        return total / 1000.0 / (len(d) // 3)

    def runs(self, y, x0, x1, colour, tolerance=12, minimum=20):
        """The horizontal runs of one colour on row y between x0 and x1, as (start, end)."""
        found = []
        start = None
        for x in range(x0, x1 + 1):
            inside = x < x1 and all(abs(a - b) <= tolerance
                                    for a, b in zip(self.pixel(x, y), colour))
            if inside and start is None:
                start = x
            elif not inside and start is not None:
                if x - start >= minimum:
                    found.append((start, x))
                start = None
        return found

    def difference(self, other, rect):
        """The share of the rectangle's pixels that differ between two images."""
        a, b = self.crop(rect).data, other.crop(rect).data
        if not a:
            return 0.0
        differing = sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])
        return differing / (len(a) // 3)


def ocr(image, rect=None, scale=3, single_line=False, words=False, negate=None):
    """Reads the text of a part of the image with tesseract.

    Light text on a dark ground is turned dark on light first; the part is enlarged, which
    tesseract needs for screen fonts. With words=True the result is a list of
    (text, Rect) in screen coordinates, else one string. negate=True or False forces the
    turn (for a light line selected on a light list)."""
    part = image.crop(rect) if rect else image
    origin = (rect.x, rect.y) if rect else (0, 0)
    if part.width == 0 or part.height == 0:
        return [] if words else ''
    convert = ['convert', 'ppm:-', '-colorspace', 'Gray']
    if negate if negate is not None else part.mean_luminance() < 128:
        convert.append('-negate')
    # A white border keeps glyphs that touch the edge readable.
    convert += ['-normalize', '-resize', '%d%%' % (scale * 100), '-bordercolor', 'white', '-border', '20',
                'png:-']
    png = subprocess.run(convert, input=part.ppm(), stdout=subprocess.PIPE, check=True,
                         timeout=30).stdout
    with tempfile.NamedTemporaryFile(suffix='.png') as f:
        f.write(png)
        f.flush()
        command = ['tesseract', f.name, 'stdout', '--psm', '7' if single_line else '6']
        if words:
            command.append('tsv')
        # One thread: tesseract's OpenMP threads spin for seconds on a busy machine.
        out = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             env=dict(os.environ, OMP_THREAD_LIMIT='1'), check=True,
                             timeout=30).stdout.decode('utf-8', 'replace')
    if not words:
        return ' '.join(out.split())
    found = []
    for line in out.splitlines()[1:]:
        cells = line.split('\t')
        if len(cells) < 12 or not cells[11].strip():
            continue
        left, top, width, height = (int(v) for v in cells[6:10])
        found.append((cells[11].strip(), Rect(origin[0] + (left - 20) / scale,
                                              origin[1] + (top - 20) / scale,
                                              width / scale, height / scale)))
    return found


def squeeze(text):
    """Text reduced to letters and digits, lower case: what OCR reliably agrees on."""
    return ''.join(c for c in text.lower() if c.isalnum())
