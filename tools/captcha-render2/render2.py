#!/usr/bin/env python3
"""A second, independent renderer of the blog engine's login captcha.

For VALIDATING the captcha reader only: never train on its pictures. It is
written from the written description of what real blogs serve, not from the
sandbox's drawing code, so that the reader is measured on drawings it has not
been fitted to. Standard library only.

    render2.py --out DIR --count N --seed S [--spread] [--size WxH]
               [--noise P|MIN-MAX] [--angle DEG] [--margin P]

Writes DIR/00000.gif, DIR/00001.gif, ... and DIR/codes.txt, one line per
picture: "FILE CODE", and with --spread also the settings it was drawn with.
The same seed gives the same bytes; picture i does not depend on --count.

Where the description can be read two ways, the reading taken by default is
marked "Reading:" below and listed in README.md; --spread draws each picture
under either reading, so the reader is measured on both.
"""

import argparse
import math
import os
import random
import sys

# Each digit is a polyline of points in per cent of its box (x, y; y downwards).
GLYPHS = {
    "0": [(100, 20), (70, 1), (20, 1), (1, 30), (1, 80), (30, 100), (70, 100), (100, 80), (100, 60), (90, 20),
          (80, 3)],
    "1": [(30, 15), (50, 1), (50, 100)],
    "2": [(1, 34), (30, 1), (71, 1), (100, 34), (1, 100), (93, 100), (100, 86)],
    "3": [(1, 1), (100, 1), (42, 42), (100, 70), (50, 100), (1, 70)],
    "4": [(100, 73), (6, 73), (75, 6), (75, 100)],
    "5": [(100, 1), (1, 1), (1, 50), (50, 35), (100, 55), (100, 80), (50, 100), (1, 95)],
    "6": [(100, 20), (70, 1), (20, 1), (1, 30), (1, 80), (30, 100), (70, 100), (100, 80), (100, 60), (70, 50),
          (30, 50), (1, 60)],
    "7": [(6, 26), (6, 6), (100, 6), (53, 100)],
    "8": [(100, 30), (100, 20), (70, 1), (30, 1), (1, 20), (1, 30), (100, 70), (100, 80), (70, 100), (30, 100),
          (1, 80), (1, 70), (100, 30)],
    "9": [(1, 80), (30, 100), (80, 100), (100, 70), (100, 20), (70, 1), (30, 1), (1, 20), (1, 40), (30, 50),
          (70, 50), (100, 40)],
}

CLEAR, END = 128, 129  # LZW minimum code size 7: codes 0..127 are literals
PIXELS_PER_CLEAR = 126  # the code width stays 8 bits


def engine_settings(args):
    """The engine's own settings, with what the command line changed."""
    w, h = args.size or (60, 20)
    return {
        "size": (w, h),
        "noise": args.noise or (6.0, 10.0),  # per cent, a rate drawn per picture
        "noise_kind": "flip",
        "angle": 7.0 if args.angle is None else args.angle,
        "margin": 5.0 if args.margin is None else args.margin,
        "stroke": 2,
        "side": "rd",  # thickened toward right and down
        "square": False,  # only the left and upper neighbours count
        "path": "aim",
        "max_stray": None,
        "variant": False,
        "shift": 0.0,
        "scale": (1.0, 1.0),
        "shear": 0.0,
        "overlap": 0.0,
        "colours": "engine",
        "lead_clear": True,
        "blocks": "real",
        "colour_res": 0,
    }


