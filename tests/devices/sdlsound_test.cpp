// The SDL side of the sound, on SDL's "dummy" and "disk" audio drivers (no sound hardware needed):
// quiet when muted, a silent no-op without a device, one line for missing or damaged files
// whatever lies in their place, and a mix, captured to a file, that holds the cues in the order
// they were played, the wind only while it has a volume, and no pile of swishes.
#include "devices/sdlsound.h"

#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFileRate = 22050;

// Each test file is a pure tone of its own frequency, so that the mix tells which one plays.
// 500 Hz apart: well apart for a 10 ms look at the mix.
const std::map<std::string, double> kToneHz = {
    {"gate_wrong.wav", 400.0}, {"start.wav", 900.0},       {"finish.wav", 1400.0},
    {"gameover.wav", 1900.0},  {"gate_right.wav", 2400.0}, {"carve.wav", 2900.0},
    {"wind.wav", 3500.0},
};
constexpr double kToneAmplitude = 0.5;
constexpr double kToneSeconds = 0.25;

void put16(std::string& out, int v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}
void put32(std::string& out, uint32_t v) {
    put16(out, static_cast<int>(v & 0xffff));
    put16(out, static_cast<int>(v >> 16));
}

// A 16-bit mono PCM WAV file at 22050 Hz. dataClaim: the data chunk's length as the header
// states it (normally the samples' size).
std::string wavBytes(const std::vector<int16_t>& samples, uint32_t dataClaim) {
    std::string out = "RIFF";
    put32(out, 36 + dataClaim);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, kFileRate);
    put32(out, kFileRate * 2);
    put16(out, 2);
    put16(out, 16);
    out += "data";
    put32(out, dataClaim);
    for (int16_t s : samples) {
        put16(out, s);
    }
    return out;
}

