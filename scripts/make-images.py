#!/usr/bin/env python3
"""Draws the images that are compiled into the panel (resources/images/).

The output is committed, so this only needs running again after a change to
one of the drawings below.  Needs Python 3 and Pillow; the logo text uses the
DejaVu fonts when they are installed and Pillow's built-in font otherwise.

    python3 scripts/make-images.py [output directory]
"""

import math
import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.join(HERE, os.pardir, "resources", "images")

# Theme palette (see panel/darkTheme.qss).
ACCENT_LIGHT = (0xFF, 0xA0, 0x2F)
ACCENT_DARK = (0xD7, 0x80, 0x1A)
TEXT_GREY = (0xB1, 0xB1, 0xB1)
PANEL_GREY = (0x32, 0x32, 0x32)


def hex_rgb(value):
    value = value.lstrip("#")
    return tuple(int(value[i:i + 2], 16) for i in (0, 2, 4))


def lerp(a, b, t):
    return a + (b - a) * t


def coverage(width, height, inside, samples=8):
    """Fraction of each pixel covered by the shape `inside(x, y)`, found by
    sampling a samples x samples grid in every pixel."""
    result = [[0.0] * width for _ in range(height)]
    step = 1.0 / samples
    for py in range(height):
        for px in range(width):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    if inside(px + (sx + 0.5) * step, py + (sy + 0.5) * step):
                        hits += 1
            result[py][px] = hits / float(samples * samples)
    return result


def save_png(image, out_dir, name):
    image.save(os.path.join(out_dir, name), "PNG", optimize=True)


# --- Solid swatches --------------------------------------------------------

def solid(out_dir, name, colour, mode="RGBA"):
    rgb = hex_rgb(colour)
    fill = rgb + (255,) if mode == "RGBA" else rgb
    save_png(Image.new(mode, (97, 90), fill), out_dir, name)


# --- Combo-box arrow -------------------------------------------------------

def down_arrow(out_dir):
    """7 x 5 grey triangle pointing down, light at the top and darker
    towards the tip, with anti-aliased sides."""
    width, height = 7, 5
    top, tip_y, mid = 0.0, 5.0, width / 2.0

    def inside(x, y):
        if y < top or y > tip_y:
            return False
        half = mid * (1.0 - (y - top) / (tip_y - top))
        return abs(x - mid) <= half

    cover = coverage(width, height, inside)
    image = Image.new("LA", (width, height), (0, 0))
    for y in range(height):
        grey = int(round(lerp(0xD4, 0x8C, y / float(height - 1))))
        for x in range(width):
            image.putpixel((x, y), (grey, int(round(cover[y][x] * 255))))
    save_png(image, out_dir, "down_arrow.png")


# --- Tool-bar grip ---------------------------------------------------------

def handle(out_dir):
    """6 x 6 tile with two 3 x 3 grip dots on the falling diagonal. Each dot
    is lit on its upper left and shaded on its lower right; the two corners
    off the light axis are half transparent so the dot reads as round."""
    light = hex_rgb("#2b2b2b") + (255,)
    centre = hex_rgb("#080808") + (255,)
    shade = hex_rgb("#121212") + (255,)
    soft = hex_rgb("#121212") + (128,)
    dot = {
        (0, 0): light, (1, 0): light, (0, 1): light,
        (1, 1): centre,
        (2, 1): shade, (1, 2): shade, (2, 2): shade,
        (2, 0): soft, (0, 2): soft,
    }
    image = Image.new("RGBA", (6, 6), (0, 0, 0, 0))
    for ox, oy in ((0, 0), (3, 3)):
        for (x, y), colour in dot.items():
            image.putpixel((ox + x, oy + y), colour)
    save_png(image, out_dir, "handle.png")


# --- Check-box mark --------------------------------------------------------

