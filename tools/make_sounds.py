#!/usr/bin/env python3
"""Writes the game's sound cues into a folder (default: data/sounds/ beside this tools/ folder).

    python3 tools/make_sounds.py [output-folder]

Seven WAV files, 16-bit mono at 22050 Hz, synthesised from code with the Python standard library
alone, so the output is the same on every run:

  wind.wav       a 4 s loop of wind that the game plays all the time, its volume following the
                 boarder's speed; the loop joins without a seam (see wind()).
  carve.wav      the swish of the board's edge in the snow, played on each turn.
  start.wav      the timing beep when the race clock starts.
  gate_right.wav a bright two-note chime for a gate passed on its right side.
  gate_wrong.wav a low buzz for a gate passed on the wrong side.
  finish.wav     a short brass fanfare at the finish.
  gameover.wav   a falling tone when the endurance is used up.

Every one-shot sound starts and ends at silence through smooth fades, so it never clicks, and
has no DC offset. Peaks are set per sound (PEAK_DB): the cues sit a few dB apart by their part
in the game, the beep and the buzz below the chime and the fanfare, the wind's loop lowest, as
the game raises it with speed and mixes the cues over it.
"""

import math
import os
import struct
import sys

RATE = 22050
NYQUIST_GUARD = 0.45 * RATE  # partials above this would fold back as aliases: left out

# Peak level of each file in dB below full scale.
PEAK_DB = {
    "wind.wav": -9.0,
    "carve.wav": -8.0,
    "start.wav": -10.0,
    "gate_right.wav": -7.0,
    "gate_wrong.wav": -11.0,
    "finish.wav": -6.0,
    "gameover.wav": -9.0,
}

# ---------------------------------------------------------------------------------------------
# Building blocks
# ---------------------------------------------------------------------------------------------


