#!/usr/bin/env python3
"""Synthesises the four engine sounds and writes them as RIFF WAVE files.

    engine_sounds.py OUTDIR

An engine is heard mostly through its exhaust: every firing sends a pressure
pulse down the pipe, the pipe rings (a comb: the pulse returns inverted from
the open end), the silencer's chambers colour it, and the firings come at a
rate set by the revs, unevenly for the Coravendia's V-twin and evenly for the
Valtorne's in-line four.  On top sit the rasp of each combustion (a short
noise burst), the ticking valve train and, for the start, the electric
starter.  Every firing gets its own small random variation of strength and
timing, because a perfectly regular train of pulses sounds like a buzzer.

The running sounds are seamless loops: the revs are scaled so that a whole
number of engine cycles fits the loop exactly, all randomness is indexed by
firing number modulo the loop, the pulses wrap around the loop's end, and
the filters are run in over the loop's tail before the kept pass, so the
last sample leads into the first as any other sample leads into the next.

The random source is a fixed xorshift, so the output is the same bytes on
every run."""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import assetlib  # noqa: E402
import dsp  # noqa: E402

COR_RATE = 22050
VALT_RATE = 13000

# Firing points of each cylinder as fractions of the four-stroke cycle (two
# turns of the crank).  A narrow-angle V-twin fires at 0 and 315 degrees of
# the 720: the loping double beat.  An in-line four fires every 180.
VTWIN = (0.0, 315.0 / 720.0)
INLINE_FOUR = (0.0, 0.25, 0.5, 0.75)


# ---------------------------------------------------------------- curves

def curve(points, n, rate):
    """A per-sample curve through (seconds, value) points, eased between
    them so the revs never change with a kink."""
    out = [0.0] * n
    j = 0
    for i in range(n):
        t = i / rate
        while j + 1 < len(points) - 1 and t >= points[j + 1][0]:
            j += 1
        t0, v0 = points[j]
        t1, v1 = points[min(j + 1, len(points) - 1)]
        if t <= t0 or t1 <= t0:
            out[i] = v0 if t <= t0 else v1
            continue
        u = min(1.0, (t - t0) / (t1 - t0))
        u = u * u * (3.0 - 2.0 * u)
        out[i] = v0 + (v1 - v0) * u
    return out


def fit_whole_cycles(rpm, rate):
    """Scales a revs curve so that it holds a whole number of engine cycles:
    a loop that ends where the next engine cycle begins."""
    cycles = sum(rpm) / 120.0 / rate
    whole = max(1, int(round(cycles)))
    k = whole / cycles
    return [v * k for v in rpm], whole


# ---------------------------------------------------------------- engine

def firing_events(rpm, rate, offsets, phase0=0.013):
    """(time in samples, cylinder, firing number) of every firing."""
    events = []
    phase = phase0
    for i, r in enumerate(rpm):
        d = r / 120.0 / rate
        if d <= 0:
            continue
        new = phase + d
        for c, o in enumerate(offsets):
            k = math.floor(new - o)
            if k > math.floor(phase - o):
                t = i + (k + o - phase) / d
                events.append((t, c, len(events)))
        phase = new
    return events


def add_kernel(out, t, length, fn, periodic):
    """Adds fn(dt), dt in samples since t, into out from time t on."""
    n = len(out)
    start = int(math.floor(t))
    for j in range(length):
        dt = start + j - t
        if dt < 0:
            continue
        idx = start + j
        if idx >= n:
            if not periodic:
                break
            idx %= n
        out[idx] += fn(dt)