def checkbox(out_dir):
    """9 x 9 diagonal cross; partly covered pixels become half-transparent
    grey, the corners stay clear."""
    size = 9
    ends = ((1.6, 1.6), (7.4, 7.4)), ((7.4, 1.6), (1.6, 7.4))
    half_width = 0.8

    def distance_to_segment(x, y, a, b):
        ax, ay = a
        bx, by = b
        dx, dy = bx - ax, by - ay
        t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
        t = max(0.0, min(1.0, t))
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy))

    def inside(x, y):
        return any(distance_to_segment(x, y, a, b) <= half_width for a, b in ends)

    cover = coverage(size, size, inside)
    grey = hex_rgb("#b1b1b1")
    image = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    for y in range(size):
        for x in range(size):
            alpha = int(round(cover[y][x] * 255))
            if alpha:
                image.putpixel((x, y), grey + (alpha,))
    save_png(image, out_dir, "checkbox.png")


# --- Logo ------------------------------------------------------------------

FONT_DIRS = (
    "/usr/share/fonts/truetype/dejavu",
    "/usr/share/fonts/dejavu",
    "/usr/local/share/fonts",
)


def load_font(file_name, pixel_size):
    try:
        return ImageFont.truetype(file_name, pixel_size)
    except OSError:
        pass
    for directory in FONT_DIRS:
        path = os.path.join(directory, file_name)
        if os.path.exists(path):
            return ImageFont.truetype(path, pixel_size)
    return None


def text_mask(text, file_name, pixel_size, tracking=0):
    """Greyscale mask of `text`, cropped to its ink, about `pixel_size`
    pixels tall for capitals. Falls back to Pillow's bitmap font, scaled."""
    font = load_font(file_name, pixel_size)
    if font is None:
        font = ImageFont.load_default()
        scale = None
    else:
        scale = 1
    # Draw letter by letter so that letter spacing can be widened.
    widths = [font.getbbox(ch)[2] for ch in text]
    total = sum(widths) + tracking * (len(text) - 1) + 4
    height = font.getbbox("HQgy")[3] + 4
    mask = Image.new("L", (max(total, 1), max(height, 1)), 0)
    draw = ImageDraw.Draw(mask)
    x = 2
    for ch, w in zip(text, widths):
        draw.text((x, 2), ch, fill=255, font=font)
        x += w + tracking
    mask = mask.crop(mask.getbbox())
    if scale is None:
        # Bitmap font: blow the small glyphs up to the requested cap height.
        factor = pixel_size * 0.72 / mask.height
        mask = mask.resize((max(1, int(mask.width * factor)),
                            max(1, int(mask.height * factor))), Image.LANCZOS)
    return mask


def fit_width(mask, room):
    """Shrinks a text mask that is wider than `room`, keeping its shape."""
    if mask.width <= room:
        return mask
    factor = room / float(mask.width)
    return mask.resize((room, max(1, int(mask.height * factor))), Image.LANCZOS)


def paint(canvas, mask, position, colour):
    layer = Image.new("RGB", mask.size, colour)
    canvas.paste(layer, position, mask)


def vertical_gradient(size, top, bottom):
    width, height = size
    image = Image.new("RGB", size)
    draw = ImageDraw.Draw(image)
    for y in range(height):
        t = y / float(max(1, height - 1))
        draw.line([(0, y), (width, y)],
                  fill=tuple(int(round(lerp(a, b, t))) for a, b in zip(top, bottom)))
    return image


