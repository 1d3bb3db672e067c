# The Pillow side of bitmap_bench: makes the photo-like test picture, and times Pillow's own
# file-to-1-bit pipeline on a file so the benchmark can print both side by side.
#
#   pillow_bitmap.py make PATH WIDTH HEIGHT   writes the picture (Pillow's default PNG compression)
#   pillow_bitmap.py time PATH RUNS           prints the median ms of each stage and the total,
#                                             wall clock and CPU time
import random
import statistics
import sys
import time

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageOps

SEED = 20261208
STAGES = ("decode", "grey", "dither", "pack", "total")


def noise(size, rng, blur):
    """Grey noise, blurred into a texture of about `blur` dots."""
    field = Image.frombytes("L", size, rng.randbytes(size[0] * size[1]))
    return field.filter(ImageFilter.GaussianBlur(blur)) if blur > 0 else field


def stretch(band, low, high):
    """Maps the 0..255 band onto low..high."""
    return band.point(lambda v: low + (high - low) * v // 255)


def picture(width, height):
    """A photo-like scene: sky and ground gradients, a soft sun, textured ground, hard-edged
    shapes, a logo with text, and a little sensor noise over everything."""
    rng = random.Random(SEED)
    size = (width, height)
    sky = Image.linear_gradient("L").resize(size)
    # Brightest at the centre and gone well inside the square, so no edge shows.
    sun = ImageChops.invert(Image.radial_gradient("L").resize((width, width)))
    sun = sun.point(lambda v: max(0, 2 * v - 255))
    sun_layer = Image.new("L", size, 0)
    sun_layer.paste(sun, (width // 3, -width // 3))
    # Blurred noise has little contrast left: stretch it back to the full range.
    texture = ImageOps.autocontrast(noise(size, rng, 3), cutoff=1)
    red = ImageChops.add(stretch(sky, 90, 200), stretch(sun_layer, 0, 60), scale=1.0)
    green = ImageChops.add(stretch(sky, 140, 220), stretch(sun_layer, 0, 40), scale=1.0)
    blue = stretch(ImageChops.invert(sky), 120, 255)
    image = Image.merge("RGB", (red, green, blue))
    ground = Image.merge("RGB", (stretch(texture, 60, 150), stretch(texture, 90, 170),
                                 stretch(texture, 30, 80)))
    mask = Image.new("L", size, 0)
    hill = [(0, height * 3 // 5), (width, height // 2), (width, height), (0, height)]
    ImageDraw.Draw(mask).polygon(hill, fill=255)
    image.paste(ground, (0, 0), mask.filter(ImageFilter.GaussianBlur(2)))
    draw = ImageDraw.Draw(image)
    for _ in range(12):
        x, y = rng.randrange(width), rng.randrange(height // 2, height)
        r = rng.randrange(8, 40)
        colour = (rng.randrange(256), rng.randrange(256), rng.randrange(256))
        draw.ellipse((x - r, y - r, x + r, y + r), fill=colour)
    draw.rectangle((width // 10, height // 12, width * 9 // 10, height // 12 + 90), fill=(250, 250, 245),
                   outline=(10, 10, 10), width=4)
    for line, text in enumerate(("QUVO COFFEE ROASTERS", "Receipt logo 576 x 1000", "0123456789 ABCDEFGHIJ")):
        draw.text((width // 10 + 16, height // 12 + 12 + 24 * line), text, fill=(15, 15, 15))
    grain = noise(size, rng, 0).point(lambda v: 128 + (v - 128) // 24)
    image = ImageChops.add(image, Image.merge("RGB", (grain, grain, grain)), scale=1.0, offset=-128)
    return image


def make(path, width, height):
    picture(width, height).save(path)


def lap(laps):
    laps.append((time.perf_counter(), time.thread_time()))


def convert(path, laps):
    """Pillow's pipeline: open and decode, grey, error diffusion to 1 bit, packed bytes; the
    wall and CPU clocks at the end of each stage go into `laps`."""
    lap(laps)
    with Image.open(path) as image:
        image.load()
        lap(laps)
        grey = image.convert("L")
        lap(laps)
        bits = grey.convert("1")
        lap(laps)
        data = bits.tobytes()
        lap(laps)
    return data


def time_runs(path, runs):
    """Prints, for the wall clock and then the CPU clock, the median ms of each stage."""
    convert(path, [])  # warm the file cache and the imports
    stages = {clock: [[] for _ in STAGES] for clock in (0, 1)}
    for _ in range(runs):
        laps = []
        data = convert(path, laps)
        for clock in (0, 1):
            for i in range(len(STAGES) - 1):
                stages[clock][i].append((laps[i + 1][clock] - laps[i][clock]) * 1000.0)
            stages[clock][-1].append((laps[-1][clock] - laps[0][clock]) * 1000.0)
    for clock, name in ((0, "wall"), (1, "cpu")):
        medians = " ".join(f"{stage} {statistics.median(s):.4f}" for stage, s in zip(STAGES, stages[clock]))
        print(f"pillow_{name}_ms {medians} bytes {len(data)}")


def main(argv):
    if len(argv) == 5 and argv[1] == "make":
        make(argv[2], int(argv[3]), int(argv[4]))
    elif len(argv) == 4 and argv[1] == "time":
        time_runs(argv[2], int(argv[3]))
    else:
        sys.stderr.write(__doc__ if __doc__ else "usage: make PATH W H | time PATH RUNS\n")
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
