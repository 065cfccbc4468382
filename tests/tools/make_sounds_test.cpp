// Runs tools/make_sounds.py into a temporary folder: it must write the very files committed in
// data/sounds (the data is what the tool makes, and the tool makes the same each time), and each
// must be a WAV that SDL reads, at a sensible level, free of clicks: one-shots start and end in
// silence without an offset, the wind's loop joins without a seam and has no gap.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "generated_folder.h"

namespace fs = std::filesystem;

namespace {

const char* const kFiles[] = {"wind.wav",       "carve.wav",  "start.wav",   "gate_right.wav",
                              "gate_wrong.wav", "finish.wav", "gameover.wav"};
constexpr int kRate = 22050;

struct Generated : GeneratedFolder {
    Generated() : GeneratedFolder(MAKE_SOUNDS_SCRIPT) {}
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new Generated);

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A generated file read by SDL, as the game reads it, which must be 16-bit mono at kRate; the
// samples as fractions of full scale.
std::vector<double> load(const char* name) {
    SDL_AudioSpec format;
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (SDL_LoadWAV((Generated::folder / name).c_str(), &format, &buffer, &length) == nullptr) {
        ADD_FAILURE() << name << ": " << SDL_GetError();
        return {};
    }
    EXPECT_EQ(format.format, AUDIO_S16LSB) << name;
    EXPECT_EQ(format.freq, kRate) << name;
    EXPECT_EQ(format.channels, 1) << name;
    std::vector<double> samples(length / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(buffer[2 * i] | buffer[2 * i + 1] << 8) / 32768.0;
    }
    SDL_FreeWAV(buffer);
    return samples;
}

// The root mean square of s[from] to s[to - 1].
double rms(const std::vector<double>& s, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) {
        sum += s[i] * s[i];
    }
    return std::sqrt(sum / static_cast<double>(to - from));
}

double db(double amplitude) {
    return 20.0 * std::log10(amplitude);
}

}  // namespace

TEST(MakeSounds, WritesTheCommittedFiles) {
    uintmax_t total = 0;
    for (const char* name : kFiles) {
        const fs::path made = Generated::folder / name;
        ASSERT_TRUE(fs::is_regular_file(made)) << name;
        total += fs::file_size(made);
        EXPECT_TRUE(bytesOf(made) == bytesOf(fs::path(SOUNDS_FOLDER) / name))
            << name << " differs from data/sounds: run tools/make_sounds.py";
    }
    EXPECT_LT(total, 1024u * 1024u) << "small files";
}

TEST(MakeSounds, EverySoundHasASensibleLevelAndTheCuesStartAndEndInSilence) {
    for (const char* name : kFiles) {
        const std::vector<double> s = load(name);
        ASSERT_GT(s.size(), size_t{kRate / 10}) << name;
        double peak = 0.0, sum = 0.0;
        for (double v : s) {
            peak = std::max(peak, std::abs(v));
            sum += v;
        }
        // Loud enough to be heard over the wind, with headroom for the mixer to add cues up.
        EXPECT_GT(db(peak), -12.0) << name;
        EXPECT_LT(db(peak), -5.5) << name;
        EXPECT_LT(std::abs(sum / s.size()), 0.002) << name << ": an offset";
        if (std::string(name) == "wind.wav") {
            continue;
        }
        EXPECT_LT(s.size(), size_t{kRate * 5 / 2}) << name;
        // From nothing and back to nothing: no step at either end. The first millisecond is
        // still rising (a struck chime rises fast, not at once), the last one all but silent.
        const size_t ms = kRate / 1000;
        EXPECT_LT(std::abs(s.front()), 0.001) << name;
        EXPECT_LT(std::abs(s.back()), 0.001) << name;
        EXPECT_LT(rms(s, 0, ms), 0.25 * peak) << name;
        EXPECT_LT(rms(s, s.size() - ms, s.size()), 0.05 * peak) << name;
    }
}

TEST(MakeSounds, TheWindLoopsWithoutASeamOrAGap) {
    const std::vector<double> s = load("wind.wav");
    ASSERT_GT(s.size(), size_t{2 * kRate});
    double steps = 0.0;
    for (size_t i = 1; i < s.size(); ++i) {
        steps += (s[i] - s[i - 1]) * (s[i] - s[i - 1]);
    }
    const double typicalStep = std::sqrt(steps / (s.size() - 1));
    EXPECT_LT(std::abs(s.front() - s.back()), 4.0 * typicalStep)
        << "the loop's join is a step " << std::abs(s.front() - s.back())
        << " where neighbours differ by " << typicalStep;
    // The level may swell and ebb with the gusts, never drop out.
    const size_t quarter = kRate / 4;
    const double overall = rms(s, 0, s.size());
    for (size_t i = 0; i + quarter <= s.size(); i += quarter) {
        EXPECT_GT(db(rms(s, i, i + quarter) / overall), -10.0) << "at " << i / kRate << " s";
    }
}