def excitation(n, rate, rpm, throttle, offsets, seed, periodic, cylinder_trim=None,
               strength=None, pulse_ms=(1.7, 1.0), rasp=0.35, tick=0.05):
    """The raw sources of one engine: (exhaust pulses, valve-train ticks).

    throttle 0..1 per sample sets pulse strength and sharpness; strength,
    when given, multiplies each firing (cranking compressions, misfires)."""
    events = firing_events(rpm, rate, offsets)
    count = max(1, len(events))
    rng = dsp.Rng(seed)
    # One random draw per firing number; for a loop the numbers repeat with
    # the loop, so the variation does too.
    var_amp = [rng.uniform() for _ in range(count)]
    var_time = [rng.uniform() for _ in range(count)]
    var_rasp = [rng.uniform() for _ in range(count)]
    noise = rng.noise(n)
    trim = cylinder_trim or [1.0] * len(offsets)
    pulses = [0.0] * n
    ticks = [0.0] * n
    for (t, c, k) in events:
        i = min(n - 1, int(t))
        thr = throttle[i]
        cyc = 120.0 / max(rpm[i], 1.0) * rate        # samples per engine cycle
        t = t + 0.004 * var_time[k] * cyc
        amp = (0.35 + 0.65 * thr) * trim[c] * (1.0 + 0.12 * var_amp[k])
        if strength is not None:
            amp *= strength[i]
        tau = (pulse_ms[0] + (pulse_ms[1] - pulse_ms[0]) * thr) * rate / 1000.0

        def pulse(dt, a=amp, tau=tau):
            u = dt / tau
            # A sharp pressure rise and a slower fall with a small suck-back.
            return a * (u * math.exp(1.0 - u) - 0.18 * (u / 3.0) * math.exp(1.0 - u / 3.0))
        add_kernel(pulses, t, int(tau * 14) + 2, pulse, periodic)

        rtau = 2.6 * rate / 1000.0
        ramp = amp * rasp * (0.7 + 0.3 * var_rasp[k])

        def burst(dt, a=ramp, rtau=rtau, base=int(t)):
            return a * noise[(base + int(dt)) % n] * math.exp(-dt / rtau)
        add_kernel(pulses, t, int(rtau * 6), burst, periodic)

        # The valves of this cylinder close a little after the firing and
        # again half a cycle later: two small ticks.
        for frac, ta in ((0.18, 1.0), (0.62, 0.8)):
            tt = t + frac * cyc / 2.0
            tk = 0.25 * rate / 1000.0
            a2 = tick * ta * (0.8 + 0.2 * var_amp[(k + 1) % count])

            def click(dt, a=a2, tk=tk, base=int(tt)):
                return a * noise[(base * 7 + int(dt)) % n] * math.exp(-dt / tk)
            add_kernel(ticks, tt, int(tk * 8) + 2, click, periodic)
    return pulses, ticks


def exhaust(pulses, ticks, rate, pipe_m, reflection, formants, lowpass_hz, tick_hz):
    """The pipe, the silencer's resonances and a lowpass for the body; the
    valve ticks through their own band."""
    delay = 2.0 * pipe_m / 343.0 * rate
    x = dsp.pipe(pulses, delay, reflection, 0.35)
    parts = [(0.55, x)]
    for (f, q, g) in formants:
        parts.append((g, dsp.run_biquad(x, dsp.biquad("bandpass", f, q, rate))))
    y = dsp.mix(*parts)
    y = dsp.run_biquad(y, dsp.biquad("lowpass", lowpass_hz, 0.7, rate))
    y = dsp.run_biquad(y, dsp.biquad("highpass", 32.0, 0.7, rate))
    m = dsp.run_biquad(ticks, dsp.biquad("bandpass", tick_hz, 1.2, rate))
    return [a + b for a, b in zip(y, m)]


def warm_loop(make, n, warm):
    """Runs a filter chain over the loop's last `warm` samples followed by
    the loop itself and keeps the loop: the filters enter the loop already in
    the state they leave it in."""
    def chain(x_parts):
        pre = [p[n - warm:] + p for p in x_parts]
        y = make(*pre)
        return y[warm:]
    return chain


# ---------------------------------------------------------------- output

def to_u8(x, gain, fade_in=0, fade_out=0):
    """Scales to 8-bit unsigned around 128; optional raised-cosine fades at
    either end so a one-shot sound starts and stops on the centre line."""
    n = len(x)
    out = []
    for i, v in enumerate(x):
        g = gain
        if fade_in and i < fade_in:
            g *= 0.5 - 0.5 * math.cos(math.pi * i / fade_in)
        if fade_out and i >= n - fade_out:
            g *= 0.5 - 0.5 * math.cos(math.pi * (n - 1 - i) / fade_out)
        s = int(math.floor(128.5 + g * v))
        out.append(min(255, max(0, s)))
    return out


