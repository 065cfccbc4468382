// Runs tools/make_sounds.py into a temporary folder: it must write the very files committed in
// data/sounds (the data is what the tool makes, and the tool makes the same each time), and each
// must be a WAV that SDL reads, at a sensible level, free of clicks: one-shots start and end in
// silence without an offset, the wind's loop joins without a seam and has no gap.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kFiles[] = {"wind.wav",       "carve.wav",  "start.wav",   "gate_right.wav",
                              "gate_wrong.wav", "finish.wav", "gameover.wav"};

class Generated : public ::testing::Environment {
public:
    static fs::path folder;

    void SetUp() override {
        char pattern[] = "/tmp/make_sounds_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        const std::string command =
            std::string(PYTHON_EXECUTABLE) + " " + MAKE_SOUNDS_SCRIPT + " " + folder.string();
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    void TearDown() override { fs::remove_all(folder); }
};
fs::path Generated::folder;

const auto* const environment = ::testing::AddGlobalTestEnvironment(new Generated);

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A generated file read by SDL, as the game reads it; the samples as fractions of full scale.
struct Sound {
    int rate = 0;
    int channels = 0;
    std::vector<double> samples;

    double seconds() const { return static_cast<double>(samples.size()) / rate; }
    double peak() const {
        double p = 0.0;
        for (double s : samples) {
            p = std::max(p, std::abs(s));
        }
        return p;
    }
    double rms(size_t from, size_t to) const {
        double sum = 0.0;
        for (size_t i = from; i < to; ++i) {
            sum += samples[i] * samples[i];
        }
        return std::sqrt(sum / static_cast<double>(to - from));
    }
};

Sound load(const char* name) {
    Sound sound;
    SDL_AudioSpec spec;
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (SDL_LoadWAV((Generated::folder / name).c_str(), &spec, &buffer, &length) == nullptr) {
        ADD_FAILURE() << name << ": " << SDL_GetError();
        return sound;
    }
    EXPECT_EQ(spec.format, AUDIO_S16LSB) << name;
    sound.rate = spec.freq;
    sound.channels = spec.channels;
    for (Uint32 i = 0; i + 1 < length; i += 2) {
        const int16_t s = static_cast<int16_t>(buffer[i] | (buffer[i + 1] << 8));
        sound.samples.push_back(s / 32768.0);
    }
    SDL_FreeWAV(buffer);
    return sound;
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

TEST(MakeSounds, EverySoundIsAMonoWavAtASensibleLevel) {
    for (const char* name : kFiles) {
        const Sound s = load(name);
        ASSERT_FALSE(s.samples.empty()) << name;
        EXPECT_EQ(s.rate, 22050) << name;
        EXPECT_EQ(s.channels, 1) << name;
        // Loud enough to be heard over the wind, with headroom for the mixer to add cues up.
        EXPECT_GT(db(s.peak()), -12.0) << name;
        EXPECT_LT(db(s.peak()), -5.5) << name;
        double sum = 0.0;
        for (double v : s.samples) {
            sum += v;
        }
        EXPECT_LT(std::abs(sum / s.samples.size()), 0.002) << name << ": an offset";
    }
}

TEST(MakeSounds, CuesStartAndEndInSilence) {
    for (const char* name : kFiles) {
        if (std::string(name) == "wind.wav") {
            continue;
        }
        const Sound s = load(name);
        ASSERT_GT(s.samples.size(), 100u) << name;
        EXPECT_GT(s.seconds(), 0.1) << name;
        EXPECT_LT(s.seconds(), 2.5) << name;
        // From nothing and back to nothing: no step at either end. The first millisecond is
        // still rising (a struck chime rises fast, not at once), the last one all but silent.
        const size_t ms = s.rate / 1000;
        EXPECT_LT(std::abs(s.samples.front()), 0.001) << name;
        EXPECT_LT(std::abs(s.samples.back()), 0.001) << name;
        EXPECT_LT(s.rms(0, ms), 0.25 * s.peak()) << name;
        EXPECT_LT(s.rms(s.samples.size() - ms, s.samples.size()), 0.05 * s.peak()) << name;
    }
}

TEST(MakeSounds, TheWindLoopsWithoutASeamOrAGap) {
    const Sound s = load("wind.wav");
    ASSERT_GT(s.seconds(), 2.0);
    double steps = 0.0;
    for (size_t i = 1; i < s.samples.size(); ++i) {
        const double d = s.samples[i] - s.samples[i - 1];
        steps += d * d;
    }
    const double typicalStep = std::sqrt(steps / (s.samples.size() - 1));
    EXPECT_LT(std::abs(s.samples.front() - s.samples.back()), 4.0 * typicalStep)
        << "the loop's join is a step " << std::abs(s.samples.front() - s.samples.back())
        << " where neighbours differ by " << typicalStep;
    // The level may swell and ebb with the gusts, never drop out.
    const size_t quarter = s.rate / 4;
    const double overall = s.rms(0, s.samples.size());
    for (size_t i = 0; i + quarter <= s.samples.size(); i += quarter) {
        EXPECT_GT(db(s.rms(i, i + quarter) / overall), -10.0) << "at " << i / s.rate << " s";
    }
}
