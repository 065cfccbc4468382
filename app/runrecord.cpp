#include "app/runrecord.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

namespace {

constexpr char magic[8] = {'S', 'K', 'A', 'L', 'D', 'R', 'U', 'N'};
constexpr std::size_t headerBytes = 36;
constexpr std::size_t stepBytes = 20;
constexpr std::size_t gateBytes = 12;
constexpr std::size_t crcBytes = 4;

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xffu);
    }
}

void putU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xffu);
    }
}

void putF32(std::string& out, float v) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    putU32(out, bits);
}

// Reads little-endian numbers from a buffer whose size the caller has checked.
class Reader {
public:
    // Reads bytes from offset start on; bytes must outlive the reader.
    Reader(const std::string& bytes, std::size_t start)
        : p_(reinterpret_cast<const unsigned char*>(bytes.data())), at_(start) {}

    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v |= static_cast<std::uint32_t>(p_[at_ + i]) << (8 * i);
        }
        at_ += 4;
        return v;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::int64_t i64() {
        const std::uint64_t low = u32();
        const std::uint64_t high = u32();
        return static_cast<std::int64_t>(low | (high << 32));
    }
    float f32() {
        const std::uint32_t bits = u32();
        float v = 0.0f;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

private:
    const unsigned char* p_;
    std::size_t at_;
};

RunFileStatus refuse(RunFileStatus status, std::string* why, std::string words) {
    if (why != nullptr) {
        *why = std::move(words);
    }
    return status;
}

}  // namespace

RunStep RunRecord::at(long long ms) const {
    assert(!steps.empty());
    // The first step after ms; equal times take the later step.
    const auto next = std::upper_bound(steps.begin(), steps.end(), ms,
                                       [](long long t, const RunStep& s) { return t < s.ms; });
    if (next == steps.begin()) {
        return steps.front();
    }
    if (next == steps.end()) {
        return steps.back();
    }
    const RunStep& a = *(next - 1);
    const RunStep& b = *next;
    const double f = static_cast<double>(ms - a.ms) / static_cast<double>(b.ms - a.ms);
    RunStep s;
    s.ms = static_cast<std::int32_t>(ms);
    s.x = static_cast<float>(a.x + (b.x - a.x) * f);
    s.z = static_cast<float>(a.z + (b.z - a.z) * f);
    s.heading = static_cast<float>(a.heading + (b.heading - a.heading) * f);
    s.speed = static_cast<float>(a.speed + (b.speed - a.speed) * f);
    return s;
}

long long RunRecord::gateMs(int gate) const {
    for (const RunGate& g : gates) {
        if (g.gate == gate) {
            return g.ms;
        }
    }
    return -1;
}

