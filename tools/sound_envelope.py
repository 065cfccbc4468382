#!/usr/bin/env python3
"""Shows the loudness envelope of a sound: for each window of time its RMS and peak level in dB
below full scale, a bar, and a rough pitch, half the zero crossings a second (a pure tone of f Hz
reads f; noise reads high, a mix reads between its parts).

    python3 tools/sound_envelope.py FILE.wav [--window MS] [--from S] [--to S]
    python3 tools/sound_envelope.py FILE.raw --raw [--wav OUT.wav] [...]

--raw reads a headerless capture as SDL's "disk" audio driver writes it for the game's mixer:
44100 Hz, 16-bit little-endian, two channels. --wav also writes what was read as a WAV file.
Channels are averaged. Standard library only.
"""

import argparse
import math
import struct
import sys
import wave

RAW_RATE, RAW_CHANNELS = 44100, 2


def read(path, raw):
    """Returns (rate, channels, list of frames as mono floats in [-1, 1], raw interleaved bytes)."""
    if raw:
        with open(path, "rb") as f:
            data = f.read()
        rate, channels = RAW_RATE, RAW_CHANNELS
    else:
        with wave.open(path, "rb") as w:
            if w.getsampwidth() != 2:
                sys.exit(f"{path}: only 16-bit PCM is read")
            rate, channels = w.getframerate(), w.getnchannels()
            data = w.readframes(w.getnframes())
    count = len(data) // (2 * channels)
    values = struct.unpack("<%dh" % (count * channels), data[: count * 2 * channels])
    mono = [sum(values[i * channels:(i + 1) * channels]) / (channels * 32768.0) for i in range(count)]
    return rate, channels, mono, data[: count * 2 * channels]


def rms_step(mono):
    return math.sqrt(sum((a - b) ** 2 for a, b in zip(mono, mono[1:])) / max(1, len(mono) - 1))


def max_step(mono):
    return max((abs(a - b) for a, b in zip(mono, mono[1:])), default=0.0)


def db(x):
    return 20.0 * math.log10(x) if x > 1e-9 else -180.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("file")
    parser.add_argument("--raw", action="store_true")
    parser.add_argument("--wav")
    parser.add_argument("--window", type=float, default=100.0, help="milliseconds")
    parser.add_argument("--from", dest="start", type=float, default=0.0, help="seconds")
    parser.add_argument("--to", dest="end", type=float, default=None, help="seconds")
    args = parser.parse_args()

    rate, channels, mono, data = read(args.file, args.raw)
    if args.wav:
        with wave.open(args.wav, "wb") as w:
            w.setnchannels(channels)
            w.setsampwidth(2)
            w.setframerate(rate)
            w.writeframes(data)

    length = len(mono) / rate
    peak = max((abs(s) for s in mono), default=0.0)
    rms = math.sqrt(sum(s * s for s in mono) / len(mono)) if mono else 0.0
    print(f"{args.file}: {rate} Hz, {channels} channel(s), {length:.3f} s, "
          f"peak {db(peak):.1f} dBFS, RMS {db(rms):.1f} dBFS")
    if mono:
        print(f"first sample {mono[0]:+.4f}, last sample {mono[-1]:+.4f}, "
              f"last-to-first step {abs(mono[-1] - mono[0]):.4f} "
              f"(between neighbours: RMS {rms_step(mono):.4f}, largest {max_step(mono):.4f})")
    step = max(1, int(rate * args.window / 1000.0))
    first = int(args.start * rate)
    last = len(mono) if args.end is None else min(len(mono), int(args.end * rate))
    print("   time    RMS dB  peak dB   ~Hz")
    for i in range(first, last, step):
        part = mono[i:i + step]
        r = math.sqrt(sum(s * s for s in part) / len(part))
        p = max(abs(s) for s in part)
        crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0.0) != (b < 0.0))
        hz = crossings * rate / (2.0 * len(part))
        bar = "#" * max(0, int((db(r) + 60.0) / 1.5))
        print(f"{i / rate:7.2f}  {db(r):7.1f}  {db(p):7.1f}  {hz:5.0f}  {bar}")


if __name__ == "__main__":
    main()