def spread_settings(rng, args):
    """Settings of one picture drawn from the ranges blog owners and variant engines use.

    What the command line fixes stays fixed. The combinations are held to what a
    person still reads: a digit's cell from half to 0.8 times as wide as the picture is high, thick
    strokes only where there is room for them, less noise on thin strokes and
    on low pictures.
    """
    if args.size:
        w, h = args.size
    else:
        h = rng.randint(16, 30)
        w = rng.randint(max(50, (5 * h + 1) // 2), min(100, 4 * h))
    stroke = rng.choice((1, 2, 2, 3))
    if stroke == 3 and (h < 26 or w < 75):
        stroke = 2
    kind = rng.choices(("flip", "specks", "lines"), weights=(6, 2, 2))[0]
    top = {"flip": 15.0, "specks": 10.0, "lines": 6.0}[kind]
    if stroke != 2 or h < 20:
        top = min(top, 8.0)
    if args.noise:
        noise = args.noise
    else:
        rate = rng.uniform(0.0, top)
        noise = (rate, rate)
    angle = args.angle if args.angle is not None else rng.uniform(0.0, 12.0)
    margin = args.margin if args.margin is not None else rng.uniform(0.0, 8.0)
    return {
        "size": (w, h),
        "noise": noise,
        "noise_kind": kind,
        "angle": angle,
        "margin": margin,
        "stroke": stroke,
        "side": rng.choice(("rd", "lu")),
        "square": stroke > 1 and h >= 24 and rng.random() < 0.3,
        "path": rng.choices(("aim", "carry"), weights=(3, 1))[0],
        "max_stray": 0.2,
        "variant": True,
        "shift": rng.uniform(0.0, 1.5),
        "scale": (rng.uniform(0.85, 1.05), rng.uniform(0.85, 1.05)),
        "shear": rng.uniform(0.0, 0.25),
        "overlap": rng.uniform(-0.05, 0.03 if stroke == 3 else 0.07),
        "colours": rng.choices(("engine", "dark", "light"), weights=(3, 5, 2))[0],
        "lead_clear": rng.random() < 0.5,
        "blocks": rng.choice(("real", "pixels")),
        "colour_res": rng.choice((0, 7)),
    }


def digit_boxes(rng, s):
    """Five boxes (left, top, right, bottom) as the pixels they span, one per fifth of the width.

    Every margin is the one-pixel border plus a random amount up to `margin` per
    cent (of the cell width across, of the height down); the left margin is
    measured from where the previous box ended (from the image's left edge for
    the first), so the boxes chain along the row.
    Reading: the fifths are real-valued (W / 5, no rounding); the random amounts
    are fractions of a pixel, not whole pixels (with whole pixels a 12-pixel cell
    would never get any); edges are measured between pixels, so the border
    leaves one background column between a box and the previous one (60 x 20:
    boxes on columns 1-10, 12-22, 24-34, 36-46, 48-58 before the random parts).
    """
    w, h = s["size"]
    cell = w / 5.0
    mx, my = cell * s["margin"] / 100.0, h * s["margin"] / 100.0
    boxes, prev_end = [], 0.0
    for i in range(5):
        left = prev_end + 1 + rng.random() * mx
        end = (i + 1) * cell - 1 - rng.random() * mx
        top = 1 + rng.random() * my
        bottom = h - 1 - rng.random() * my
        prev_end = end
        boxes.append([left, top, end - 1, bottom - 1])  # last pixel inside
    if not s["variant"]:
        return boxes
    # Variant engines: neighbours reaching into each other, boxes a little off.
    ov = s["overlap"] * cell
    for b in boxes:
        b[0] -= ov
        b[2] += ov
        cx, cy = (b[0] + b[2]) / 2 + rng.uniform(-s["shift"], s["shift"]), (b[1] + b[3]) / 2 + rng.uniform(
            -s["shift"], s["shift"]) * 0.5
        hw, hh = (b[2] - b[0]) / 2 * s["scale"][0], (b[3] - b[1]) / 2 * s["scale"][1]
        b[:] = [max(0.0, cx - hw), max(0.0, cy - hh), min(w - 1.0, cx + hw), min(h - 1.0, cy + hh)]
    return boxes


def glyph_points(digit, box, shear):
    """The digit's points in pixels. Reading: 100 % is the box's last pixel, so
    x = left + (right - left) * p / 100 (1 % is a hair inside the left edge)."""
    left, top, right, bottom = box
    cy = (top + bottom) / 2
    pts = []
    for px, py in GLYPHS[digit]:
        y = top + (bottom - top) * py / 100.0
        x = left + (right - left) * px / 100.0 + shear * (y - cy)
        pts.append((x, y))
    return pts


def plot_segment(rows, w, h, x0, y0, x1, y1):
    """Sets the pixels of a segment, one step along its longer axis at a time
    (both ends included), each at the nearest pixel of the exact line."""
    dx, dy = x1 - x0, y1 - y0
    n = int(math.floor(max(abs(dx), abs(dy)) + 0.5))
    for i in range(n + 1):
        t = i / n if n else 0.0
        x = int(math.floor(x0 + dx * t + 0.5))
        y = int(math.floor(y0 + dy * t + 0.5))
        if 0 <= x < w and 0 <= y < h:
            rows[y] |= 1 << x


def bent_path(rng, s, pts):
    """The corners of the polyline as drawn, each segment turned at random.

    Reading "aim" (the default): each segment starts where the previous one
    really ended and heads for the next point, turned by up to `angle` degrees
    either way; its length is the distance to that point cut (truncated) to
    whole pixels. So a segment's error moves the start of the next, which
    aims again. Reading "carry": each segment keeps the direction and length
    of the glyph's own segment (turned, cut) and is laid from where the previous
    one ended, so the errors add up along the digit.
    """
    path = [pts[0]]
    for k in range(1, len(pts)):
        cx, cy = path[-1]
        if s["path"] == "aim":
            dx, dy = pts[k][0] - cx, pts[k][1] - cy
        else:
            dx, dy = pts[k][0] - pts[k - 1][0], pts[k][1] - pts[k - 1][1]
        length = math.floor(math.hypot(dx, dy))
        turn = math.atan2(dy, dx) + math.radians(rng.uniform(-s["angle"], s["angle"]))
        path.append((cx + length * math.cos(turn), cy + length * math.sin(turn)))
    return path


def draw_digit(rows, rng, s, pts, box):
    """Draws one digit. Variant settings (--spread) redraw a digit whose corners
    strayed from the glyph's by more than a fifth of its box, so that it stays
    readable; the engine's own drawing is taken as it comes."""
    w, h = s["size"]
    path = bent_path(rng, s, pts)
    if s["max_stray"]:
        room = s["max_stray"] * min(box[2] - box[0], box[3] - box[1]) + 1
        for _ in range(50):
            if max(math.hypot(a[0] - b[0], a[1] - b[1]) for a, b in zip(path, pts)) <= room:
                break
            path = bent_path(rng, s, pts)
        else:
            path = pts
    for a, b in zip(path, path[1:]):
        plot_segment(rows, w, h, a[0], a[1], b[0], b[1])


def thicken(rows, s):
    """Every pixel whose left or upper neighbour is ink becomes ink (toward the
    right and down; "lu" mirrors it). Reading: the neighbours are those of the
    strokes before this pass (not of pixels set during it, which would flood the
    row), and the diagonal neighbour does not count ("square" adds it). A stroke
    of width n takes n - 1 passes."""
    w, _ = s["size"]
    mask = (1 << w) - 1
    down = s["side"] == "rd"
    for _ in range(s["stroke"] - 1):
        old = rows[:]
        for y, r in enumerate(old):
            across = (r << 1) & mask if down else r >> 1
            ny = y - 1 if down else y + 1
            above = old[ny] if 0 <= ny < len(old) else 0
            diag = 0
            if s["square"]:
                diag = (above << 1) & mask if down else above >> 1
            rows[y] = r | across | above | diag


def add_noise(rows, rng, s):
    """Flips a random rate of all pixels (rate drawn per picture from the range).

    Reading: rate x W x H positions are drawn one by one with replacement, so a
    position drawn twice flips back. "specks" and "lines" (variant engines) set
    small clusters and short segments of ink instead, to about the same share of
    pixels.
    """
    w, h = s["size"]
    lo, hi = s["noise"]
    rate = rng.uniform(lo, hi) / 100.0
    budget = int(round(rate * w * h))
    kind = s["noise_kind"]
    if kind == "flip":
        for _ in range(budget):
            rows[rng.randrange(h)] ^= 1 << rng.randrange(w)
        return rate
    while budget > 0:
        x, y = rng.randrange(w), rng.randrange(h)
        if kind == "specks":
            for _ in range(rng.randint(2, 4)):
                px, py = x + rng.randint(0, 1), y + rng.randint(0, 1)
                if px < w and py < h:
                    rows[py] |= 1 << px
                budget -= 1
        else:
            n = rng.randint(2, 4)
            a = rng.uniform(0, math.pi)
            plot_segment(rows, w, h, x, y, x + (n - 1) * math.cos(a), y + (n - 1) * math.sin(a))
            budget -= n
    return rate


def luminance(c):
    return 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2]


def pick_colours(rng, s):
    """Background and ink. The engine: each channel of the background is 255 less
    a random value below 64 (drawn per channel), the ink its complement.
    Variant engines: any pair a person tells apart, the ink sometimes lighter."""
    if s["colours"] == "engine":
        bg = tuple(255 - rng.randrange(64) for _ in range(3))
        return bg, tuple(255 - c for c in bg)
    while True:
        bg = tuple(rng.randrange(256) for _ in range(3))
        ink = tuple(rng.randrange(256) for _ in range(3))
        diff = luminance(bg) - luminance(ink)
        if (diff if s["colours"] == "dark" else -diff) >= 90:
            return bg, ink


_BITS = str.maketrans("01", "\x00\x01")


def encode_gif(rows, s, bg, ink):
    """The engine's hand-made GIF89a: two colours, LZW minimum code size 7, every
    pixel one 8-bit literal code, a clear code after every 126 pixels, the data
    ending with clear, end, a zero byte and the trailer; the length byte of the
    last data sub-block is W x H mod 255, whatever really follows it.

    Reading: the data starts with a clear code ("lead_clear"; without it the
    decoder's table starts out just the same). When W x H is a multiple of 126
    the clear after the last pixels is the closing one (no second clear).
    Reading of the sub-blocks ("blocks"): "real" cuts the codes into 255-byte
    sub-blocks as they really are and only the last one's length byte is wrong;
    "pixels" also takes the number of 255-byte sub-blocks from the pixel count
    (W x H // 255) and puts all the rest after the wrong length byte, which may
    then be followed by more than 255 bytes. Reading: the screen descriptor's
    colour resolution is 0 (1 bit; "colour_res" 7 in the variant), the
    background colour index 0, aspect 0.
    """
    w, h = s["size"]
    pixels = "".join(format(r, "0%db" % w)[::-1] for r in rows).translate(_BITS).encode("latin-1")
    codes = bytearray()
    if s["lead_clear"]:
        codes.append(CLEAR)
    for i in range(0, len(pixels), PIXELS_PER_CLEAR):
        codes += pixels[i:i + PIXELS_PER_CLEAR]
        codes.append(CLEAR)
    codes.append(END)

    n = w * h
    data = bytearray()
    full = (n // 255) if s["blocks"] == "pixels" else (len(codes) - 1) // 255
    for b in range(full):
        data.append(255)
        data += codes[b * 255:(b + 1) * 255]
    data.append(n % 255)
    data += codes[full * 255:]

    out = bytearray(b"GIF89a")
    out += w.to_bytes(2, "little") + h.to_bytes(2, "little")
    out += bytes((0x80 | (s["colour_res"] << 4), 0, 0))
    out += bytes(bg) + bytes(ink)
    out += b"," + bytes(4) + w.to_bytes(2, "little") + h.to_bytes(2, "little") + b"\x00"
    out.append(7)
    out += data
    out += b"\x00;"
    return bytes(out)


def render(rng, s):
    """One picture: (gif bytes, code, noise rate)."""
    w, h = s["size"]
    code = "".join(rng.choice("0123456789") for _ in range(5))
    rows = [0] * h
    for digit, box in zip(code, digit_boxes(rng, s)):
        shear = rng.uniform(-s["shear"], s["shear"]) if s["shear"] else 0.0
        draw_digit(rows, rng, s, glyph_points(digit, box, shear), box)
    thicken(rows, s)
    rate = add_noise(rows, rng, s)
    bg, ink = pick_colours(rng, s)
    return encode_gif(rows, s, bg, ink), code, rate, bg, ink


def describe(s, rate, bg, ink):
    w, h = s["size"]
    return ("%dx%d %.1f%% %.1fdeg %.1f%% %d %s shape=%s noise=%s path=%s lead=%s blocks=%s res=%d "
            "shift=%.2f scale=%.2f,%.2f shear=%.2f overlap=%.2f bg=%02x%02x%02x ink=%02x%02x%02x" %
            (w, h, rate * 100, s["angle"], s["margin"], s["stroke"], s["side"], "square" if s["square"] else "cross",
             s["noise_kind"], s["path"], "clear" if s["lead_clear"] else "none", s["blocks"], s["colour_res"],
             s["shift"], s["scale"][0], s["scale"][1], s["shear"], s["overlap"], *bg, *ink))


def size_arg(text):
    try:
        w, h = (int(v) for v in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError("size is WxH, for example 60x20")
    if not (10 <= w <= 1000 and 10 <= h <= 1000):
        raise argparse.ArgumentTypeError("each side from 10 to 1000 pixels")
    return w, h


def noise_arg(text):
    try:
        parts = [float(v) for v in text.split("-")]
    except ValueError:
        raise argparse.ArgumentTypeError("noise is P or MIN-MAX, in per cent")
    if len(parts) == 1:
        parts *= 2
    if len(parts) != 2 or not 0 <= parts[0] <= parts[1] <= 100:
        raise argparse.ArgumentTypeError("noise is P or MIN-MAX with 0 <= MIN <= MAX <= 100")
    return tuple(parts)


def main(argv=None):
    p = argparse.ArgumentParser(description="Draws captchas like the blog engine's, for validating the reader only.")
    p.add_argument("--out", required=True, help="folder for NNNNN.gif and codes.txt")
    p.add_argument("--count", type=int, required=True)
    p.add_argument("--seed", type=int, required=True)
    p.add_argument("--spread", action="store_true", help="each picture under its own settings")
    p.add_argument("--size", type=size_arg, help="WxH (default 60x20)")
    p.add_argument("--noise", type=noise_arg, help="per cent of pixels flipped, P or MIN-MAX (default 6-10)")
    p.add_argument("--angle", type=float, help="largest turn of a segment, degrees (default 7)")
    p.add_argument("--margin", type=float, help="largest random margin, per cent (default 5)")
    args = p.parse_args(argv)
    if args.count < 0:
        p.error("--count must not be negative")
    if args.angle is not None and not 0 <= args.angle <= 90:
        p.error("--angle must be from 0 to 90")
    if args.margin is not None and not 0 <= args.margin <= 40:
        p.error("--margin must be from 0 to 40")

    try:
        os.makedirs(args.out, exist_ok=True)
        master = random.Random(args.seed)
        lines = []
        for i in range(args.count):
            rng = random.Random(master.getrandbits(64))  # picture i does not depend on --count
            s = spread_settings(rng, args) if args.spread else engine_settings(args)
            gif, code, rate, bg, ink = render(rng, s)
            name = "%05d.gif" % i
            with open(os.path.join(args.out, name), "wb") as f:
                f.write(gif)
            lines.append("%s %s %s" % (name, code, describe(s, rate, bg, ink)) if args.spread else "%s %s" %
                         (name, code))
        with open(os.path.join(args.out, "codes.txt"), "w", encoding="ascii") as f:
            f.write("".join(line + "\n" for line in lines))
    except OSError as e:
        sys.exit("render2: cannot write to %s: %s" % (args.out, e.strerror or e))


if __name__ == "__main__":
    main()
