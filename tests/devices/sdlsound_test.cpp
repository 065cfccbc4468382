// The SDL side of the sound, on SDL's "dummy" and "disk" audio drivers (no sound hardware needed):
// quiet when muted, a silent no-op without a device, one line for missing or damaged files
// whatever lies in their place, and a mix, captured to a file, that holds the cues in the order
// they were played, the wind only while it has a volume, and no pile of swishes.
#include "devices/sdlsound.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "devices/sdllibrary.h"
#include "support/fd_capture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFileRate = 22050;
constexpr double kToneAmplitude = 0.5;

// Each test file is a pure tone of its own frequency, so that the mix tells which one plays.
// 500 Hz apart: well apart for a 10 ms look at the mix.
const std::map<std::string, double> kToneHz = {
    {"gate_wrong.wav", 400.0}, {"start.wav", 900.0},       {"finish.wav", 1400.0},
    {"gameover.wav", 1900.0},  {"gate_right.wav", 2400.0}, {"carve.wav", 2900.0},
    {"wind.wav", 3500.0},
};
const Cue kAllCues[] = {Cue::Start,  Cue::GateRight, Cue::GateWrong,
                        Cue::Finish, Cue::GameOver,  Cue::Carve};

// A 16-bit mono PCM WAV file at 22050 Hz. dataClaim: the data chunk's length as the header
// states it (normally the samples' size).
std::string wavBytes(const std::vector<int16_t>& samples, uint32_t dataClaim) {
    std::string out;
    const auto put = [&out](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out += static_cast<char>(v >> (8 * i));
        }
    };
    out += "RIFF";
    put(36 + dataClaim, 4);
    out += "WAVEfmt ";
    put(16, 4);
    put(1 | 1 << 16, 4);  // PCM, mono
    put(kFileRate, 4);
    put(kFileRate * 2, 4);
    put(2 | 16 << 16, 4);  // bytes per frame, bits per sample
    out += "data";
    put(dataClaim, 4);
    for (int16_t v : samples) {
        put(static_cast<uint16_t>(v), 2);
    }
    return out;
}

// A quarter-second tone with 5 ms raised-cosine fades, which spread it over few neighbouring
// frequencies; the wind's is a loop of a whole number of cycles without fades.
std::string toneWav(const std::string& name) {
    const double hz = kToneHz.at(name);
    const bool loop = name == "wind.wav";
    const int n = static_cast<int>((loop ? 0.5 : 0.25) * kFileRate);
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

bool writeBytes(const std::string& path, const std::string& bytes) {
    return static_cast<bool>(std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes);
}

// A folder of test sounds, and SDL's dummy driver unless a test chooses another.
class SdlSoundTest : public testing::Test {
protected:
    SdlSoundTest() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
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
};

}  // namespace

// Muted, without a device or without its folder, the sound plays nothing and says why in one
// line (muted: nothing), and leaves no part of SDL started.
TEST_F(SdlSoundTest, MutedWithoutADeviceOrWithoutItsFolderItIsASilentNoOp) {
    const struct {
        const char* driver;
        std::string folder;
        bool muted, open;
        std::string says;  // the start of its line
    } cases[] = {
        {"dummy", folder(), true, false, ""},
        {"no-such-audio-driver", folder(), false, false,
         "Skaldora: no sound: no audio device could be opened ("},
        {"dummy", folder() + "/nowhere", false, true,
         "Skaldora: sound files missing, left silent: no folder " + folder() + "/nowhere\n"},
    };
    for (const auto& c : cases) {
        setenv("SDL_AUDIODRIVER", c.driver, 1);
        FdCapture err(2);
        {
            SdlSound sound(c.folder, c.muted);
            playEverything(sound);
            EXPECT_EQ(sound.isOpen(), c.open) << c.says;
            EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO) != 0, c.open) << c.says;
            EXPECT_FALSE(sound.hasWind() || sound.hasCue(Cue::Start)) << c.says;
        }
        const std::string text = err.text();
        EXPECT_EQ(text.rfind(c.says, 0), 0u) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.muted ? 0 : 1) << text;
        EXPECT_EQ(SDL_WasInit(0), 0u) << "SDL left started: " << c.says;
    }
}

