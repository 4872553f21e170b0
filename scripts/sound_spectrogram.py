#!/usr/bin/env python3
"""Records a robot race with --record-audio and draws the recording's spectrogram above the
leading robot's rpm trace, as one PNG. Needs only python3 (zlib for the PNG).

    scripts/sound_spectrogram.py [--zelvo build/zelvo] [--seconds 20] [--out sound.png]
                                 [--audio FILE --demo FILE]   (draw an existing recording)

The game runs on SDL's offscreen video driver with a home folder of its own, one robot on the
gate and a locked frame rate; it ends when the recording holds the seconds asked for.
"""
import argparse, cmath, math, os, shutil, signal, struct, subprocess, sys, tempfile, time, zlib

RATE, TIC_SAMPLES = 88320, 690  # the recording: 16-bit mono, one tic = 690 samples


def record(zelvo, seconds, robots):
    home = tempfile.mkdtemp(prefix="zv_sound_")
    os.makedirs(os.path.join(home, "Zelvo"))
    with open(os.path.join(home, "Zelvo", "config"), "w") as f:
        f.write("record=Yes\nlaps=1\nminutes=0\nskill=Expert\n")
        for i in range(40):
            f.write("slot%02d=%s\n" % (i, "Robot" if i < robots else "Empty"))
    audio = os.path.join(home, "race.raw")
    env = dict(os.environ, XDG_DATA_HOME=home, HOME=home, SDL_VIDEODRIVER="offscreen",
               LIBGL_ALWAYS_SOFTWARE="1", SDL_AUDIODRIVER="dummy")
    env.setdefault("ZV_HOME", os.path.dirname(os.path.abspath(zelvo)))
    p = subprocess.Popen([zelvo, "--lock-fps", "32", "--width", "320", "--height", "240",
                          "--record-audio", audio, "--track", "pinehollow"], env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    want = seconds * RATE * 2
    start = time.time()
    while p.poll() is None and time.time() - start < 30 * seconds:
        if os.path.exists(audio) and os.path.getsize(audio) >= want:
            break
        time.sleep(0.5)
    if p.poll() is None:
        p.send_signal(signal.SIGTERM)  # SDL turns it into a quit: a clean shutdown
        try:
            p.wait(60)
        except subprocess.TimeoutExpired:
            p.kill()
    return home, audio, os.path.join(home, "Zelvo", "demos", "default.zvdemo")


def demo_rpm(path, tics):
    """rpm of rider 0 by tic (every fourth tic holds a state), None where unknown."""
    d = open(path, "rb").read()
    off = 0
    riders = int(d[: d.index(b"\n")].split()[1])
    for _ in range(2 + 4 * riders):
        off = d.index(b"\n", off) + 1
    rpm, prev = [None] * tics, 0
    while off + 9 <= len(d):
        n = struct.unpack("<I", d[off : off + 4])[0] ^ prev
        if off + 9 + n > len(d):
            break
        if d[off + 8] == 1:
            for e in range(0, n - 43, 44):
                s = d[off + 9 + e : off + 9 + e + 44]
                tic = struct.unpack("<i", s[1:5])[0]
                if s[0] == 0 and 0 <= tic < tics:
                    rpm[tic] = (s[42] | s[43] << 8) / 1.9999695
        prev, off = n, off + 9 + n
    last = 0.0
    for i in range(tics):  # hold the last known value between records
        last = rpm[i] if rpm[i] is not None else last
        rpm[i] = last
    return rpm


def fft(x):
    n = len(x)
    j = 0
    x = list(x)
    for i in range(1, n):  # bit reversal
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            x[i], x[j] = x[j], x[i]
    size = 2
    while size <= n:
        w = [cmath.exp(-2j * math.pi * k / size) for k in range(size // 2)]
        for s in range(0, n, size):
            for k in range(size // 2):
                a, b = x[s + k], x[s + k + size // 2] * w[k]
                x[s + k], x[s + k + size // 2] = a + b, a - b
        size *= 2
    return x


def colour(v):  # 0-1 to black, blue, red, yellow, white
    stops = [(0, 0, 0), (30, 20, 120), (200, 30, 40), (250, 200, 40), (255, 255, 255)]
    v = min(max(v, 0.0), 1.0) * (len(stops) - 1)
    i = min(int(v), len(stops) - 2)
    f = v - i
    return tuple(int(stops[i][c] + f * (stops[i + 1][c] - stops[i][c])) for c in range(3))


def write_png(path, width, height, rows):
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    def chunk(t, data):
        return struct.pack(">I", len(data)) + t + data + struct.pack(">I", zlib.crc32(t + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def draw(audio, demo, out, seconds):
    raw = open(audio, "rb").read()
    n = min(len(raw) // 2, seconds * RATE)
    pcm = struct.unpack("<%dh" % n, raw[: n * 2])
    # Down to 22080 Hz (mean of four), spectra of 1024 samples every 512 (23 ms).
    x = [sum(pcm[i : i + 4]) / 4.0 for i in range(0, n - 3, 4)]
    rate, N, hop = RATE / 4, 1024, 512
    win = [0.5 - 0.5 * math.cos(2 * math.pi * i / N) for i in range(N)]
    fmax, H, R = 5000.0, 360, 160  # spectrogram up to 5 kHz; rpm panel height
    bins = int(fmax / rate * N)
    cols = []
    for s in range(0, len(x) - N, hop):
        spec = fft([x[s + i] * win[i] for i in range(N)])
        cols.append([20 * math.log10(abs(spec[k]) + 1e-3) for k in range(bins)])
    W = len(cols)
    top = max(max(c) for c in cols)
    rows = []
    for y in range(H):
        k = int((H - 1 - y) / H * bins)
        row = []
        for c in cols:
            row.extend(colour((c[k] - (top - 70)) / 70))
        rows.append(row)
    tics = n // TIC_SAMPLES
    rpm = demo_rpm(demo, tics)
    rmax = max(max(rpm), 1.0)
    panel = [[24, 24, 24] * W for _ in range(R)]
    for r in range(0, int(rmax) + 1, 2000):  # grid every 2000 rpm
        yy = R - 1 - int(r / rmax * (R - 8))
        for px in range(W):
            panel[yy][3 * px : 3 * px + 3] = [70, 70, 70]
    for px in range(W):
        t = min(int((px * hop + N / 2) / rate * 128), tics - 1)
        yy = R - 1 - int(rpm[t] / rmax * (R - 8))
        for dy in (0, 1):
            if 0 <= yy - dy < R:
                panel[yy - dy][3 * px : 3 * px + 3] = [80, 230, 120]
    sep = [[255, 255, 255] * W]
    write_png(out, W, H + 1 + R, rows + sep + panel)
    print("%s: %d x %d, %.1f s, spectrogram 0-%d Hz, rpm 0-%d (grid 2000)" %
          (out, W, H + 1 + R, n / RATE, fmax, rmax))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zelvo", default="build/zelvo")
    ap.add_argument("--seconds", type=int, default=20)
    ap.add_argument("--robots", type=int, default=1)
    ap.add_argument("--out", default="sound_spectrogram.png")
    ap.add_argument("--audio")
    ap.add_argument("--demo")
    a = ap.parse_args()
    home = None
    if a.audio and a.demo:
        audio, demo = a.audio, a.demo
    else:
        home, audio, demo = record(a.zelvo, a.seconds, a.robots)
    try:
        draw(audio, demo, a.out, a.seconds)
    finally:
        if home:
            shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