def logo(out_dir):
    """168 x 61 logo for the about box: an eight-way selector emblem on the
    left (one position lit in the theme's orange), the maker's name and the
    product name on the right, on a dark panel that sits on the #323232
    dialog without a hard edge."""
    scale = 4
    width, height = 168, 61
    W, H = width * scale, height * scale

    canvas = vertical_gradient((W, H), (0x3a, 0x3a, 0x3a), (0x22, 0x22, 0x22))
    draw = ImageDraw.Draw(canvas)

    # Emblem: ring with eight position marks and a pointer to position 1.
    cx, cy, r = 31 * scale, 30.5 * scale, 23 * scale
    draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(0x1a, 0x1a, 0x1a),
                 outline=(0x5a, 0x5a, 0x5a), width=scale)
    for i in range(8):
        angle = math.radians(-90 + i * 45)
        px, py = cx + math.cos(angle) * r * 0.72, cy + math.sin(angle) * r * 0.72
        dot = 3.2 * scale if i == 0 else 2.4 * scale
        colour = ACCENT_LIGHT if i == 0 else TEXT_GREY
        draw.ellipse([px - dot, py - dot, px + dot, py + dot], fill=colour)
    knob = r * 0.34
    draw.ellipse([cx - knob, cy - knob, cx + knob, cy + knob], fill=ACCENT_DARK,
                 outline=ACCENT_LIGHT, width=scale)
    draw.line([(cx, cy), (cx, cy - r * 0.52)], fill=ACCENT_LIGHT, width=2 * scale)

    # Names.
    maker = text_mask("Veltrix", "DejaVuSans-Bold.ttf", 22 * scale)
    product = text_mask("TQX-5R", "DejaVuSans-Bold.ttf", 15 * scale, tracking=scale)
    tag = text_mask("ANTENNA SWITCH", "DejaVuSansCondensed.ttf", 7 * scale,
                    tracking=scale // 2)

    left = 62 * scale
    room = (width - 6) * scale - left
    maker, product, tag = (fit_width(m, room) for m in (maker, product, tag))

    y = 7 * scale
    paint(canvas, maker, (left, y), (0xe6, 0xe6, 0xe6))
    y += maker.height + 4 * scale
    draw.rectangle([left, y, left + room, y + scale - 1], fill=ACCENT_DARK)
    y += 4 * scale
    paint(canvas, product, (left, y), ACCENT_LIGHT)
    y += product.height + 3 * scale
    paint(canvas, tag, (left, y), TEXT_GREY)

    image = canvas.resize((width, height), Image.LANCZOS)
    image = image.filter(ImageFilter.UnsharpMask(radius=1, percent=40, threshold=2))
    image.save(os.path.join(out_dir, "logo1.jpg"), "JPEG", quality=92,
               subsampling=0, progressive=False, optimize=True)


def icon(path, size=128):
    """Desktop icon: the selector emblem of the logo on a rounded dark tile."""
    scale = 4
    S = size * scale
    canvas = Image.new("RGBA", (S, S), (0, 0, 0, 0))
    draw = ImageDraw.Draw(canvas)
    draw.rounded_rectangle([0, 0, S - 1, S - 1], radius=S // 6, fill=(0x32, 0x32, 0x32, 255),
                           outline=(0x1e, 0x1e, 0x1e, 255), width=2 * scale)
    cx = cy = S / 2
    r = S * 0.38
    draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(0x1a, 0x1a, 0x1a, 255),
                 outline=(0x5a, 0x5a, 0x5a, 255), width=3 * scale)
    for i in range(8):
        angle = math.radians(-90 + i * 45)
        px, py = cx + math.cos(angle) * r * 0.72, cy + math.sin(angle) * r * 0.72
        dot = S * (0.055 if i == 0 else 0.04)
        colour = ACCENT_LIGHT if i == 0 else TEXT_GREY
        draw.ellipse([px - dot, py - dot, px + dot, py + dot], fill=colour)
    knob = r * 0.34
    draw.ellipse([cx - knob, cy - knob, cx + knob, cy + knob], fill=ACCENT_DARK,
                 outline=ACCENT_LIGHT, width=2 * scale)
    draw.line([(cx, cy), (cx, cy - r * 0.52)], fill=ACCENT_LIGHT, width=5 * scale)
    canvas.resize((size, size), Image.LANCZOS).save(path, "PNG", optimize=True)


def main(argv):
    out_dir = os.path.abspath(argv[1] if len(argv) > 1 else DEFAULT_OUT)
    os.makedirs(out_dir, exist_ok=True)
    down_arrow(out_dir)
    solid(out_dir, "corSuperSplit.png", "#efe4b0")
    logo(out_dir)
    solid(out_dir, "yellow.png", "#fff200")
    handle(out_dir)
    checkbox(out_dir)
    solid(out_dir, "corSplit.png", "#c3c3c3")
    solid(out_dir, "white.png", "#ffffff")
    solid(out_dir, "black.png", "#000000", mode="RGB")
    icon_dir = os.path.join(os.path.dirname(out_dir), "icons")
    os.makedirs(icon_dir, exist_ok=True)
    icon(os.path.join(icon_dir, "tqx5r-panel.png"))
    print("images written to", out_dir)


if __name__ == "__main__":
    main(sys.argv)