// A tone with 5 ms raised-cosine fades, which spread it over few neighbouring frequencies; the
// wind's is a loop of a whole number of cycles without fades.
std::string toneWav(const std::string& name) {
    const double hz = kToneHz.at(name);
    const bool loop = name == "wind.wav";
    const int n = static_cast<int>((loop ? 0.5 : kToneSeconds) * kFileRate);
    std::vector<int16_t> samples(n);
    auto rise = [](double x) { return x >= 1.0 ? 1.0 : 0.5 - 0.5 * std::cos(kPi * x); };
    for (int i = 0; i < n; ++i) {
        const double fade =
            loop ? 1.0 : rise(i / (0.005 * kFileRate)) * rise((n - 1 - i) / (0.005 * kFileRate));
        samples[i] = static_cast<int16_t>(std::lround(32767.0 * kToneAmplitude * fade *
                                                      std::sin(2.0 * kPi * hz * i / kFileRate)));
    }
    return wavBytes(samples, static_cast<uint32_t>(n * 2));
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Sets an environment variable while it lives (unset with a null value).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) {
            old_ = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (had_) {
            setenv(name_.c_str(), old_.c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_, old_;
    bool had_ = false;
};

// Collects everything written to the standard error file descriptor while it lives, C++ streams
// and C libraries alike.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = dup(STDERR_FILENO);
        dup2(fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() {
        restore();
        std::fclose(file_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Stops collecting and returns the lines collected.
    std::vector<std::string> lines() {
        restore();
        std::string text;
        std::rewind(file_);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
            text.append(buffer, n);
        }
        std::vector<std::string> result;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                end = text.size();
            }
            result.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return result;
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }

    FILE* file_;
    int saved_ = -1;
};

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

const Cue kAllCues[] = {Cue::Start,  Cue::GateRight, Cue::GateWrong,
                        Cue::Finish, Cue::GameOver,  Cue::Carve};

// A folder of test sounds, and SDL's dummy driver unless a test chooses another.
class SdlSoundTest : public testing::Test {
protected:
    SdlSoundTest() {
        for (const auto& [name, hz] : kToneHz) {
            writeBytes(path(name), toneWav(name));
        }
    }

    std::string path(const std::string& name) const { return folder() + "/" + name; }
    std::string folder() const { return dir.path().toStdString(); }

    // Plays every cue and changes the wind: must be harmless whatever state the sound is in.
    static void playEverything(SdlSound& sound) {
        for (Cue cue : kAllCues) {
            sound.play(CuePlay{cue, 0.7f, -0.5f});
        }
        sound.setWindVolume(0.5f);
        sound.setWindVolume(std::nanf(""));
        sound.play(CuePlay{Cue::Carve, 2.0f, 9.0f});
    }

    QTemporaryDir dir;
    ScopedEnv driver{"SDL_AUDIODRIVER", "dummy"};
};

}  // namespace

TEST_F(SdlSoundTest, MutedOpensNothingAndSaysNothing) {
    StderrCapture err;
    SdlSound sound(folder(), true);
    playEverything(sound);
    EXPECT_FALSE(sound.isOpen());
    EXPECT_FALSE(sound.hasWind());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    EXPECT_TRUE(err.lines().empty());
}

TEST_F(SdlSoundTest, WithoutADeviceItIsASilentNoOpThatSaysSoInOneLine) {
    ScopedEnv none("SDL_AUDIODRIVER", "no-such-audio-driver");
    StderrCapture err;
    {
        SdlSound sound(folder());
        playEverything(sound);
        EXPECT_FALSE(sound.isOpen());
        for (Cue cue : kAllCues) {
            EXPECT_FALSE(sound.hasCue(cue));
        }
    }
    const std::vector<std::string> lines = err.lines();
    ASSERT_EQ(lines.size(), 1u) << joined(lines);
    EXPECT_EQ(lines[0].rfind("Skaldora: no sound: no audio device could be opened (", 0), 0u)
        << lines[0];
    EXPECT_EQ(SDL_WasInit(0), 0u) << "SDL left started";
}

TEST_F(SdlSoundTest, ReadsEveryFileWithoutAWord) {
    StderrCapture err;
    {
        SdlSound sound(folder());
        EXPECT_TRUE(sound.isOpen());
        EXPECT_TRUE(sound.hasWind());
        for (Cue cue : kAllCues) {
            EXPECT_TRUE(sound.hasCue(cue)) << cueFileName(cue);
        }
        playEverything(sound);
    }
    EXPECT_TRUE(err.lines().empty()) << joined(err.lines());
    EXPECT_EQ(SDL_WasInit(0), 0u);
}

TEST_F(SdlSoundTest, WithoutItsFolderItPlaysNothingAndSaysSoInOneLine) {
    StderrCapture err;
    SdlSound sound(folder() + "/nowhere");
    playEverything(sound);
    EXPECT_TRUE(sound.isOpen());
    EXPECT_FALSE(sound.hasWind());
    const std::vector<std::string> lines = err.lines();
    ASSERT_EQ(lines.size(), 1u) << joined(lines);
    EXPECT_NE(lines[0].find("no folder " + folder() + "/nowhere"), std::string::npos) << lines[0];
}

namespace {

enum class Damage {
    Missing,
    Empty,
    Truncated,
    Garbage,
    NotWav,
    HugeClaim,
    NoSamples,
    TooLarge,
    Fifo,
    Folder,
    EndlessDevice
};

struct DamageCase {
    Damage damage;
    const char* name;
    const char* reason;  // what the line says of the file
};

const DamageCase kDamages[] = {
    {Damage::Missing, "Missing", "(missing)"},
    {Damage::Empty, "Empty", "(empty)"},
    {Damage::Truncated, "Truncated", "(cut short)"},
    {Damage::Garbage, "Garbage", "(not a WAV file)"},
    {Damage::NotWav, "NotWav", "(not a WAV file)"},
    {Damage::HugeClaim, "HugeClaim", "(cut short)"},
    {Damage::NoSamples, "NoSamples", "(holds no sound)"},
    {Damage::TooLarge, "TooLarge", "(too large)"},
    {Damage::Fifo, "Fifo", "(not a regular file)"},
    {Damage::Folder, "Folder", "(not a regular file)"},
    {Damage::EndlessDevice, "EndlessDevice", "(not a regular file)"},
};

}  // namespace

TEST_F(SdlSoundTest, ADamagedFileSilencesItsCueAloneWithOneLineNamingIt) {
    for (const std::string file : {"carve.wav", "wind.wav"}) {
        const std::string good = toneWav(file);
        for (const DamageCase& c : kDamages) {
            SCOPED_TRACE(file + " " + c.name);
            const std::string target = path(file);
            std::remove(target.c_str());
            switch (c.damage) {
                case Damage::Missing:
                    break;
                case Damage::Empty:
                    writeBytes(target, "");
                    break;
                case Damage::Truncated:
                    writeBytes(target, good.substr(0, good.size() / 2));
                    break;
                case Damage::Garbage: {
                    std::string bytes(good.size(), 'x');
                    uint32_t state = 12345;
                    for (size_t i = 1; i < bytes.size(); ++i) {
                        state = state * 1103515245u + 12345u;
                        bytes[i] = static_cast<char>(state >> 16);
                    }
                    writeBytes(target, bytes);
                    break;
                }
                case Damage::NotWav:
                    writeBytes(target, "RIFF\x10\0\0\0AVI LIST" + good);
                    break;
                case Damage::HugeClaim: {
                    std::string bytes = good;
                    bytes.replace(40, 4, "\xf0\xff\xff\x7f", 4);  // data chunk length
                    writeBytes(target, bytes);
                    break;
                }
                case Damage::NoSamples:
                    writeBytes(target, wavBytes({}, 0));
                    break;
                case Damage::TooLarge:
                    writeBytes(target, good);
                    ASSERT_EQ(truncate(target.c_str(), 64 * 1024 * 1024), 0);  // sparse
                    break;
                case Damage::Fifo:
                    ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
                    break;
                case Damage::Folder:
                    ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
                    break;
                case Damage::EndlessDevice:
                    ASSERT_EQ(symlink("/dev/zero", target.c_str()), 0);
                    break;
            }

            StderrCapture err;
            const auto start = std::chrono::steady_clock::now();
            {
                SdlSound sound(folder());
                playEverything(sound);
                EXPECT_TRUE(sound.isOpen());
                for (Cue cue : kAllCues) {
                    EXPECT_EQ(sound.hasCue(cue), cueFileName(cue) != file) << cueFileName(cue);
                }
                EXPECT_EQ(sound.hasWind(), file != "wind.wav");
            }
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
            const std::vector<std::string> lines = err.lines();
            ASSERT_EQ(lines.size(), 1u) << joined(lines);
            EXPECT_EQ(lines[0].rfind("Skaldora: sound files missing or damaged, left silent: ", 0),
                      0u)
                << lines[0];
            EXPECT_NE(lines[0].find(target + " " + c.reason), std::string::npos) << lines[0];
            for (const auto& [other, hz] : kToneHz) {
                if (other != file) {
                    EXPECT_EQ(lines[0].find(other), std::string::npos) << lines[0];
                }
            }

            if (c.damage == Damage::Folder) {
                rmdir(target.c_str());
            } else {
                std::remove(target.c_str());
            }
            writeBytes(target, good);
        }
    }
}

namespace {

// A mix captured by SDL's disk driver: 44100 Hz, 16-bit, stereo, averaged to mono.
struct Mix {
    std::vector<float> samples;
    static constexpr int kRate = SdlSound::kRate;
    static constexpr int kWindowSamples = kRate / 100;  // 10 ms

    int windows() const { return static_cast<int>(samples.size()) / kWindowSamples; }

    // The amplitude of the tone of hz in window w (Goertzel, Hann-windowed).
    double amplitude(double hz, int w) const {
        const int n = kWindowSamples;
        const double coefficient = 2.0 * std::cos(2.0 * kPi * hz / kRate);
        double s1 = 0.0, s2 = 0.0, weights = 0.0;
        for (int i = 0; i < n; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2.0 * kPi * i / (n - 1));
            weights += hann;
            const double s = samples[static_cast<size_t>(w) * n + i] * hann + coefficient * s1 - s2;
            s2 = s1;
            s1 = s;
        }
        const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
        return 2.0 * std::sqrt(std::max(0.0, power)) / weights;
    }

    // The windows in which the tone of hz is heard (an amplitude above level).
    std::vector<int> heard(double hz, double level) const {
        std::vector<int> result;
        for (int w = 0; w < windows(); ++w) {
            if (amplitude(hz, w) > level) {
                result.push_back(w);
            }
        }
        return result;
    }

    int loudestWindow(double hz, int from, int to) const {
        int loudest = std::max(0, from);
        for (int w = loudest; w < std::min(to, windows()); ++w) {
            if (amplitude(hz, w) > amplitude(hz, loudest)) {
                loudest = w;
            }
        }
        return loudest;
    }
    double loudest(double hz, int from, int to) const {
        return amplitude(hz, loudestWindow(hz, from, to));
    }
};

Mix readMix(const std::string& file) {
    const std::string bytes = readBytes(file);
    Mix mix;
    for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
        int16_t left, right;
        std::memcpy(&left, bytes.data() + i, 2);
        std::memcpy(&right, bytes.data() + i + 2, 2);
        mix.samples.push_back((left + right) / 65536.0f);
    }
    return mix;
}

}  // namespace