std::uint32_t crc32(const unsigned char* data, std::size_t size) {
    static const auto table = [] {
        std::uint32_t t[256];
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return std::vector<std::uint32_t>(t, t + 256);
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        c = table[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

std::string encodeRun(const RunRecord& run) {
    assert(!run.steps.empty() && run.steps.size() <= RunRecord::maxSteps);
    assert(run.gates.size() <= RunRecord::maxGates);
    std::string out(magic, sizeof magic);
    out.reserve(headerBytes + run.steps.size() * stepBytes + run.gates.size() * gateBytes +
                crcBytes);
    putU32(out, RunRecord::formatVersion);
    putU32(out, static_cast<std::uint32_t>(run.runMs));
    putU32(out, static_cast<std::uint32_t>(run.gateFailures));
    putU64(out, static_cast<std::uint64_t>(run.totalMs));
    putU32(out, static_cast<std::uint32_t>(run.steps.size()));
    putU32(out, static_cast<std::uint32_t>(run.gates.size()));
    for (const RunStep& s : run.steps) {
        putU32(out, static_cast<std::uint32_t>(s.ms));
        putF32(out, s.x);
        putF32(out, s.z);
        putF32(out, s.heading);
        putF32(out, s.speed);
    }
    for (const RunGate& g : run.gates) {
        putU32(out, static_cast<std::uint32_t>(g.gate));
        putU32(out, static_cast<std::uint32_t>(g.ms));
        putU32(out, g.wrongSide ? 1u : 0u);
    }
    putU32(out, crc32(reinterpret_cast<const unsigned char*>(out.data()), out.size()));
    return out;
}

RunFileStatus decodeRun(const std::string& bytes, RunRecord& run, std::string* why) {
    // Checked in this order, stopping at the first problem: size, magic, version (a later
    // version may lay out the rest differently), header, counts, total size, CRC, values.
    if (bytes.size() > RunRecord::maxFileBytes) {
        return refuse(RunFileStatus::TooLarge, why,
                      "is larger than " + std::to_string(RunRecord::maxFileBytes) + " bytes");
    }
    if (bytes.size() < 12 || std::memcmp(bytes.data(), magic, sizeof magic) != 0) {
        return refuse(RunFileStatus::NotARunFile, why, "is not a run file");
    }
    Reader header(bytes, sizeof magic);
    const std::uint32_t version = header.u32();
    if (version > RunRecord::formatVersion) {
        return refuse(RunFileStatus::NewerVersion, why,
                      "is of format version " + std::to_string(version) +
                          ", newer than this game reads (" +
                          std::to_string(RunRecord::formatVersion) + ")");
    }
    if (version != RunRecord::formatVersion) {
        return refuse(
            RunFileStatus::OtherVersion, why,
            "is of format version " + std::to_string(version) + ", which this game does not read");
    }
    if (bytes.size() < headerBytes + crcBytes) {
        return refuse(RunFileStatus::CutShort, why, "is cut short");
    }
    RunRecord read;
    read.runMs = header.i32();
    read.gateFailures = header.i32();
    read.totalMs = header.i64();
    const std::uint32_t stepCount = header.u32();
    const std::uint32_t gateCount = header.u32();
    if (stepCount < 1 || stepCount > RunRecord::maxSteps || gateCount > RunRecord::maxGates) {
        return refuse(RunFileStatus::Damaged, why,
                      "is damaged (" + std::to_string(stepCount) + " steps, " +
                          std::to_string(gateCount) + " gates)");
    }
    // Both counts are bounded above, so this cannot overflow.
    const std::size_t wanted =
        headerBytes + stepCount * stepBytes + gateCount * gateBytes + crcBytes;
    if (bytes.size() < wanted) {
        return refuse(RunFileStatus::CutShort, why, "is cut short");
    }
    if (bytes.size() > wanted) {
        return refuse(RunFileStatus::Damaged, why, "is damaged (bytes after its end)");
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::uint32_t stored = 0;
    for (int i = 0; i < 4; ++i) {
        stored |= static_cast<std::uint32_t>(data[wanted - crcBytes + i]) << (8 * i);
    }
    if (stored != crc32(data, wanted - crcBytes)) {
        return refuse(RunFileStatus::Damaged, why, "is damaged (its checksum does not match)");
    }

    if (read.runMs < 0 || read.gateFailures < 0 ||
        read.gateFailures > static_cast<std::int32_t>(RunRecord::maxGates) || read.totalMs < 0) {
        return refuse(RunFileStatus::Damaged, why, "is damaged (its result is out of range)");
    }
    Reader body(bytes, headerBytes);
    read.steps.resize(stepCount);
    for (std::uint32_t i = 0; i < stepCount; ++i) {
        RunStep& s = read.steps[i];
        s.ms = body.i32();
        s.x = body.f32();
        s.z = body.f32();
        s.heading = body.f32();
        s.speed = body.f32();
        if (!std::isfinite(s.x) || !std::isfinite(s.z) || !std::isfinite(s.heading) ||
            !std::isfinite(s.speed)) {
            return refuse(RunFileStatus::Damaged, why, "is damaged (a number that is not finite)");
        }
        if (s.speed < 0.0f || s.speed > 100.0f) {
            return refuse(RunFileStatus::Damaged, why, "is damaged (a speed out of range)");
        }
        if (s.ms < 0 || (i > 0 && s.ms < read.steps[i - 1].ms)) {
            return refuse(RunFileStatus::Damaged, why, "is damaged (its times run backwards)");
        }
    }
    read.gates.resize(gateCount);
    for (std::uint32_t i = 0; i < gateCount; ++i) {
        RunGate& g = read.gates[i];
        g.gate = body.i32();
        g.ms = body.i32();
        const std::uint32_t wrong = body.u32();
        if (g.gate < 0 || g.gate > 9 || (i > 0 && g.gate <= read.gates[i - 1].gate) || wrong > 1) {
            return refuse(RunFileStatus::Damaged, why, "is damaged (a gate out of range)");
        }
        if (g.ms < 0 || (i > 0 && g.ms < read.gates[i - 1].ms)) {
            return refuse(RunFileStatus::Damaged, why, "is damaged (its times run backwards)");
        }
        g.wrongSide = wrong == 1;
    }
    run = std::move(read);
    return RunFileStatus::Read;
}
