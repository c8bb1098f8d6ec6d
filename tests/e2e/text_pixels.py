#!/usr/bin/python3
"""The colours a text is drawn in, read from a screenshot: the background is the
rectangle's commonest colour, the ink the commonest other one (the inside of the
strokes; their anti-aliased edges spread over many shades).

As a program: text_pixels.py <image> <x> <y> <width> <height>
prints "<background> <ink> <ink pixels> <contrast>", colours as r,g,b.
"""
import subprocess
import sys
from collections import Counter


def luminance(colour):
    def linear(channel):
        c = channel / 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in colour)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)))
    return (lb + 0.05) / (la + 0.05)


def text_colours(image, x, y, width, height):
    """(background, ink, ink pixel count, contrast); ink is None where nothing is drawn."""
    raw = subprocess.run(["convert", image, "-crop", f"{width}x{height}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    counts = Counter(raw[i:i + 3] for i in range(0, len(raw) - 2, 3))
    ranked = [(tuple(c), n) for c, n in counts.most_common(2)]
    background = ranked[0][0]
    if len(ranked) < 2:
        return background, None, 0, 1.0
    ink, count = ranked[1]
    return background, ink, count, contrast(background, ink)


if __name__ == "__main__":
    bg, ink, count, ratio = text_colours(sys.argv[1], *(int(a) for a in sys.argv[2:6]))
    show = lambda c: ",".join(map(str, c)) if c else "none"
    print(f"{show(bg)} {show(ink)} {count} {ratio:.2f}")
