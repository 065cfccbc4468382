#include "devices/wavfile.h"

#include <cstdint>
#include <cstring>

namespace {

uint32_t le32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint16_t le16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

// The format chunk's body (at least its 16 bytes of PCM fields) says exactly our format. Fields
// that follow the 16 (an extension's size) are allowed; a format tag of "extensible" is not.
bool isOurFormat(const std::string& b, size_t at, uint32_t length) {
    constexpr int frameBytes = WavFormat::kChannels * WavFormat::kBitsPerSample / 8;
    return length >= 16 && le16(b, at) == 1 /* PCM */ && le16(b, at + 2) == WavFormat::kChannels &&
           le32(b, at + 4) == WavFormat::kRate &&
           le32(b, at + 8) == static_cast<uint32_t>(WavFormat::kRate * frameBytes) &&
           le16(b, at + 12) == frameBytes && le16(b, at + 14) == WavFormat::kBitsPerSample;
}

}  // namespace

std::string checkWavFile(const std::string& bytes, int decodedRate, int decodedFrameBytes,
                         long long maxDecodedBytes) {
    const std::string notOurs = "not 16-bit mono PCM at 22050 Hz";
    // The mixer would try every music format it knows on anything else.
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        return "not a WAV file";
    }
    int formats = 0;
    bool formatOk = false;
    unsigned long long dataBytes = 0;
    bool soundBeforeFormat = false;
    size_t at = 12;
    // Every chunk must lie within the file: SDL allocates a chunk's stated length before it finds
    // the file too short, and a few damaged bytes must not cost gigabytes.
    while (at + 8 <= bytes.size()) {
        const uint32_t length = le32(bytes, at + 4);
        const size_t body = at + 8;
        if (length > bytes.size() - body) {
            return "cut short";
        }
        if (bytes.compare(at, 4, "fmt ") == 0) {
            ++formats;
            formatOk = isOurFormat(bytes, body, length);
        } else if (bytes.compare(at, 4, "data") == 0) {
            soundBeforeFormat = soundBeforeFormat || formats == 0;
            dataBytes += length;
        }
        at = body + length + (length & 1);  // chunks are padded to an even length
    }
    if (formats != 1 || !formatOk || soundBeforeFormat) {
        return notOurs;
    }
    // Frames in the file, at the mixer's rate (rounded up, as a resampler may), in its format.
    constexpr unsigned frameBytes = WavFormat::kChannels * WavFormat::kBitsPerSample / 8;
    const unsigned long long frames = dataBytes / frameBytes;
    const unsigned long long decodedFrames =
        (frames * static_cast<unsigned long long>(decodedRate) + WavFormat::kRate - 1) /
        WavFormat::kRate;
    if (maxDecodedBytes < 0 || decodedFrames * static_cast<unsigned long long>(decodedFrameBytes) >
                                   static_cast<unsigned long long>(maxDecodedBytes)) {
        return "too long";
    }
    return "";
}