class Noise:
    """White noise in [-1, 1) from a 32-bit xorshift generator: the same numbers everywhere."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x / 2147483648.0 - 1.0


class Biquad:
    """A second-order filter (the audio EQ cookbook's forms), transposed direct form II, whose
    coefficients may be changed between samples without a jump in its state."""

    def __init__(self):
        self.b0 = self.b1 = self.b2 = self.a1 = self.a2 = 0.0
        self.z1 = self.z2 = 0.0

    def _set(self, b0, b1, b2, a0, a1, a2):
        self.b0, self.b1, self.b2 = b0 / a0, b1 / a0, b2 / a0
        self.a1, self.a2 = a1 / a0, a2 / a0

    def bandpass(self, centre, q):
        """Band-pass with 0 dB at its centre frequency (Hz)."""
        w = 2.0 * math.pi * centre / RATE
        alpha = math.sin(w) / (2.0 * q)
        self._set(alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * math.cos(w), 1.0 - alpha)
        return self

    def lowpass(self, cutoff, q=0.7071):
        w = 2.0 * math.pi * cutoff / RATE
        alpha = math.sin(w) / (2.0 * q)
        c = math.cos(w)
        self._set((1.0 - c) / 2.0, 1.0 - c, (1.0 - c) / 2.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha)
        return self

    def highpass(self, cutoff, q=0.7071):
        w = 2.0 * math.pi * cutoff / RATE
        alpha = math.sin(w) / (2.0 * q)
        c = math.cos(w)
        self._set((1.0 + c) / 2.0, -(1.0 + c), (1.0 + c) / 2.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha)
        return self

    def __call__(self, x):
        y = self.b0 * x + self.z1
        self.z1 = self.b1 * x - self.a1 * y + self.z2
        self.z2 = self.b2 * x - self.a2 * y
        return y


def smooth_step(x):
    """0 below 0, 1 above 1, a raised cosine between: a fade without a corner."""
    if x <= 0.0:
        return 0.0
    if x >= 1.0:
        return 1.0
    return 0.5 - 0.5 * math.cos(math.pi * x)


def fades(t, length, attack, release):
    """Gain at time t (s) of a sound of the given length that fades in over attack seconds and
    out over the last release seconds."""
    return smooth_step(t / attack) * smooth_step((length - t) / release)


def seconds(n):
    return int(round(n * RATE))


def mix_into(out, start, samples, gain=1.0):
    """Adds samples to out from index start on, growing out as needed."""
    end = start + len(samples)
    if end > len(out):
        out.extend([0.0] * (end - len(out)))
    for i, s in enumerate(samples):
        out[start + i] += s * gain


def remove_dc(samples):
    mean = sum(samples) / len(samples)
    return [s - mean for s in samples]


def normalised(samples, peak_db):
    peak = max(abs(s) for s in samples)
    gain = 10.0 ** (peak_db / 20.0) / peak
    return [s * gain for s in samples]


def tone(frequency, length, partials, attack, release):
    """A note of the given partials, each (ratio, amplitude, decay seconds or None). Partials too
    high to be sampled are left out."""
    n = seconds(length)
    out = [0.0] * n
    phase = 0.0
    for i in range(n):
        t = i / RATE
        phase += 2.0 * math.pi * frequency / RATE
        s = 0.0
        for ratio, amplitude, decay in partials:
            if ratio * frequency >= NYQUIST_GUARD:
                continue
            a = amplitude if decay is None else amplitude * math.exp(-t / decay)
            s += a * math.sin(ratio * phase)
        out[i] = s * fades(t, length, attack, release)
    return out


# ---------------------------------------------------------------------------------------------
# The sounds
# ---------------------------------------------------------------------------------------------

# Equal-tempered pitches (A4 = 440 Hz).
G4, C5, E5, G5, C6, E6, B6 = 392.00, 523.25, 659.26, 783.99, 1046.50, 1318.51, 1975.53


def start_beep():
    """A timing beep: C6, a quarter of a second, a little hollow (odd partials) so that it cuts
    through the wind without being shrill."""
    partials = [(1.0, 1.0, None), (3.0, 0.18, 0.15), (5.0, 0.06, 0.08)]
    return tone(C6, 0.26, partials, attack=0.006, release=0.05)


def gate_chime():
    """Two struck-bar notes a fifth apart, E6 then B6 75 ms later: a quick rising 'ding-ding'.
    The bar's inharmonic partial (2.76) gives the glassy brightness; the high partials die fast,
    the fundamental rings."""
    partials = [(1.0, 1.0, 0.45), (2.0, 0.25, 0.2), (2.76, 0.32, 0.12), (4.0, 0.08, 0.05)]
    out = []
    mix_into(out, 0, tone(E6, 0.55, partials, attack=0.0015, release=0.15), 0.8)
    mix_into(out, seconds(0.075), tone(B6, 0.75, partials, attack=0.0015, release=0.25), 1.0)
    return out


def gate_buzz():
    """A low buzzer: two sawtooths on A2 (110 Hz) and a semitone above, the clash of the two
    making it sound wrong, band-limited and darkened above 2 kHz; two short pulses."""
    def saw(frequency, length):
        partials = []
        n = 1
        while n * frequency < 6000.0:
            partials.append((float(n), math.exp(-n * frequency / 2000.0) / n, None))
            n += 1
        return tone(frequency, length, partials, attack=0.008, release=0.04)

    out = []
    for start, length in ((0.0, 0.17), (0.22, 0.26)):
        pulse = [a + 0.7 * b for a, b in zip(saw(110.0, length), saw(116.54, length))]
        mix_into(out, seconds(start), pulse)
    return out


def brass(frequency, length, gain, vibrato=None):
    """A brass-like note: harmonics falling as 1/n whose brightness opens in the first 60 ms
    (the 'blat' of a trumpet's attack) and settles, then a soft close. The phase is accumulated
    sample by sample so that a vibrato (rate Hz, depth as a fraction of the frequency, onset s)
    bends every harmonic alike."""
    n = seconds(length)
    out = [0.0] * n
    phase = 0.0
    harmonics = [k for k in range(1, 16) if k * frequency < NYQUIST_GUARD * 0.9]
    for i in range(n):
        t = i / RATE
        f = frequency
        if vibrato is not None:
            rate, depth, onset = vibrato
            f *= 1.0 + depth * smooth_step((t - onset) / 0.2) * math.sin(2.0 * math.pi * rate * t)
        phase += 2.0 * math.pi * f / RATE
        bright = 0.35 + 0.5 * smooth_step(t / 0.06) - 0.15 * smooth_step((t - 0.06) / 0.15)
        s = 0.0
        amplitude = 1.0
        for k in harmonics:
            s += amplitude / k * math.sin(k * phase)
            amplitude *= bright
        swell = 1.0 - 0.15 * smooth_step((t - 0.03) / 0.1)
        out[i] = gain * s * swell * fades(t, length, 0.02, min(0.15, length * 0.3))
    return out


def fanfare():
    """G4 C5 E5 in quick steps, then a held G5 over a C major chord, the top note with vibrato."""
    out = []
    for k, note in enumerate((G4, C5, E5)):
        mix_into(out, seconds(0.14 * k), brass(note, 0.13, 0.8))
    held = 0.42
    mix_into(out, seconds(held), brass(G5, 1.45, 1.0, vibrato=(5.5, 0.006, 0.3)))
    mix_into(out, seconds(held), brass(E5, 1.45, 0.45))
    mix_into(out, seconds(held), brass(C5, 1.45, 0.45))
    mix_into(out, seconds(held), brass(C5 / 2, 1.45, 0.35))
    return out


def falling_tone():
    """A glide down two octaves from A4 with a minor third below it, soft and hollow (odd
    harmonics), slowing as it falls, with a vibrato that widens: the sound of running out."""
    length = 1.6
    n = seconds(length)
    out = [0.0] * n
    phases = [0.0, 0.0]
    for i in range(n):
        t = i / RATE
        fall = 440.0 * 2.0 ** (-2.0 * smooth_step(t / 1.35) ** 0.8)
        wobble = 1.0 + 0.012 * smooth_step((t - 0.3) / 0.8) * math.sin(2.0 * math.pi * 6.0 * t)
        s = 0.0
        for v, (ratio, gain) in enumerate(((1.0, 1.0), (0.8409, 0.5))):
            f = fall * ratio * wobble
            phases[v] += 2.0 * math.pi * f / RATE
            s += gain * (math.sin(phases[v]) + math.sin(3.0 * phases[v]) / 9.0
                         + math.sin(5.0 * phases[v]) / 25.0)
        out[i] = s * fades(t, length, 0.015, 0.35)
    return out


def carve():
    """The board's edge biting into the snow: noise through a band-pass sweeping down from
    3.2 kHz to 1.3 kHz, a little high hiss on top and a grainy flutter for the crunch of snow,
    rising in 40 ms and dying away over a third of a second."""
    length = 0.34
    noise = Noise(0x5EED01)
    grain_noise = Noise(0x5EED02)
    band = Biquad()
    hiss = Biquad().highpass(5000.0)
    grain = Biquad().lowpass(45.0)
    n = seconds(length)
    out = [0.0] * n
    for i in range(n):
        t = i / RATE
        if i % 16 == 0:
            band.bandpass(3200.0 * (1300.0 / 3200.0) ** min(1.0, t / 0.28), 1.4)
        x = noise.next()
        flutter = 1.0 + 3.0 * grain(grain_noise.next())
        s = (band(x) + 0.18 * hiss(x)) * max(0.2, flutter)
        body = smooth_step(t / 0.04) * math.exp(-max(0.0, t - 0.04) / 0.11)
        out[i] = s * body * fades(t, length, 0.002, 0.06)
    return out


def wind():
    """A loop of 4 s of wind: low rushing noise whose colour and loudness follow gusts, with a
    faint whistle in the strongest of them. Everything that changes over time repeats exactly
    every 4 s, and the noise is the same sequence on each round; the filters run through the
    loop twice and only the second round is kept, so its first sample follows the last one as
    smoothly as any two neighbours do."""
    length = 4.0
    n = seconds(length)

    def gust(t):
        u = 2.0 * math.pi * t / length
        return (0.5 + 0.28 * math.sin(u + 0.3) + 0.14 * math.sin(2 * u + 1.7)
                + 0.08 * math.sin(5 * u + 0.5))

    source = Noise(0x3A1D)
    noise_values = [source.next() for _ in range(n)]
    whistle_source = Noise(0x3A1E)
    whistle_values = [whistle_source.next() for _ in range(n)]

    rush = Biquad()
    darken = Biquad().lowpass(900.0)
    rumble = Biquad().lowpass(180.0)
    whistle = Biquad()
    out = [0.0] * n
    for round_ in range(2):
        for i in range(n):
            t = i / RATE
            g = gust(t)
            if i % 16 == 0:
                rush.bandpass(320.0 + 420.0 * g, 0.8)
                whistle.bandpass(850.0 + 500.0 * g, 9.0)
            x = noise_values[i]
            s = darken(rush(x)) + 0.9 * rumble(x) + 0.5 * g * g * whistle(whistle_values[i])
            out[i] = s * (0.45 + 0.55 * g)
    return remove_dc(out)


SOUNDS = {
    "wind.wav": wind,
    "carve.wav": carve,
    "start.wav": start_beep,
    "gate_right.wav": gate_chime,
    "gate_wrong.wav": gate_buzz,
    "finish.wav": fanfare,
    "gameover.wav": falling_tone,
}

# ---------------------------------------------------------------------------------------------
# Output
# ---------------------------------------------------------------------------------------------


def write_wav(path, samples):
    """Writes samples in [-1, 1] as a 16-bit mono PCM WAV file at RATE."""
    data = struct.pack("<%dh" % len(samples),
                       *(max(-32767, min(32767, int(round(s * 32767.0)))) for s in samples))
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data), b"WAVE", b"fmt ", 16, 1, 1,
                         RATE, RATE * 2, 2, 16, b"data", len(data))
    with open(path, "wb") as f:
        f.write(header + data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data", "sounds")
    os.makedirs(out, exist_ok=True)
    for name, make in SOUNDS.items():
        write_wav(os.path.join(out, name), normalised(make(), PEAK_DB[name]))


if __name__ == "__main__":
    main()