def quiet_seam(channels, rate, search_s=0.15):
    """Turns a periodic loop so that it begins where all channels are calm:
    the seam then falls between two quiet samples instead of on the steep
    edge of a firing pulse.  A loop turned is still the same loop."""
    n = len(channels[0])
    span = int(search_s * rate)
    best = None
    for off in range(-span, span + 1):
        k = off % n
        step = max(abs(ch[k] - ch[k - 1]) for ch in channels)
        level = max(abs(ch[k] - 128) for ch in channels)
        cost = (4 * step + level, abs(off), off)
        if best is None or cost < best[0]:
            best = (cost, k)
    k = best[1]
    return [ch[k:] + ch[:k] for ch in channels]


def peak(x):
    return max(abs(v) for v in x) or 1.0


def press(x, drive=2.2, ref=None):
    """Brings the loudest pulse to 1 and rounds it off with a tanh curve:
    the exhaust's sharpest peaks are tamed, the body of the sound comes up,
    and the 8-bit output spends its few steps on the engine, not on headroom."""
    p = ref or peak(x)
    t = math.tanh(drive)
    return [math.tanh(drive * v / p) / t for v in x]


# ---------------------------------------------------------------- the Coravendia

COR_FORMANTS = ((95.0, 1.4, 0.45), (240.0, 2.0, 0.6), (560.0, 2.0, 0.6), (1300.0, 2.0, 0.4),
                (2600.0, 2.5, 0.18))
COR_PIPE = dict(pipe_m=1.35, reflection=-0.55, formants=COR_FORMANTS, lowpass_hz=5200.0,
                tick_hz=3400.0)
COR_PULSE = dict(pulse_ms=(1.0, 0.55), rasp=0.6, tick=0.08)


