// The WAV check: the game's own format passes, and each field changed from it, each chunk out of
// place, and each file longer than the bound when read is refused, before SDL sees the bytes.
#include "devices/wavfile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

constexpr int kMixRate = 44100;
constexpr int kMixFrameBytes = 4;  // 16-bit stereo

void put(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>(v >> (8 * i));
    }
}

std::string chunk(const char* id, const std::string& body) {
    std::string out(id, 4);
    put(out, static_cast<uint32_t>(body.size()), 4);
    return out + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

// A format chunk's fields; the defaults are the game's own format.
struct Fmt {
    Fmt() = default;
    Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t byteRate, uint16_t blockAlign,
        uint16_t bits, std::string extra = "")
        : tag(tag),
          channels(channels),
          rate(rate),
          byteRate(byteRate),
          blockAlign(blockAlign),
          bits(bits),
          extra(extra) {}
    uint16_t tag = 1, channels = 1;
    uint32_t rate = 22050, byteRate = 44100;
    uint16_t blockAlign = 2, bits = 16;
    std::string extra;
};

std::string fmtChunk(const Fmt& f) {
    std::string body;
    put(body, f.tag, 2);
    put(body, f.channels, 2);
    put(body, f.rate, 4);
    put(body, f.byteRate, 4);
    put(body, f.blockAlign, 2);
    put(body, f.bits, 2);
    return chunk("fmt ", body + f.extra);
}

std::string riff(const std::string& chunks) {
    std::string out = "RIFF";
    put(out, static_cast<uint32_t>(4 + chunks.size()), 4);
    return out + "WAVE" + chunks;
}

std::string wav(const Fmt& f, size_t dataBytes) {
    return riff(fmtChunk(f) + chunk("data", std::string(dataBytes, '\x11')));
}

std::string check(const std::string& bytes, long long maxDecoded = 1 << 20) {
    return checkWavFile(bytes, kMixRate, kMixFrameBytes, maxDecoded);
}

}  // namespace

TEST(WavFile, OnlyTheGamesOwnFormatPasses) {
    const std::string notOurs = "not 16-bit mono PCM at 22050 Hz";
    const struct {
        const char* what;
        Fmt fmt;
        std::string why;
    } cases[] = {
        {"ours", {}, ""},
        {"ours with an empty extension", {1, 1, 22050, 44100, 2, 16, std::string(2, '\0')}, ""},
        {"1 Hz", {1, 1, 1, 2, 2, 16}, notOurs},
        {"100 Hz", {1, 1, 100, 200, 2, 16}, notOurs},
        {"44100 Hz", {1, 1, 44100, 88200, 2, 16}, notOurs},
        {"stereo", {1, 2, 22050, 88200, 4, 16}, notOurs},
        {"no channels", {1, 0, 22050, 0, 0, 16}, notOurs},
        {"8-bit", {1, 1, 22050, 22050, 1, 8}, notOurs},
        {"32-bit float", {3, 1, 22050, 88200, 4, 32}, notOurs},
        {"ADPCM", {2, 1, 22050, 11100, 512, 4}, notOurs},
        {"extensible", {0xFFFE, 1, 22050, 44100, 2, 16, std::string(24, '\0')}, notOurs},
        {"a wrong byte rate", {1, 1, 22050, 1, 2, 16}, notOurs},
        {"a wrong block size", {1, 1, 22050, 44100, 4, 16}, notOurs},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(check(wav(c.fmt, 100)), c.why) << c.what;
    }
}

TEST(WavFile, ChunksMustLieWithinTheFileWithOneFormatAheadOfTheSound) {
    const std::string notOurs = "not 16-bit mono PCM at 22050 Hz";
    const std::string fmt = fmtChunk({});
    const std::string data = chunk("data", std::string(100, '\x11'));
    const std::string good = riff(fmt + data);
    const std::string list = chunk("LIST", std::string("INFOISFT\x05\0\0\0test", 16));
    const struct {
        const char* what;
        std::string bytes;
        std::string why;
    } cases[] = {
        {"a list chunk anywhere", riff(list + fmt + list + data + list), ""},
        {"no sound at all", riff(fmt), ""},  // SDL finds nothing to play: said later
        {"empty", "", "not a WAV file"},
        {"RIFF alone", "RIFF", "not a WAV file"},
        {"another RIFF form", std::string("RIFF\x04\0\0\0AVI ", 12), "not a WAV file"},
        {"cut in the sound", good.substr(0, good.size() - 1), "cut short"},
        {"a chunk claiming 4 GB", riff(fmt) + "data\xff\xff\xff\xff", "cut short"},
        {"no format", riff(data), notOurs},
        {"the sound before the format", riff(data + fmt), notOurs},
        {"two formats", riff(fmt + fmt + data), notOurs},
        {"ours then 1 Hz", riff(fmt + fmtChunk({1, 1, 1, 2, 2, 16}) + data), notOurs},
        {"a format of 14 bytes", riff(chunk("fmt ", fmt.substr(8, 14)) + data), notOurs},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(check(c.bytes), c.why) << c.what;
    }
}

// The bound is on the sound as the mixer holds it: twice the frames (44100 from 22050 Hz), four
// bytes each (16-bit stereo), every data chunk counted.
TEST(WavFile, TheSoundReadIsBoundedWhateverTheChunksSay) {
    const size_t frames = 1000;  // 4000 mixer frames, 16000 bytes
    const std::string one = wav({}, 2 * frames);
    EXPECT_EQ(check(one, 8000), "");
    EXPECT_EQ(check(one, 7999), "too long");
    const std::string data = chunk("data", std::string(frames, '\x11'));
    const std::string split = riff(fmtChunk({}) + data + data);
    EXPECT_EQ(check(split, 8000), "");
    EXPECT_EQ(check(split, 7999), "too long");
    EXPECT_EQ(check(wav({}, 0), 0), "");
    EXPECT_EQ(check(wav({}, 2), 0), "too long");
    EXPECT_EQ(check(wav({}, 2), -1), "too long");
}
