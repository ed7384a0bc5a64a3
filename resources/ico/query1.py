#!/usr/bin/env python3
# Draws the search button's icon, a magnifying glass with a silver rim and a blue handle, and writes it as a
# Windows ICO holding one 128x128 image at 32 bits per pixel with alpha. Regenerate from the project root with:
#
#   python3 resources/ico/query1.py resources/ico/query1.ico
#
# Standard library only. Every pixel is the average of 4x4 samples, which gives the edges their anti-aliasing.
import math
import struct
import sys

SIZE = 128
SAMPLES = 4

LENS_CENTRE = (50.0, 50.0)
RIM_OUTER = 40.0
RIM_INNER = 30.0
OUTLINE = 1.6

# The handle lies on the diagonal from the lens centre towards the lower right corner.
AXIS = (math.sqrt(0.5), math.sqrt(0.5))
NECK_START, NECK_END, NECK_RADIUS = 36.0, 56.0, 7.5
HANDLE_START, HANDLE_END, HANDLE_RADIUS = 56.0, 92.0, 10.5

SILVER_LIGHT = (246, 248, 252)
SILVER_DARK = (128, 134, 146)
SILVER_EDGE = (84, 90, 102)
GLASS = (186, 218, 250)
GLASS_ALPHA = 0.45
BLUE_LIGHT = (96, 160, 240)
BLUE_DARK = (16, 56, 150)
BLUE_EDGE = (10, 34, 96)


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def over(dst, colour, alpha):
    """Paints a straight colour with the given alpha over a premultiplied (r, g, b, a) sample."""
    r, g, b, a = dst
    k = 1.0 - alpha
    return (colour[0] * alpha + r * k, colour[1] * alpha + g * k, colour[2] * alpha + b * k, alpha + a * k)


def along_axis(x, y):
    """Distance along the handle's axis and signed distance across it, both from the lens centre."""
    dx, dy = x - LENS_CENTRE[0], y - LENS_CENTRE[1]
    return dx * AXIS[0] + dy * AXIS[1], dx * AXIS[1] - dy * AXIS[0]


def capsule(x, y, start, end, radius):
    """Where the point lies across the capsule (-1..1) and its distance from the axis; None when outside."""
    u, v = along_axis(x, y)
    cu = min(max(u, start), end)
    if math.hypot(u - cu, v) > radius:
        return None
    return v / radius, math.hypot(u - cu, v)


def sample(x, y):
    px = (0.0, 0.0, 0.0, 0.0)

    handle = capsule(x, y, HANDLE_START, HANDLE_END, HANDLE_RADIUS)
    if handle is not None:
        across, dist = handle
        shade = mix(BLUE_LIGHT, BLUE_DARK, (across + 1.0) / 2.0)
        shine = max(0.0, 1.0 - abs(across + 0.45) / 0.2)
        shade = mix(shade, (200, 226, 255), shine * 0.8)
        if dist > HANDLE_RADIUS - OUTLINE:
            shade = BLUE_EDGE
        px = over(px, shade, 1.0)

    neck = capsule(x, y, NECK_START, NECK_END, NECK_RADIUS)
    if neck is not None:
        across, dist = neck
        shade = mix(SILVER_LIGHT, SILVER_DARK, (across + 1.0) / 2.0)
        if dist > NECK_RADIUS - OUTLINE:
            shade = SILVER_EDGE
        px = over(px, shade, 1.0)

    r = math.hypot(x - LENS_CENTRE[0], y - LENS_CENTRE[1])
    if r <= RIM_INNER:
        px = over(px, GLASS, GLASS_ALPHA)
        # a soft reflection in the upper left of the glass
        hx, hy = x - (LENS_CENTRE[0] - 11.0), y - (LENS_CENTRE[1] - 11.0)
        glint = (hx * 0.7071 + hy * 0.7071) ** 2 / 9.0**2 + (hx * 0.7071 - hy * 0.7071) ** 2 / 15.0**2
        if glint < 1.0:
            px = over(px, (255, 255, 255), 0.55 * (1.0 - glint))
    elif r <= RIM_OUTER:
        # light falls from the upper left; the middle of the ring is raised
        light = ((x - LENS_CENTRE[0]) + (y - LENS_CENTRE[1])) / (2.0 * RIM_OUTER) + 0.5
        shade = mix(SILVER_LIGHT, SILVER_DARK, light)
        middle = (RIM_OUTER + RIM_INNER) / 2.0
        bevel = 1.0 - abs(r - middle) / ((RIM_OUTER - RIM_INNER) / 2.0)
        shade = mix(shade, (255, 255, 255), 0.35 * bevel)
        if r > RIM_OUTER - OUTLINE or r < RIM_INNER + OUTLINE:
            shade = SILVER_EDGE
        px = over(px, shade, 1.0)
    return px


def render():
    """Straight-alpha RGBA rows, top row first."""
    rows = []
    step = 1.0 / SAMPLES
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    s = sample(px + (sx + 0.5) * step, py + (sy + 0.5) * step)
                    for i in range(4):
                        acc[i] += s[i]
            n = SAMPLES * SAMPLES
            a = acc[3] / n
            if a <= 0.0:
                row.append((0, 0, 0, 0))
                continue
            rgb = tuple(int(round(min(255.0, acc[i] / n / a))) for i in range(3))
            row.append(rgb + (int(round(a * 255.0)),))
        rows.append(row)
    return rows


def ico(rows):
    """One 32-bit BMP image inside an ICO: BGRA rows bottom up, then the 1-bit AND mask (1 = transparent)."""
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
        bits = 0
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits |= 1 << (SIZE - 1 - i)
        mask += bits.to_bytes(SIZE // 8, "big")
    # height is doubled in an icon's DIB header: colour image plus mask
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE % 256, SIZE % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: query1.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as out:
        out.write(ico(render()))


if __name__ == "__main__":
    main()
