#ifndef APP_RUNRECORD_H
#define APP_RUNRECORD_H

#include <cstdint>
#include <string>
#include <vector>

// A finished run as the game keeps it: where the boarder was at every motion step, each gate
// judged, and the result. Times are milliseconds of the race clock (0 when it started), positions
// world metres, headings degrees (the sum of all turns, as Boarder::rotation.y). A plain value
// type; no file access here (see runrecordfile.h).
//
// The run file, format version 1. Binary, every number little-endian; reals are IEEE-754
// single precision (f32), whole numbers two's complement (i32, i64) or unsigned (u32):
//
//   offset  size  field
//   0       8     magic: the bytes "SKALDRUN"
//   8       4     u32 format version, 1; a reader refuses any other, saying when it is newer
//   12      4     i32 run time (ms), as the clock showed it at the finish; >= 0
//   16      4     i32 gate failures, 0..10
//   20      8     i64 total result (ms), the run time plus the penalties; >= 0
//   28      4     u32 step count S, 1..maxSteps
//   32      4     u32 gate count G, 0..10
//   36      20*S  steps: i32 clock ms, f32 x, f32 z, f32 heading, f32 speed (m/s)
//   ..      12*G  gates judged: i32 gate index, i32 clock ms, u32 wrong side (0 or 1)
//   ..      4     u32 CRC-32 (IEEE 802.3, as zlib's crc32) of every byte before it
//
// A file is read whole or refused. Refused: more than maxFileBytes; a wrong magic; another
// version; a size that does not match the counts (cut short, or bytes after the end); a CRC that
// does not match; counts out of range; a number that is not finite; clock times that run
// backwards (steps and gates each in order of time, equal times allowed) or are negative; gate
// indices outside 0..9 or not increasing; a wrong-side flag other than 0 or 1; a speed outside
// 0..100; a run time, failure count or total out of range.

// One motion step of a run.
struct RunStep {
    std::int32_t ms = 0;  // race clock when the step was taken
    float x = 0.0f;
    float z = 0.0f;
    float heading = 0.0f;
    float speed = 0.0f;
};

// One gate judged in a run.
struct RunGate {
    std::int32_t gate = 0;  // 0..9
    std::int32_t ms = 0;    // race clock when it was judged
    bool wrongSide = false;
};

struct RunRecord {
    static constexpr std::uint32_t formatVersion = 1;
    static constexpr std::size_t maxFileBytes = 4u * 1024u * 1024u;
    // The most steps a file of maxFileBytes holds with no gates.
    static constexpr std::uint32_t maxSteps = (maxFileBytes - 40) / 20;
    static constexpr std::uint32_t maxGates = 10;

    std::int32_t runMs = 0;
    std::int32_t gateFailures = 0;
    std::int64_t totalMs = 0;
    std::vector<RunStep> steps;
    std::vector<RunGate> gates;

    // Where the boarder of this run was at clock time ms: between the two steps around it, the
    // point on the line from the one to the other (position and heading alike); before the first
    // step, the first; after the last, the last (the run stays where it ended).
    // REQUIRES: at least one step.
    RunStep at(long long ms) const;
    // The clock ms at which the run judged gate, or -1 when it did not.
    long long gateMs(int gate) const;
};

// What decodeRun made of the bytes.
enum class RunFileStatus {
    Read,          // the record is filled in
    TooLarge,      // more than maxFileBytes
    NotARunFile,   // too short for the magic and version, or a wrong magic
    NewerVersion,  // a version above formatVersion
    OtherVersion,  // a version below it (0: never written)
    CutShort,      // fewer bytes than the counts ask for
    Damaged,       // trailing bytes, a CRC that does not match, a value out of range
};

// Encodes run in the format above. REQUIRES: 1..maxSteps steps, at most maxGates gates.
std::string encodeRun(const RunRecord& run);

// Decodes bytes into run. On anything but Read, run is left as it was and why (when given) gets
// a few words for the standard error line, e.g. "is cut short" or "is of format version 7,
// newer than this game reads (1)".
RunFileStatus decodeRun(const std::string& bytes, RunRecord& run, std::string* why = nullptr);

// CRC-32 of size bytes (IEEE 802.3 polynomial, reflected, as zlib's crc32).
std::uint32_t crc32(const unsigned char* data, std::size_t size);

#endif  // APP_RUNRECORD_H
