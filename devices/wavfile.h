#ifndef DEVICES_WAVFILE_H
#define DEVICES_WAVFILE_H

#include <string>

// The one kind of WAV file the game plays, judged from its bytes before SDL sees them: a RIFF
// WAVE file whose every chunk lies within it, with one format chunk, ahead of the sound, that
// says 16-bit mono PCM at 22050 Hz (what the game's own sounds are, see tools/make_sounds.py).
// Anything else is refused, however well SDL would read it: SDL converts every file to the mixer's
// rate without a bound on the result, and a file that claims 1 Hz becomes a million times larger.
//
// Pure computation, no SDL; safe from any thread.

// The format the game's sound files are in.
struct WavFormat {
    static constexpr int kRate = 22050;  // frames per second
    static constexpr int kChannels = 1;
    static constexpr int kBitsPerSample = 16;
};

// Checks bytes, a whole file. decodedFrameBytes and decodedRate: one frame's size and the frames
// per second of the mixer's own format, which the sound becomes when it is read; maxDecodedBytes
// bounds the sound's size in that format (every data chunk together). Returns "" for a file the
// game plays, else why not: "not a WAV file", "cut short" (a chunk reaches past the end), "not
// 16-bit mono PCM at 22050 Hz" (no format chunk before the sound, or one of another format, or
// more than one), "too long" (more than maxDecodedBytes when read).
std::string checkWavFile(const std::string& bytes, int decodedRate, int decodedFrameBytes,
                         long long maxDecodedBytes);

#endif  // DEVICES_WAVFILE_H