// All files sound, or one of them is damaged in one way: that one alone is silent, named in one
// line with what is wrong with it, and nothing waits on what lies in its place.
TEST_F(SdlSoundTest, ADamagedFileSilencesItsCueAloneWithOneLineNamingIt) {
    // Each damage puts something in the file's place: true when it could.
    using Make = std::function<bool(const std::string& target, const std::string& good)>;
    const struct {
        const char* what;  // also what the line says of the file; null: nothing is wrong
        Make make;
    } damages[] = {
        {nullptr, [](auto& t, auto& good) { return writeBytes(t, good); }},
        {"missing", [](auto&, auto&) { return true; }},
        {"empty", [](auto& t, auto&) { return writeBytes(t, ""); }},
        {"cut short", [](auto& t, auto& good) { return writeBytes(t, good.substr(0, 100)); }},
        {"cut short",  // a data chunk far longer than the file
         [](auto& t, auto& good) {
             return writeBytes(t, std::string(good).replace(40, 4, "\xf0\xff\xff\x7f"));
         }},
        {"not a WAV file",
         [](auto& t, auto& good) { return writeBytes(t, std::string(good.size(), 'x')); }},
        {"not a WAV file",
         [](auto& t, auto& good) {
             return writeBytes(t, std::string("RIFF\x10\0\0\0AVI LIST", 16) + good);
         }},
        {"holds no sound", [](auto& t, auto&) { return writeBytes(t, wavBytes({}, 0)); }},
        // SDL would make 4.4 million frames of these 100 samples at 1 Hz (a 40 KB file: 3.5 GB).
        {"not 16-bit mono PCM at 22050 Hz",
         [](auto& t, auto&) {
             return writeBytes(t, std::string(wavBytes(std::vector<int16_t>(100), 200))
                                      .replace(24, 8, std::string("\1\0\0\0\2\0\0\0", 8)));
         }},
        {"not 16-bit mono PCM at 22050 Hz",  // stereo
         [](auto& t, auto& good) { return writeBytes(t, std::string(good).replace(22, 1, "\2")); }},
        {"too long",  // 61 s
         [](auto& t, auto&) {
             return writeBytes(t,
                               wavBytes(std::vector<int16_t>(61 * kFileRate), 61 * kFileRate * 2));
         }},
        {"too large",  // a sparse file
         [](auto& t, auto& good) {
             return writeBytes(t, good) && truncate(t.c_str(), 64 << 20) == 0;
         }},
        {"not a regular file", [](auto& t, auto&) { return mkfifo(t.c_str(), 0600) == 0; }},
        {"not a regular file", [](auto& t, auto&) { return symlink("/dev/zero", t.c_str()) == 0; }},
    };
    for (const std::string file : {"carve.wav", "wind.wav"}) {
        const std::string target = path(file);
        const std::string good = toneWav(file);
        for (const auto& d : damages) {
            SCOPED_TRACE(file + " " + (d.what ? d.what : "sound"));
            std::remove(target.c_str());
            ASSERT_TRUE(d.make(target, good));
            FdCapture err(2);
            {
                SdlSound sound(folder());
                playEverything(sound);
                EXPECT_TRUE(sound.isOpen());
                for (Cue cue : kAllCues) {
                    EXPECT_EQ(sound.hasCue(cue), !d.what || cueFileName(cue) != file)
                        << cueFileName(cue);
                }
                EXPECT_EQ(sound.hasWind(), !d.what || file != "wind.wav");
            }
            EXPECT_EQ(err.text(),
                      d.what ? "Skaldora: sound files missing or damaged, left silent: " + target +
                                   " (" + d.what + ")\n"
                             : "");
            EXPECT_EQ(SDL_WasInit(0), 0u) << "SDL left started";
        }
        std::remove(target.c_str());
        writeBytes(target, good);
    }
}