TEST_F(SdlSoundTest, TheMixHoldsTheCuesInOrderTheWindWhileItHasAVolumeAndNoPileOfSwishes) {
    const std::string capture = folder() + "/mix.raw";
    ScopedEnv disk("SDL_AUDIODRIVER", "disk");
    ScopedEnv file("SDL_DISKAUDIOFILE", capture.c_str());
    const Cue order[] = {Cue::Start,  Cue::GateRight, Cue::GateWrong,
                         Cue::Finish, Cue::GameOver,  Cue::Carve};
    {
        SdlSound sound(folder());
        ASSERT_TRUE(sound.isOpen());
        // The driver writes the mix at about the pace a sound card would take it, slower on a
        // busy machine: each step waits until the mix in the file has reached its time.
        auto at = [&](int ms) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            const off_t bytes = static_cast<off_t>(ms) * Mix::kRate / 1000 * 4;
            struct stat info {};
            while ((stat(capture.c_str(), &info) != 0 || info.st_size < bytes) &&
                   std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        };
        for (int i = 0; i < 6; ++i) {
            at(100 + 300 * i);
            sound.play(CuePlay{order[i]});
        }
        at(1900);
        sound.setWindVolume(1.0f);
        at(2300);
        sound.setWindVolume(0.0f);
        // A storm of swishes, with no rules to space them: 40 in 400 ms.
        for (int i = 0; i < 40; ++i) {
            at(2500 + 10 * i);
            sound.play(CuePlay{Cue::Carve});
        }
        at(3200);
    }
    const Mix mix = readMix(capture);
    ASSERT_GT(mix.windows(), 250) << "the disk driver wrote " << mix.samples.size() << " frames";

    // Each cue is heard, in the order played, 300 ms after the one before (give or take the
    // driver's blocks of 23 ms and what the file has not yet been given), and only for its own
    // length.
    const double level = 0.1 * kToneAmplitude;
    int previous = -1;
    for (Cue cue : order) {
        const std::vector<int> heard = mix.heard(kToneHz.at(cueFileName(cue)), level);
        ASSERT_FALSE(heard.empty()) << cueFileName(cue) << " is not heard";
        const int onset = heard.front();
        if (previous >= 0) {
            EXPECT_GT(onset - previous, 20) << cueFileName(cue) << " at " << onset * 10 << " ms";
            EXPECT_LT(onset - previous, 40) << cueFileName(cue) << " at " << onset * 10 << " ms";
        }
        if (cue != Cue::Carve) {
            EXPECT_LE(heard.back() - onset, 28) << cueFileName(cue) << " rings on";
            EXPECT_GT(mix.loudest(kToneHz.at(cueFileName(cue)), onset, onset + 25),
                      0.8 * kToneAmplitude)
                << cueFileName(cue) << " is not at full volume";
        }
        previous = onset;
    }

    // The wind: silent at volume 0, heard at volume 1, silent again at 0.
    const double windHz = kToneHz.at("wind.wav");
    const std::vector<int> wind = mix.heard(windHz, level);
    ASSERT_FALSE(wind.empty()) << "the wind is never heard";
    EXPECT_GT(wind.front(), previous + 15) << "the wind was heard before it had a volume";
    EXPECT_GT(wind.back() - wind.front(), 25);
    EXPECT_LT(wind.back() - wind.front(), 60);
    for (int w : {mix.loudestWindow(windHz, 0, wind.front()),
                  mix.loudestWindow(windHz, wind.back() + 3, mix.windows())}) {
        EXPECT_LT(mix.amplitude(windHz, w), 0.02)
            << "wind at " << w * 10 << " ms, heard from " << wind.front() * 10 << " to "
            << wind.back() * 10 << " ms";
    }

    // The storm: at most two swishes sound at once (one fading out), where forty in a pile, each
    // starting in phase with the others, would add up far beyond that (and clip).
    const double carveHz = kToneHz.at("carve.wav");
    const double single = mix.loudest(carveHz, previous, previous + 25);
    const std::vector<int> carves = mix.heard(carveHz, level);
    ASSERT_GT(carves.back(), wind.back()) << "the storm is not heard";
    EXPECT_LE(mix.loudest(carveHz, wind.back(), mix.windows()), 2.05 * single);
}
