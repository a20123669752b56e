"""Small signal-processing kit for the engine sounds: a deterministic noise
source, biquad and one-pole filters, a damped comb for the exhaust pipe.

Lists of floats in, lists of floats out; plain Python so the sounds can be
rebuilt anywhere the standard library is."""

import math


class Rng:
    """xorshift32: fixed sequence for a fixed seed on every platform."""

    def __init__(self, seed):
        self.state = (seed & 0xFFFFFFFF) or 0x9E3779B9

    def next_u32(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def uniform(self):
        """A float in [-1, 1)."""
        return self.next_u32() / 2147483648.0 - 1.0

    def noise(self, n):
        return [self.uniform() for _ in range(n)]


def biquad(kind, freq, q, rate, gain_db=0.0):
    """Coefficients (b0, b1, b2, a1, a2) after the usual audio cookbook forms."""
    w = 2.0 * math.pi * freq / rate
    cw, sw = math.cos(w), math.sin(w)
    alpha = sw / (2.0 * q)
    if kind == "lowpass":
        b0, b1, b2 = (1 - cw) / 2, 1 - cw, (1 - cw) / 2
        a0, a1, a2 = 1 + alpha, -2 * cw, 1 - alpha
    elif kind == "highpass":
        b0, b1, b2 = (1 + cw) / 2, -(1 + cw), (1 + cw) / 2
        a0, a1, a2 = 1 + alpha, -2 * cw, 1 - alpha
    elif kind == "bandpass":          # peak gain 1 at the centre
        b0, b1, b2 = alpha, 0.0, -alpha
        a0, a1, a2 = 1 + alpha, -2 * cw, 1 - alpha
    elif kind == "peak":
        amp = 10 ** (gain_db / 40.0)
        b0, b1, b2 = 1 + alpha * amp, -2 * cw, 1 - alpha * amp
        a0, a1, a2 = 1 + alpha / amp, -2 * cw, 1 - alpha / amp
    else:
        raise ValueError(kind)
    return (b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0)


def run_biquad(x, coeffs):
    b0, b1, b2, a1, a2 = coeffs
    x1 = x2 = y1 = y2 = 0.0
    out = [0.0] * len(x)
    for i, v in enumerate(x):
        y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1 = x1, v
        y2, y1 = y1, y
        out[i] = y
    return out


def one_pole_lowpass(x, cutoff, rate):
    """cutoff: a number, or a list giving the cutoff for every sample."""
    out = [0.0] * len(x)
    y = 0.0
    if isinstance(cutoff, (int, float)):
        k = 1.0 - math.exp(-2.0 * math.pi * cutoff / rate)
        for i, v in enumerate(x):
            y += k * (v - y)
            out[i] = y
    else:
        for i, v in enumerate(x):
            k = 1.0 - math.exp(-2.0 * math.pi * cutoff[i] / rate)
            y += k * (v - y)
            out[i] = y
    return out


def pipe(x, delay, reflection, damping):
    """An exhaust pipe as a comb: the pulse runs to the open end and comes
    back inverted (reflection < 0) and dulled (damping 0..1 is a one-pole
    lowpass in the loop).  delay in samples, may be fractional."""
    n = len(x)
    di = int(delay)
    frac = delay - di
    buf = [0.0] * n
    lp = 0.0
    for i in range(n):
        j = i - di
        fb = 0.0
        if j - 1 >= 0:
            fb = buf[j] * (1.0 - frac) + buf[j - 1] * frac
        elif j >= 0:
            fb = buf[j] * (1.0 - frac)
        lp += (1.0 - damping) * (fb - lp)
        buf[i] = x[i] + reflection * lp
    return buf


def mix(*pairs):
    """mix((gain, signal), ...) -> the weighted sum."""
    n = len(pairs[0][1])
    out = [0.0] * n
    for gain, sig in pairs:
        for i in range(n):
            out[i] += gain * sig[i]
    return out


def soft_clip(x, drive):
    """tanh saturation scaled so small signals pass at unit gain."""
    return [math.tanh(drive * v) / drive for v in x]