def cor_run(n):
    rate = COR_RATE
    T = n / rate
    w = 2.0 * math.pi / T
    # A steady cruise, the revs and throttle breathing a little with the road.
    rpm = [2250.0 * (1.0 + 0.03 * math.sin(w * i / rate) + 0.012 * math.sin(3 * w * i / rate + 1.0))
           for i in range(n)]
    rpm, _ = fit_whole_cycles(rpm, rate)
    thr = [0.62 + 0.08 * math.sin(w * i / rate + 0.4) for i in range(n)]
    pulses, ticks = excitation(n, rate, rpm, thr, VTWIN, seed=0xC0A1, periodic=True,
                               **COR_PULSE)
    chain = warm_loop(lambda p, t: exhaust(p, t, rate, **COR_PIPE), n, warm=min(n, rate // 2))
    return press(chain([pulses, ticks]))


def cor_start(n):
    rate = COR_RATE
    crank_end, catch = 1.12, 0.98
    # Cranking at a few hundred revs, the engine catching, a blip of the
    # throttle, then the revs sinking to a loping idle.
    rpm = curve([(0.0, 0.0), (0.06, 0.0), (0.2, 260.0), (0.9, 300.0), (catch, 330.0),
                 (1.1, 900.0), (1.42, 2700.0), (1.62, 2300.0), (2.05, 1250.0), (2.5, 980.0),
                 (2.8, 940.0), (3.0, 990.0), (3.2, 950.0)], n, rate)
    thr = curve([(0.0, 0.0), (catch, 0.1), (1.15, 0.8), (1.45, 0.9), (1.62, 0.2), (2.2, 0.25),
                 (3.2, 0.22)], n, rate)
    # Before the catch the cylinders only pump air: small puffs.  The first
    # two firings are weak, as a cold engine's are.
    strength = curve([(0.0, 0.16), (catch - 0.01, 0.16), (catch + 0.05, 0.5),
                      (1.12, 1.0), (3.2, 1.0)], n, rate)
    pulses, ticks = excitation(n, rate, rpm, thr, VTWIN, seed=0xC0A2, periodic=False,
                               strength=strength, **COR_PULSE)
    engine = exhaust(pulses, ticks, rate, **COR_PIPE)

    # The starter: a buzzing electric motor whose speed sags on every
    # compression stroke, with the whine of its reduction gears.
    rng = dsp.Rng(0x57A7)
    starter = [0.0] * n
    phase = 0.0
    gear = 0.0
    crank_phase = 0.013
    env = curve([(0.0, 0.0), (0.05, 0.0), (0.09, 1.0), (crank_end - 0.06, 1.0),
                 (crank_end, 0.0), (3.2, 0.0)], n, rate)
    for i in range(n):
        if env[i] <= 0.0 and i / rate > 0.5:
            continue
        crank_phase += rpm[i] / 120.0 / rate if i / rate < crank_end else 0.0
        load = 0.0
        for o in VTWIN:
            u = (crank_phase - o + 0.06) % 1.0
            load += math.exp(-((u - 0.06) / 0.05) ** 2)
        f = 118.0 * (1.0 - 0.28 * load) * min(1.0, (i / rate - 0.05) / 0.12 if i / rate > 0.05 else 0.0)
        phase = (phase + f / rate) % 1.0
        gear = (gear + 11.0 * f / rate) % 1.0
        v = 0.0
        for h in range(1, 14):
            v += math.sin(2.0 * math.pi * h * phase) / h
        v = 0.55 * v + 0.22 * math.sin(2.0 * math.pi * gear) + 0.1 * rng.uniform()
        starter[i] = v * env[i] * (0.75 + 0.25 * load)
    starter = dsp.run_biquad(starter, dsp.biquad("lowpass", 2600.0, 0.7, rate))

    # The solenoid's clunk as the starter engages.
    clunk = [0.0] * n
    rng = dsp.Rng(0xC1C)
    t0 = int(0.045 * rate)
    for j in range(int(0.03 * rate)):
        dt = j / rate
        clunk[t0 + j] = (0.9 * rng.uniform() * math.exp(-dt / 0.004) +
                         0.8 * math.sin(2.0 * math.pi * 85.0 * dt) * math.exp(-dt / 0.012))
    clunk = dsp.run_biquad(clunk, dsp.biquad("lowpass", 1800.0, 0.7, rate))

    return press(dsp.mix((1.0, engine), (0.16, starter), (0.3, clunk)))


def cor_fade(n):
    rate = COR_RATE
    # Riding away: pulling up through second, a change into third, pulling
    # on, while the distance takes the level and the highs.
    rpm = curve([(0.0, 2250.0), (1.05, 3250.0), (1.12, 3300.0), (1.3, 2450.0),
                 (2.2, 2900.0), (3.1, 3150.0)], n, rate)
    thr = curve([(0.0, 0.65), (1.0, 0.95), (1.08, 0.2), (1.26, 0.3), (1.36, 0.9),
                 (3.1, 0.85)], n, rate)
    pulses, ticks = excitation(n, rate, rpm, thr, VTWIN, seed=0xC0A3, periodic=False,
                               **COR_PULSE)
    y = press(exhaust(pulses, ticks, rate, **COR_PIPE))
    cutoff = [7000.0 / (1.0 + 2.2 * (i / rate)) for i in range(n)]
    y = dsp.one_pole_lowpass(y, cutoff, rate)
    T = n / rate
    out = []
    for i, v in enumerate(y):
        t = i / rate
        dist = 1.0 / (1.0 + (t / 1.2) ** 2)
        # The last stretch is eased all the way down to nothing.
        tail = 1.0 if t < T - 0.9 else 0.5 + 0.5 * math.cos(math.pi * (t - (T - 0.9)) / 0.9)
        out.append(v * dist * tail)
    return out


# ---------------------------------------------------------------- the Valtorne

VALT_FORMANTS = ((170.0, 1.6, 0.5), (420.0, 1.2, 0.2), (1000.0, 1.8, 0.45), (2300.0, 2.2, 0.3))


def valt_run(frames):
    rate = VALT_RATE
    T = frames / rate
    # Pulling hard through two gears per loop: the revs climb, the throttle
    # is shut for an instant at the change, the revs drop and climb again.
    half = T / 2.0
    pts = []
    for g in range(2):
        base = g * half
        pts += [(base + 0.0, 9300.0), (base + half - 0.3, 11900.0), (base + half - 0.2, 12000.0),
                (base + half - 0.05, 10200.0)]
    pts.append((T, 9300.0))
    # Start the loop mid-pull so the changes fall inside it, not at the seam.
    shift = 0.4
    rpm_raw = curve(pts, frames, rate)
    k = int(shift * rate)
    rpm = rpm_raw[k:] + rpm_raw[:k]
    rpm, _ = fit_whole_cycles(rpm, rate)
    tpts = []
    for g in range(2):
        base = g * half
        tpts += [(base + 0.0, 0.95), (base + half - 0.3, 1.0), (base + half - 0.27, 0.15),
                 (base + half - 0.1, 0.2), (base + half - 0.04, 0.95)]
    tpts.append((T, 0.95))
    thr_raw = curve(tpts, frames, rate)
    thr = thr_raw[k:] + thr_raw[:k]

    trim = (1.0, 0.84, 1.1, 0.9)       # four cylinders never quite alike
    pulses, ticks = excitation(frames, rate, rpm, thr, INLINE_FOUR, seed=0x7A17,
                               periodic=True, cylinder_trim=trim, pulse_ms=(0.3, 0.2),
                               rasp=0.45, tick=0.07)
    # The intake howl: airbox noise driven by the same firings.
    warm = min(frames, rate // 2)

    def left(p, t):
        return exhaust(p, t, rate, pipe_m=0.34, reflection=-0.45, formants=VALT_FORMANTS,
                       lowpass_hz=4200.0, tick_hz=4300.0)

    def right(p, t):
        return exhaust(p, t, rate, pipe_m=0.37, reflection=-0.42,
                       formants=((190.0, 1.6, 0.5), (460.0, 1.2, 0.18), (1100.0, 1.8, 0.45),
                                 (2600.0, 2.2, 0.3)),
                       lowpass_hz=4600.0, tick_hz=3900.0)

    lch = warm_loop(left, frames, warm)([pulses, ticks])
    # The right ear hears the same engine a fraction of a millisecond later.
    d = 4
    pr = pulses[-d:] + pulses[:-d]
    tr = ticks[-d:] + ticks[:-d]
    rch = warm_loop(right, frames, warm)([pr, tr])
    # Both ears pressed alike, so the balance between them stays.
    p = max(peak(lch), peak(rch))
    return press(lch, 1.8, ref=p), press(rch, 1.8, ref=p)


# ---------------------------------------------------------------- main

COR_START_BYTES = 69800
COR_RUN_BYTES = 64806
COR_FADE_BYTES = 66420
VALT_RUN_BYTES = 162500


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: engine_sounds.py OUTDIR")
    outdir = argv[1]
    run = cor_run(COR_RUN_BYTES)
    gain = 100.0 / peak(run)          # the cruise sets the Coravendia's level
    start = cor_start(COR_START_BYTES)
    start_gain = min(gain, 112.0 / peak(start))
    fade = cor_fade(COR_FADE_BYTES)
    fade_gain = min(gain, 112.0 / peak(fade))
    rate = COR_RATE
    files = {
        "cor_run.wav": (1, rate, quiet_seam([to_u8(run, gain)], rate)[0]),
        "cor_start.wav": (1, rate, to_u8(start, start_gain, fade_in=int(0.004 * rate),
                                          fade_out=int(0.04 * rate))),
        "cor_fade.wav": (1, rate, to_u8(fade, fade_gain, fade_in=int(0.004 * rate),
                                         fade_out=int(0.05 * rate))),
    }
    lch, rch = valt_run(VALT_RUN_BYTES // 2)
    vgain = 104.0 / max(peak(lch), peak(rch))
    lq, rq = quiet_seam([to_u8(lch, vgain), to_u8(rch, vgain)], VALT_RATE)
    inter = [0] * (2 * len(lq))
    inter[0::2] = lq
    inter[1::2] = rq
    files["valt_run.wav"] = (2, VALT_RATE, inter)
    for name, (ch, r, samples) in files.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(assetlib.wave_bytes(ch, r, samples))


if __name__ == "__main__":
    main(sys.argv)