namespace {

// A mix captured by SDL's disk driver: 44100 Hz, 16-bit, stereo, averaged to mono, looked at in
// windows of 10 ms.
struct Mix {
    static constexpr int kRate = SdlSound::kRate;
    static constexpr int kWindowSamples = kRate / 100;

    explicit Mix(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
            int16_t frame[2];
            std::memcpy(frame, bytes.data() + i, 4);
            samples.push_back((frame[0] + frame[1]) / 65536.0f);
        }
    }
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
    // The tone's largest amplitude in windows from .. to - 1.
    double loudest(double hz, int from, int to) const {
        double most = 0.0;
        for (int w = std::max(0, from); w < std::min(to, windows()); ++w) {
            most = std::max(most, amplitude(hz, w));
        }
        return most;
    }

    std::vector<float> samples;
};

}  // namespace

TEST_F(SdlSoundTest, TheMixHoldsTheCuesInOrderTheWindWhileItHasAVolumeAndNoPileOfSwishes) {
    const std::string capture = folder() + "/mix.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
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
            sound.play(CuePlay{kAllCues[i]});
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
    const Mix mix(capture);
    ASSERT_GT(mix.windows(), 250) << "the disk driver wrote " << mix.samples.size() << " frames";

    // Each cue is heard, in the order played, 300 ms after the one before (give or take the
    // driver's blocks of 23 ms and what the file has not yet been given), and only for its own
    // length.
    const double level = 0.1 * kToneAmplitude;
    int previous = -1;
    for (Cue cue : kAllCues) {
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
    EXPECT_LT(mix.loudest(windHz, 0, wind.front()), 0.02) << "before " << wind.front() * 10;
    EXPECT_LT(mix.loudest(windHz, wind.back() + 3, mix.windows()), 0.02)
        << "after " << wind.back() * 10;

    // The storm: at most two swishes sound at once (one fading out), where forty in a pile, each
    // starting in phase with the others, would add up far beyond that (and clip).
    const double carveHz = kToneHz.at("carve.wav");
    const double single = mix.loudest(carveHz, previous, previous + 25);
    const std::vector<int> carves = mix.heard(carveHz, level);
    ASSERT_GT(carves.back(), wind.back()) << "the storm is not heard";
    EXPECT_LE(mix.loudest(carveHz, wind.back(), mix.windows()), 2.05 * single);
}

// The devices open SDL themselves. In a program that links SDL as well (this one), they must reach
// the very library it holds: two copies would start and stop SDL's state apart from each other.
TEST(SdlLibraryTest, EveryFunctionIsFoundInTheLibraryTheProgramAlreadyHolds) {
    std::string why;
    const SdlFunctions* sdl = sdlFunctions(&why);
    ASSERT_NE(sdl, nullptr) << why;
    const MixerFunctions* mix = mixerFunctions(&why);
    ASSERT_NE(mix, nullptr) << why;
#define EXPECT_FOUND(table, name) EXPECT_NE(table->name, nullptr) << #name;
#define EXPECT_SDL_FOUND(name) EXPECT_FOUND(sdl, name)
#define EXPECT_MIXER_FOUND(name) EXPECT_FOUND(mix, name)
    SKALDORA_SDL_FUNCTIONS(EXPECT_SDL_FOUND)
    SKALDORA_MIXER_FUNCTIONS(EXPECT_MIXER_FOUND)
#undef EXPECT_MIXER_FOUND
#undef EXPECT_SDL_FOUND
#undef EXPECT_FOUND
    EXPECT_EQ(sdl->SDL_WasInit, &SDL_WasInit);
    EXPECT_EQ(sdl->SDL_InitSubSystem, &SDL_InitSubSystem);
    // Asked again, the same tables.
    EXPECT_EQ(sdlFunctions(), sdl);
    EXPECT_EQ(mixerFunctions(), mix);
}
