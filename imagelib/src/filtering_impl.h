// ImageBase<T>: square-window filtering with its border fill, gradients and Hessians.
// Included by imagebase.cpp only.
//
// Every operation works row by row: the values of one output row are summed into float rows by
// the kernels of kernel_table.h (each pixel's terms added in the order of its sum), then written
// to the result as setNext would write them one by one.
#ifndef NEVRA_SRC_FILTERING_IMPL_H
#define NEVRA_SRC_FILTERING_IMPL_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "element.h"
#include "imagebase.h"
#include "kernels.h"
#include "threading.h"

namespace Nevra {

namespace filtering_detail {

// 1 2 1 / 0 0 0 / -1 -2 -1, row by row.
constexpr float kDefaultKernel2D[9] = {1.0f, 2.0f, 1.0f, 0.0f, 0.0f, 0.0f, -1.0f, -2.0f, -1.0f};

// Three 3 x 3 planes: 1 1 1 / 1 2 1 / 1 1 1, then zeros, then the negated first plane.
constexpr float kDefaultKernel3D[27] = {
    1.0f,  1.0f,  1.0f,  1.0f,  2.0f,  1.0f,  1.0f,  1.0f,  1.0f,  //
    0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  //
    -1.0f, -1.0f, -1.0f, -1.0f, -2.0f, -1.0f, -1.0f, -1.0f, -1.0f};

// `value` as an element of type U, as setNext converts it. The int route is the common case of
// the integer types and agrees with toElement wherever it is taken.
template <class U>
inline U fromFloat(float value) {
    if constexpr (std::is_floating_point_v<U>) {
        return static_cast<U>(value);
    } else {
        if (value > -2147483648.0f && value < 2147483648.0f) {
            return static_cast<U>(static_cast<int>(value));
        }
        return toElement<U>(value);
    }
}

// Writes values into a result image as its setNext would, one after another from element
// `start` (0 for a whole result; a band's first value otherwise): values beyond the image's end
// are dropped. Images of the library's eight types are written directly into their storage, at
// the writer's own cursor, so that bands of one result can be written at once; finishResult then
// leaves m_position where one writer of every value would. Any other image is written through its
// setNext, from its m_position, which the constructor puts at 0: such a result takes one band.
class ResultWriter {
public:
    explicit ResultWriter(Image* image, long long start = 0) : m_image(image), m_cursor(start) {
        if (!bind<char>() && !bind<unsigned char>() && !bind<short>() && !bind<unsigned short>() &&
            !bind<int>() && !bind<unsigned int>() && !bind<float>() && !bind<double>()) {
            image->m_position = 0;
        }
    }

    // True when the result is written at the writer's cursor: bands may write it at once.
    static bool splits(Image* image) {
        return isA<char>(image) || isA<unsigned char>(image) || isA<short>(image) ||
               isA<unsigned short>(image) || isA<int>(image) || isA<unsigned int>(image) ||
               isA<float>(image) || isA<double>(image);
    }

    // m_position after `total` values were written from element 0, as setNext leaves it.
    static void finishResult(Image* image, long long total) {
        if (splits(image)) {
            const long long size = image->m_image_size;
            image->m_position =
                hasStorage(image) ? static_cast<int>(total < size ? total : size) : 0;
        }
    }

    void write(const float* values, int count) {
        if (m_write == nullptr) {
            for (int i = 0; i < count && m_image->setNext(values[i]); ++i) {
            }
            return;
        }
        m_write(m_image, m_cursor, values, count);
        m_cursor += count;
    }

    // Where the next `count` values can be put directly: inside the result when it is a float
    // image with room for all of them, else `buffer`. finish(place, count) completes the write
    // either way.
    float* place(int count, float* buffer) {
        if (m_floats != nullptr && m_floats->m_data != nullptr &&
            static_cast<long long>(m_floats->m_image_size) - m_cursor >= count) {
            return m_floats->m_data + m_cursor;
        }
        return buffer;
    }
    void finish(const float* placed, int count) {
        if (m_floats != nullptr && m_floats->m_data != nullptr &&
            placed == m_floats->m_data + m_cursor) {
            m_cursor += count;
        } else {
            write(placed, count);
        }
    }

private:
    template <class U>
    static bool isA(Image* image) {
        return dynamic_cast<ImageBase<U>*>(image) != nullptr;
    }

    static bool hasStorage(Image* image) {
        bool found = false;
        auto check = [&](auto* typed) {
            if (typed != nullptr) {
                found = typed->m_data != nullptr;
            }
        };
        check(dynamic_cast<ImageBase<char>*>(image));
        check(dynamic_cast<ImageBase<unsigned char>*>(image));
        check(dynamic_cast<ImageBase<short>*>(image));
        check(dynamic_cast<ImageBase<unsigned short>*>(image));
        check(dynamic_cast<ImageBase<int>*>(image));
        check(dynamic_cast<ImageBase<unsigned int>*>(image));
        check(dynamic_cast<ImageBase<float>*>(image));
        check(dynamic_cast<ImageBase<double>*>(image));
        return found;
    }

    template <class U>
    bool bind() {
        if (!isA<U>(m_image)) {
            return false;
        }
        m_write = &writeDirect<U>;
        if constexpr (std::is_same_v<U, float>) {
            m_floats = static_cast<ImageBase<float>*>(m_image);
        }
        return true;
    }

    template <class U>
    static void writeDirect(Image* image, long long at, const float* values, int count) {
        auto* target = static_cast<ImageBase<U>*>(image);
        const long long room = static_cast<long long>(target->m_image_size) - at;
        if (target->m_data == nullptr || room <= 0) {
            return;
        }
        const int n = count < room ? count : static_cast<int>(room);
        U* out = target->m_data + at;
        if constexpr (std::is_same_v<U, float>) {
            std::memcpy(out, values, static_cast<std::size_t>(n) * sizeof(float));
        } else {
            for (int i = 0; i < n; ++i) {
                out[i] = fromFloat<U>(values[i]);
            }
        }
    }

    Image* m_image;
    long long m_cursor;                    // where the next value goes (library types)
    ImageBase<float>* m_floats = nullptr;  // the result, when it is a float image
    void (*m_write)(Image*, long long, const float*, int) = nullptr;
};

// The running range of the values written: starts empty (1e16, -1e16) as the operations define.
struct Range {
    float bounds[2] = {1e16f, -1e16f};  // low, high
    float low() const { return bounds[0]; }
    float high() const { return bounds[1]; }
    void add(const float* values, int count) { kernels::active().widenRange(values, count, bounds); }
    void addZero() {
        const float zero = 0.0f;
        add(&zero, 1);
    }
    // Widens this range by a later one's: the same bounds as widening by that range's values
    // after this one's, since the kernels keep the earlier bound where two compare equal (0 and
    // -0) and leave NaN out.
    void merge(const Range& later) {
        bounds[0] = later.bounds[0] < bounds[0] ? later.bounds[0] : bounds[0];
        bounds[1] = later.bounds[1] > bounds[1] ? later.bounds[1] : bounds[1];
    }
};

// Sets channel `channel`'s window/level record of `image` from `range`, when it has that record.
inline void storeRange(Image* image, int channel, float low, float high) {
    if (image->m_window_level != nullptr && channel < image->m_channels) {
        image->setWindowLevel(low, high, channel);
    }
}

// A new result image of `typeCode` with the given extents and channels and the source's spacing;
// null, with an error line naming `what`, when the code names no element type.
inline Image* createResult(int typeCode, int dimX, int dimY, int dimZ, int dimT, int channels,
                           const float* spacing, const char* what) {
    Image* result = createImage(typeCode);
    if (result == nullptr) {
        std::cout << "Error: unknown data type, cannot compute " << what << "!" << std::endl;
        return nullptr;
    }
    result->init(dimX, dimY, dimZ, dimT, channels);
    result->setSpacing(spacing[0], spacing[1], spacing[2], spacing[3]);
    return result;
}

// The first `count` values of channel `channel` of elements stored `step` apart, as floats: the
// float view of frame 0 the operations read. Float storage read with step 1 is used in place.
template <class T>
class FloatView {
public:
    FloatView(const T* data, long long count, int step, int channel) {
        if (count <= 0) {
            return;  // nothing to read (the storage may be absent)
        }
        if constexpr (std::is_same_v<T, float>) {
            if (step == 1) {
                m_values = data + channel;
                return;
            }
        }
        m_copy.resize(static_cast<std::size_t>(count));
        const T* e = data + channel;
        for (long long i = 0; i < count; ++i, e += step) {
            m_copy[static_cast<std::size_t>(i)] = static_cast<float>(*e);
        }
        m_values = m_copy.data();
    }
    const float* values() const { return m_values; }

private:
    const float* m_values = nullptr;
    std::vector<float> m_copy;
};

// What the values of the rows a window reads can be, which decides the products that are exact.
enum class RowValues {
    SmallIntegers,  // whole numbers of at most 16 bits: elements of the small integer types
    Bounded,        // magnitudes below 2^32: elements of the 32-bit integer types
    Floats,         // anything: each row is checked for its largest magnitude as it comes
};

template <class T>
constexpr RowValues rowValuesOf() {
    if constexpr (std::is_integral_v<T> && sizeof(T) <= 2) {
        return RowValues::SmallIntegers;
    } else if constexpr (std::is_integral_v<T>) {
        return RowValues::Bounded;
    } else {
        return RowValues::Floats;
    }
}

// Rows of floats whose magnitudes stay below this bound have exact products with the weights
// exactWeight accepts.
constexpr float kExactBound = 0x1p100f;

// True when w * v needs no rounding for every v of such rows below kExactBound: w a power of two
// from 2 to 2^16 (or its negative), or, for small whole numbers, a whole number up to 256.
inline bool exactWeight(float w, RowValues values) {
    const float m = std::fabs(w);
    int exponent = 0;
    if (std::frexp(m, &exponent) == 0.5f && exponent >= 2 && exponent <= 17) {
        return true;
    }
    return values == RowValues::SmallIntegers && m <= 256.0f && m == std::floor(m);
}

// The non-zero weights of a 3 x 3 x 3 window with the offsets of their samples from an origin,
// in the order of the pixel's sum.
struct Taps {
    std::vector<float> weights;
    std::vector<long long> offsets;
    std::vector<kernels::Term> terms;

    // Products are taken as exact only for integer rows, which need no checking.
    void bind(const float* origin, RowValues values) {
        terms.resize(offsets.size());
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            terms[i] = {origin + offsets[i], weights[i],
                        values != RowValues::Floats && exactWeight(weights[i], values)};
        }
    }
    int count() const { return static_cast<int>(weights.size()); }
    // The sums of n pixels from the origin bound last into out.
    void sum(float* out, int n, float* range) const {
        kernels::active().correlateRow(out, n, terms.data(), count(), range, nullptr);
    }
};

// The rows a window of taps reads, kept for the `span` most recent row indices. Each row of
// floats is checked once for its largest magnitude (whether the products of exact weights with
// it are exact). Rows also get their multiples by magnitudes that several taps multiply with,
// when these stay within the first-level cache: the taps then read one product made once per row
// instead of multiplying again, since a + w * v is exactly a + |w| * v for w > 0 and a - |w| * v
// for w < 0.
class WindowRows {
public:
    // weights: the non-zero weights of every tap that will read the rows; width: the row length.
    // Without `products` the taps always read the rows.
    WindowRows(const std::vector<float>& weights, int span, int width, RowValues values,
               bool products = true)
        : m_span(std::max(span, 1)), m_width(std::max(width, 0)), m_values(values) {
        const bool fuses = kernels::active().fusesExactProducts;
        std::vector<float> multiplied;  // the magnitudes of the taps that multiply
        for (float w : weights) {
            const float m = std::fabs(w);
            if (m == 1.0f || std::isnan(m)) {
                continue;
            }
            if (fuses && exactWeight(w, values)) {
                m_check = values == RowValues::Floats;
                continue;
            }
            multiplied.push_back(m);
        }
        for (float m : multiplied) {
            if (std::count(multiplied.begin(), multiplied.end(), m) > 1 &&
                std::find(m_magnitudes.begin(), m_magnitudes.end(), m) == m_magnitudes.end()) {
                m_magnitudes.push_back(m);
            }
        }
        const std::size_t bytes =
            static_cast<std::size_t>(m_span) * m_magnitudes.size() * stride() * sizeof(float);
        if (!products || bytes > kProductBytes) {
            m_magnitudes.clear();
        }
        m_rows.assign(static_cast<std::size_t>(m_span), nullptr);
        m_bounded.assign(static_cast<std::size_t>(m_span), !m_check);
        m_largest.assign(static_cast<std::size_t>(m_span),
                         values == RowValues::SmallIntegers ? 65536.0f
                         : values == RowValues::Bounded     ? 0x1p32f
                                                            : std::numeric_limits<float>::infinity());
        m_products.resize(static_cast<std::size_t>(m_span) * m_magnitudes.size() * stride());
    }

    RowValues values() const { return m_values; }

    // The index of the product that a tap of `weight` reads, or -1 when it reads the row.
    int scaleOf(float weight) const {
        const auto at = std::find(m_magnitudes.begin(), m_magnitudes.end(), std::fabs(weight));
        return at == m_magnitudes.end() ? -1 : static_cast<int>(at - m_magnitudes.begin());
    }

    // Row `index` holds `row` (m_width values), until index + span comes. `known`, when not
    // negative, is a bound of the row's magnitudes the caller knows (NaN values aside), which
    // spares looking through it.
    void load(long long index, const float* row, float known = -1.0f) {
        const std::size_t slot = static_cast<std::size_t>(index % m_span);
        const kernels::Table& k = kernels::active();
        m_rows[slot] = row;
        if (m_check) {
            float largest = known;
            for (kernels::Scan& scan : m_ahead) {
                if (row == scan.values && scan.largest >= 0.0f && largest < 0.0f) {
                    largest = scan.largest;
                }
                if (row == scan.values) {
                    scan.values = nullptr;
                }
            }
            if (largest < 0.0f) {
                largest = k.largestMagnitude(row, m_width);
            }
            m_bounded[slot] = largest < kExactBound;
            m_largest[slot] = largest;
        }
        for (std::size_t i = 0; i < m_magnitudes.size(); ++i) {
            k.scaleRow(product(slot, i), row, m_magnitudes[i], m_width);
        }
    }

    // A bound of the magnitudes of rows first .. first + lines - 1 (NaN values aside); infinite
    // when rows of floats are not looked through.
    float largestOf(long long first, int lines) const {
        float largest = 0.0f;
        for (int i = 0; i < lines; ++i) {
            const float v = m_largest[static_cast<std::size_t>((first + i) % m_span)];
            largest = v > largest ? v : largest;
        }
        return largest;
    }

    // Where row `index` is kept.
    int slotOf(long long index) const { return static_cast<int>(index % m_span); }
    // The row kept in `slot`, and whether its magnitudes stay below kExactBound.
    const float* row(int slot) const { return m_rows[static_cast<std::size_t>(slot)]; }
    bool bounded(int slot) const { return m_bounded[static_cast<std::size_t>(slot)] != 0; }
    // The slot `lines` rows after `slot`. REQUIRES: lines < span.
    int slotAfter(int slot, int lines) const {
        return slot + lines < m_span ? slot + lines : slot + lines - m_span;
    }

    // The term of a tap of `weight` on the row kept in `slot`, at `column`; scale as scaleOf gives
    // it, exact as exactWeight.
    kernels::Term term(int slot, int column, float weight, int scale, bool exact) {
        if (scale >= 0) {
            return {product(slot, static_cast<std::size_t>(scale)) + column,
                    weight > 0.0f ? 1.0f : -1.0f, false};
        }
        return {m_rows[slot] + column, weight, exact && m_bounded[slot]};
    }

    // The look at row `index` of a plane of `rows` rows (m_width long) to hand to the kernel that
    // makes the current row, so that the row is in the cache (and checked, when rows are) when it
    // is loaded; null when neither a check nor products wait for it, or there is no such row.
    // With `lines` 2, the looks at rows index and index + 1 (the second may look at nothing), as
    // correlateRowPair takes them.
    kernels::Scan* ahead(const float* plane, long long index, long long rows, int lines = 1) {
        if ((!m_check && m_magnitudes.empty()) || index >= rows) {
            return nullptr;
        }
        for (int i = 0; i < 2; ++i) {
            m_ahead[i] = {nullptr, 0, -1.0f, m_check};
            if (i < lines && index + i < rows) {
                m_ahead[i].values = plane + (index + i) * m_width;
                m_ahead[i].count = m_width;
            }
        }
        return m_ahead;
    }

    // Loads the rows of a plane (rows m_width long) up to row `last`, from `next` on.
    void loadUpTo(const float* plane, long long last, long long& next) {
        for (; next <= last; ++next) {
            load(next, plane + next * m_width);
        }
    }

private:
    static constexpr std::size_t kProductBytes = 32 * 1024;

    float* product(std::size_t slot, std::size_t k) {
        return m_products.data() + (slot * m_magnitudes.size() + k) * stride();
    }

    // Product rows lie one cache line more than a multiple of 64 bytes apart: rows a multiple of
    // 4 KiB apart would compete for the same few cache sets.
    std::size_t stride() const { return (static_cast<std::size_t>(m_width) + 15) / 16 * 16 + 16; }

    int m_span;
    int m_width;
    RowValues m_values;
    bool m_check = false;  // rows of floats are checked for exact products
    kernels::Scan m_ahead[2] = {{nullptr, 0, -1.0f, false},  // the rows looked at ahead
                                {nullptr, 0, -1.0f, false}};
    std::vector<float> m_magnitudes;
    std::vector<const float*> m_rows;
    std::vector<char> m_bounded;
    std::vector<float> m_largest;  // a bound of each kept row's magnitudes
    std::vector<float> m_products;
};

// The non-zero weights of a window in the order of a pixel's sum, each with the line of its
// sample (0 for the window's top row) and its column (0 for the window's left column), and the
// terms of one row of pixels.
struct Window {
    std::vector<float> weights;
    std::vector<int> lines;
    std::vector<int> columns;
    std::vector<int> scales;  // WindowRows::scaleOf
    std::vector<char> exact;  // exactWeight
    std::vector<kernels::Term> terms;

    void add(float weight, int line, int column) {
        weights.push_back(weight);
        lines.push_back(line);
        columns.push_back(column);
    }
    int count() const { return static_cast<int>(weights.size()); }

    // The taps read the rows (and products) of `rows` from now on.
    void readFrom(const WindowRows& rows) {
        pairing.clear();
        scales.resize(weights.size());
        exact.resize(weights.size());
        terms.resize(weights.size());
        for (std::size_t i = 0; i < weights.size(); ++i) {
            scales[i] = rows.scaleOf(weights[i]);
            exact[i] = exactWeight(weights[i], rows.values());
        }
    }

    // The terms of the pixels whose window's top row is row `top` of `rows`, for the pixel whose
    // window's left column is column 0.
    const kernels::Term* bind(WindowRows& rows, long long top) {
        const int first = rows.slotOf(top);
        for (std::size_t i = 0; i < weights.size(); ++i) {
            terms[i] = rows.term(rows.slotAfter(first, lines[i]), columns[i], weights[i],
                                 scales[i], exact[i] != 0);
        }
        return terms.data();
    }

    // The steps of the pixels of two rows whose windows' top rows are `top` and top + 1: the
    // terms of each in the order of its sum, one step where the two read the same samples.
    // REQUIRES: readFrom(rows) came first; the taps go line by line, column by column within a
    // line.
    const std::vector<kernels::TermPair>& bindPair(WindowRows& rows, long long top) {
        if (pairing.empty()) {
            pairUp();
        }
        const int upper = rows.slotOf(top);
        for (std::size_t t = 0; t < pairing.size(); ++t) {
            const PairedTaps& taps = pairing[t];
            kernels::TermPair& step = steps[t];
            const int slot = rows.slotAfter(upper, taps.line);
            if (taps.scale < 0) {
                // The row itself, in few instructions: a row of pixels takes this every pair.
                const bool bounded = rows.bounded(slot);
                step.row = rows.row(slot) + taps.column;
                step.exactProduct[0] = taps.exact[0] && bounded;
                step.exactProduct[1] = taps.exact[1] && bounded;
                continue;
            }
            for (int r = 0; r < 2; ++r) {
                if (step.present[r]) {
                    const kernels::Term term = rows.term(slot, taps.column, taps.weight[r],
                                                         taps.scale, taps.exact[r]);
                    step.row = term.row;
                    step.weight[r] = term.weight;
                    step.exactProduct[r] = term.exactProduct;
                }
            }
        }
        return steps;
    }

private:
    // The taps of the upper and the lower row that a step of bindPair takes: both where they
    // read the same samples (the same line, column and product).
    struct PairedTaps {
        int line;  // counted from the upper row's top
        int column;
        int scale;
        float weight[2];
        bool exact[2];
    };

    void pairUp() {
        const int n = count();
        int a = 0;  // the next tap of the upper row
        int b = 0;  // and of the lower one, whose lines are one further from the upper top
        steps.clear();
        while (a < n || b < n) {
            const bool upperFirst =
                b == n || (a < n && (lines[a] < lines[b] + 1 ||
                                     (lines[a] == lines[b] + 1 && columns[a] <= columns[b])));
            const bool both = upperFirst && b < n && lines[a] == lines[b] + 1 &&
                              columns[a] == columns[b] && scales[a] == scales[b];
            const int i = upperFirst ? a : b;
            PairedTaps taps{upperFirst ? lines[a] : lines[b] + 1, columns[i], scales[i], {}, {}};
            kernels::TermPair step{};
            if (upperFirst) {
                taps.weight[0] = weights[a];
                taps.exact[0] = exact[a] != 0;
                step.weight[0] = weights[a];
                step.present[0] = true;
                ++a;
            }
            if (both || !upperFirst) {
                taps.weight[1] = weights[b];
                taps.exact[1] = exact[b] != 0;
                step.weight[1] = weights[b];
                step.present[1] = true;
                ++b;
            }
            pairing.push_back(taps);
            steps.push_back(step);  // the weights and flags of a row left out stay as here
        }
    }

    std::vector<PairedTaps> pairing;       // bindPair's taps of each step
    std::vector<kernels::TermPair> steps;  // and the steps
};

// The window of a 3 x 3 kernel in the order of the sum over r (outer) and q (inner): K(r, q)
// takes the sample at (x + q - 1, y + r - 1), or with `transposed` at (x + r - 1, y + q - 1).
inline Window planeWindow(const float* kernel, bool transposed) {
    Window window;
    for (int r = 0; r < 3; ++r) {
        for (int q = 0; q < 3; ++q) {
            const float w = kernel[3 * r + q];
            if (w != 0.0f) {
                window.add(w, transposed ? q : r, transposed ? r : q);
            }
        }
    }
    return window;
}

// The steps of two windows over the same rows, for one row of pixels each (correlateRowPair):
// each window's taps in the order of its sum, one step where both read the same sample next.
// A tap of the first window goes alone unless the second reads its sample later, when the
// second's taps go alone up to it.
class TwoWindows {
public:
    TwoWindows(const Window& first, const Window& second) {
        std::size_t i = 0;
        std::size_t j = 0;
        auto same = [&](std::size_t a, std::size_t b) {
            return first.lines[a] == second.lines[b] && first.columns[a] == second.columns[b];
        };
        while (i < first.weights.size() || j < second.weights.size()) {
            kernels::TermPair step{nullptr, {0.0f, 0.0f}, {false, false}, {false, false}};
            int line = 0;
            int column = 0;
            bool takeFirst = i < first.weights.size();
            if (takeFirst && j < second.weights.size() && !same(i, j)) {
                for (std::size_t k = j + 1; k < second.weights.size(); ++k) {
                    takeFirst = takeFirst && !same(i, k);
                }
            }
            if (takeFirst) {
                line = first.lines[i];
                column = first.columns[i];
                step.weight[0] = first.weights[i];
                step.present[0] = true;
                if (j < second.weights.size() && same(i, j)) {
                    step.weight[1] = second.weights[j];
                    step.present[1] = true;
                    ++j;
                }
                ++i;
            } else {
                line = second.lines[j];
                column = second.columns[j];
                step.weight[1] = second.weights[j];
                step.present[1] = true;
                ++j;
            }
            m_lines.push_back(line);
            m_columns.push_back(column);
            m_steps.push_back(step);
        }
    }

    // The steps for the pixels whose windows' top row is row `top` of `rows`. Products count as
    // exact nowhere: the steps are for paths without fused multiply-add.
    const std::vector<kernels::TermPair>& bind(const WindowRows& rows, long long top) {
        const int first = rows.slotOf(top);
        for (std::size_t t = 0; t < m_steps.size(); ++t) {
            m_steps[t].row = rows.row(rows.slotAfter(first, m_lines[t])) + m_columns[t];
        }
        return m_steps;
    }

private:
    std::vector<int> m_lines;
    std::vector<int> m_columns;
    std::vector<kernels::TermPair> m_steps;
};

// The weights of both windows, for the rows they read together.
inline std::vector<float> weightsOf(const Window& a, const Window& b) {
    std::vector<float> all = a.weights;
    all.insert(all.end(), b.weights.begin(), b.weights.end());
    return all;
}

// The inner pixels x = 1 .. width - 2 of row y of a plane, from the rows y - 1, y, y + 1 loaded
// in `rows`: into out[1 .. width - 2], out[0] and out[width - 1] := 0. `ahead` as the kernels
// take it.
inline void innerRow(Window& window, WindowRows& rows, long long y, int width, float* out,
                     kernels::Scan* ahead) {
    kernels::active().correlateRow(out + 1, width - 2, window.bind(rows, y - 1), window.count(),
                                   nullptr, ahead);
    out[0] = 0.0f;
    out[width - 1] = 0.0f;
}

// Two windows over the same three rows (kept for the rows they read), each window's taps reading
// them, and the steps of both together. Without `products` the taps read the rows themselves.
struct WindowPair {
    Window first;
    Window second;
    WindowRows rows;
    TwoWindows steps;

    WindowPair(const Window& a, const Window& b, int width, RowValues values, bool products)
        : first(a),
          second(b),
          rows(weightsOf(a, b), 3, width, values, products),
          steps(readingFrom(first, rows), readingFrom(second, rows)) {}

private:
    static Window& readingFrom(Window& window, const WindowRows& rows) {
        window.readFrom(rows);
        return window;
    }
};

// One output row of the Hessian: P with the kernel on g0, Q with its transpose on g0, R with its
// transpose on g1, or zeros on the outer ring. The row goes to the writer as P, Q, R per pixel
// and into the three ranges.
struct HessianRows {
    // P and Q on the rows of the gradient's channel 0 (g0), together, each sample loaded once for
    // both (as the gradient's A and B: the rows themselves, not products).
    WindowPair pq;
    Window r;
    WindowRows g1;  // rows of the gradient's channel 1, read by r
    std::vector<float> out;
    int width;

    HessianRows(const float* kernel, int w, RowValues values)
        : pq(planeWindow(kernel, false), planeWindow(kernel, true), w, values, false),
          r(planeWindow(kernel, true)),
          g1(r.weights, 3, w, values),
          out(3 * static_cast<std::size_t>(std::max(w, 0))),
          width(w) {
        r.readFrom(g1);
    }

    // Row y of the two gradient channels (width values each), for the rows y - 1 to y + 1;
    // `known` as WindowRows::load takes it.
    void load(long long y, const float* row0, const float* row1, float known = -1.0f) {
        pq.rows.load(y, row0, known);
        g1.load(y, row1, known);
    }

    // Row y of the Hessian; an inner row needs the gradient rows y - 1, y and y + 1 loaded.
    void emit(bool inner, long long y, ResultWriter& writer, Range ranges[3]) {
        float* target = writer.place(3 * width, out.data());
        if (inner && width >= 3) {
            const std::vector<kernels::TermPair>& steps = pq.steps.bind(pq.rows, y - 1);
            float* const bounds[3] = {ranges[0].bounds, ranges[1].bounds, ranges[2].bounds};
            kernels::active().correlatePairAndRow(target + 3, width - 2, steps.data(),
                                                  static_cast<int>(steps.size()),
                                                  r.bind(g1, y - 1), r.count(), bounds);
            std::fill(target, target + 3, 0.0f);
            std::fill(target + 3 * (width - 1), target + 3 * width, 0.0f);
        } else {
            std::fill(target, target + 3 * width, 0.0f);
        }
        if (width > 0) {
            for (int c = 0; c < 3; ++c) {
                ranges[c].addZero();  // the outer ring
            }
        }
        writer.finish(target, 3 * width);
    }
};

// Ends a Hessian of `count` values: the three channels' ranges of the bands, merged in band
// order, stored with the result. Returns the result.
inline Image* finishHessian(Image* output, const std::vector<std::array<Range, 3>>& bandRanges,
                            long long count) {
    Range ranges[3];
    for (const std::array<Range, 3>& part : bandRanges) {
        for (int c = 0; c < 3; ++c) {
            ranges[c].merge(part[static_cast<std::size_t>(c)]);
        }
    }
    ResultWriter::finishResult(output, count);
    for (int c = 0; c < 3; ++c) {
        storeRange(output, c, ranges[c].low(), ranges[c].high());
    }
    return output;
}

// True when the image holds the `count` elements that a single-channel reading of frame 0
// needs; prints the refusal naming `what` otherwise.
template <class T>
bool holdsElements(const ImageBase<T>& image, long long count, const char* what) {
    if (count <= 0 || (image.m_data != nullptr && count <= image.m_image_size)) {
        return true;
    }
    std::cout << "Error: no image data, cannot compute " << what << "!" << std::endl;
    return false;
}

// The result type of a derivative: 0 stands for the image's own type code. An unsigned type (odd
// code) is refused with "Error: unsigned data type, cannot compute <what>!"; returns false then.
inline bool resolveResultType(int& typeCode, int ownType, const char* what) {
    if (typeCode == 0) {
        typeCode = ownType;
    }
    if (typeCode % 2 != 0) {
        std::cout << "Error: unsigned data type, cannot compute " << what << "!" << std::endl;
        return false;
    }
    return true;
}

// Without keepSize a derivative's result loses the outermost pixels on both sides of every axis
// it works across, so each of those extents must be at least 2. Otherwise prints "Error: image
// too small, cannot compute gradient!" and returns false.
inline bool leavesAResult(bool keepSize, std::initializer_list<int> extents) {
    for (const int extent : extents) {
        if (!keepSize && extent < 2) {
            std::cout << "Error: image too small, cannot compute gradient!" << std::endl;
            return false;
        }
    }
    return true;
}

// The image to read from when an operation is asked to write its result into the image itself:
// a copy of its geometry, spacing, window/level records, type code, verbosity and elements, so
// that no value is overwritten before it is read. Null, after init's "Error while initializing!",
// when the copy cannot be stored.
template <class T>
std::unique_ptr<ImageBase<T>> readingCopy(const ImageBase<T>& image) {
    auto copy = std::make_unique<ImageBase<T>>();
    copy->m_verbose = image.m_verbose;
    copy->m_type = image.m_type;
    copy->init(image.m_dim[0], image.m_dim[1], image.m_dim[2], image.m_dim[3], image.m_channels);
    if (image.m_data == nullptr) {
        copy->releaseData();  // an image without storage stays one
    } else if (copy->m_data == nullptr && image.m_image_size > 0) {
        return nullptr;
    } else {
        std::copy_n(image.m_data, image.m_image_size, copy->m_data);
    }
    copy->setSpacing(image.m_spacing[0], image.m_spacing[1], image.m_spacing[2],
                     image.m_spacing[3]);
    std::copy_n(image.m_window_level, image.m_channels, copy->m_window_level);
    return copy;
}

}  // namespace filtering_detail

template <class T>
Image* ImageBase<T>::computeFilteredImage(int typeCode, const float* filter, int windowSize,
                                          Image* output) {
    using namespace filtering_detail;
    if (output == this) {
        const auto source = readingCopy(*this);
        return source ? source->computeFilteredImage(typeCode, filter, windowSize, this) : nullptr;
    }
    if (typeCode % 2 != 0) {
        std::cout << "Error: unsigned data type, cannot compute filtered image!" << std::endl;
        return nullptr;
    }
    if (filter == nullptr) {
        std::cout << "Error: Cannot compute filtered image without filter!" << std::endl;
        return nullptr;
    }
    const int W = m_dim[0];
    const int H = m_dim[1];
    const int D = m_dim[2];
    const long long plane = static_cast<long long>(W) * H;
    if (!holdsElements(*this, plane * D, "filtered image")) {
        return nullptr;
    }
    const bool created = output == nullptr;
    if (created) {
        output = createResult(typeCode, W, H, D, m_dim[3], 1, m_spacing, "filtered image");
        if (output == nullptr) {
            return nullptr;
        }
    }
    if (windowSize % 2 == 0) {
        std::cout << "Error: Window size must be an odd number!" << std::endl;
        if (created) {
            delete output;
        }
        return nullptr;
    }
    const int h = (windowSize - 1) / 2;

    // The non-zero weights in the order of the sum: j (rows) outer, i (columns) inner.
    Window window;
    for (int j = -h; j <= h; ++j) {
        for (int i = -h; i <= h; ++i) {
            const float w = filter[static_cast<long long>(j + h) * windowSize + (i + h)];
            if (w != 0.0f) {
                window.add(w, j + h, i + h);
            }
        }
    }
    // Inner rows of windows 3 or more wide go two at a time, each sample read once for both;
    // where nothing fuses, the rows then also need no products (a pass of their own over every
    // row). The pairs read the rows themselves: a tap reading a product would need a step of its
    // own.
    const kernels::Table& k = kernels::active();
    const bool pairs = k.correlateRowPair != nullptr && windowSize >= 3 &&
                       2 * window.count() <= kernels::kMaxTermPairs &&
                       W <= std::numeric_limits<int>::max() / 2;
    const FloatView<T> input(m_data, plane * D, 1, 0);
    // A negative window has no weights and no border: every pixel sums nothing.
    const int margin = std::max(h, 0);
    const int inner = W - 2 * margin;

    // Bands of rows of the whole volume (slice by slice). A band starts where the one-thread walk
    // starts a step, so that the rows go in the same pairs.
    const long long allRows = static_cast<long long>(H) * D;
    const int bands = ResultWriter::splits(output)
                          ? threading::bandsFor(allRows, static_cast<double>(W) *
                                                             (window.count() + 1))
                          : 1;
    auto startOf = [&](int band) {
        long long g = threading::bandStart(allRows, bands, band);
        const int y = H > 0 ? static_cast<int>(g % H) : 0;
        if (pairs && g < allRows && y > margin && y < H - margin && (y - margin) % 2 == 1) {
            ++g;
        }
        return g;
    };
    std::vector<Range> ranges(static_cast<std::size_t>(bands));
    threading::runBands(bands, [&](int band) {
        const long long first = startOf(band);
        const long long end = band + 1 < bands ? startOf(band + 1) : allRows;
        if (first >= end) {
            return;
        }
        Window taps = window;
        WindowRows rows(taps.weights, windowSize + (pairs ? 1 : 0), W, rowValuesOf<T>(), !pairs);
        taps.readFrom(rows);
        ResultWriter writer(output, first * W);
        Range range;  // the band's own, on its thread's stack; handed over when the band is done
        std::vector<float> buffer(2 * static_cast<std::size_t>(W));
        for (long long g = first; g < end;) {
            const int z = static_cast<int>(g / H);
            const float* slice = input.values() + z * plane;
            int y = static_cast<int>(g % H);
            const long long sliceEnd = std::min(end, static_cast<long long>(z + 1) * H);
            long long next = std::max(0, y - margin);  // the next row of the slice to load
            while (g < sliceEnd) {
                const bool sums = y >= margin && y < H - margin && inner > 0 && taps.count() > 0;
                const int lines = sums && pairs && y + 1 < H - margin ? 2 : 1;
                float* target = writer.place(lines * W, buffer.data());
                if (sums) {
                    for (int line = 0; line < lines; ++line) {
                        float* out = target + static_cast<long long>(line) * W;
                        std::fill(out, out + margin, 0.0f);
                        std::fill(out + W - margin, out + W, 0.0f);
                    }
                    rows.loadUpTo(slice, y + lines - 1 + h, next);
                    kernels::Scan* ahead = rows.ahead(slice, y + lines + h, H, lines);
                    if (lines == 2) {
                        const std::vector<kernels::TermPair>& steps = taps.bindPair(rows, y - h);
                        k.correlateRowPair(target + margin, target + W + margin, inner,
                                           steps.data(), static_cast<int>(steps.size()),
                                           range.bounds, ahead);
                    } else {
                        k.correlateRow(target + margin, inner, taps.bind(rows, y - h),
                                       taps.count(), range.bounds, ahead);
                    }
                    if (margin > 0) {
                        range.addZero();
                    }
                } else {
                    std::fill(target, target + W, 0.0f);
                    if (W > 0) {
                        range.addZero();
                    }
                }
                writer.finish(target, lines * W);
                y += lines;
                g += lines;
            }
        }
        ranges[static_cast<std::size_t>(band)] = range;
    });
    Range range;
    for (const Range& part : ranges) {
        range.merge(part);
    }
    ResultWriter::finishResult(output, allRows * W);
    output->fillBorder(h);
    storeRange(output, 0, range.low(), range.high());
    return output;
}

template <class T>
void ImageBase<T>::fillBorder(int width) {
    const int W = m_dim[0];
    const int H = m_dim[1];
    const int D = m_dim[2];
    const long long plane = static_cast<long long>(W) * H;
    if (width <= 1 || m_data == nullptr || plane * D > m_image_size) {
        return;
    }
    // A copy from or to beyond the other side of the image is skipped: widths over half the
    // image repeat what lies inside and never reach outside the storage.
    const int columns = std::min(width, W - 1);
    const int rows = std::min(width, H - 1);
    for (int z = 0; z < D; ++z) {
        for (int y = 0; y < H; ++y) {
            T* row = m_data + z * plane + static_cast<long long>(y) * W;
            for (int k = columns; k >= 2; --k) {
                row[k - 1] = row[k];
                row[W - k] = row[W - k - 1];
            }
        }
    }
    const std::size_t rowBytes = static_cast<std::size_t>(W) * sizeof(T);
    for (int z = 0; z < D; ++z) {
        T* slice = m_data + z * plane;
        for (int k = rows; k >= 2; --k) {
            std::memcpy(slice + static_cast<long long>(k - 1) * W,
                        slice + static_cast<long long>(k) * W, rowBytes);
            std::memcpy(slice + static_cast<long long>(H - k) * W,
                        slice + static_cast<long long>(H - k - 1) * W, rowBytes);
        }
    }
}

template <class T>
Image* ImageBase<T>::computeGradient(int typeCode, const float* kernel, bool keepSize,
                                     Image* output) {
    using namespace filtering_detail;
    if (output == this) {
        const auto source = readingCopy(*this);
        return source ? source->computeGradient(typeCode, kernel, keepSize, this) : nullptr;
    }
    if (!resolveResultType(typeCode, m_type, "gradient")) {
        return nullptr;
    }
    if (kernel == nullptr) {
        kernel = kDefaultKernel2D;
    }
    const int W = m_dim[0];
    const int H = m_dim[1];
    const int D = m_dim[2];
    const long long plane = static_cast<long long>(W) * H;
    if (!holdsElements(*this, plane * D, "gradient") || !leavesAResult(keepSize, {W, H})) {
        return nullptr;
    }
    const int s = keepSize ? 0 : 1;
    if (output == nullptr) {
        output = createResult(typeCode, W - 2 * s, H - 2 * s, D, 1, 2, m_spacing, "gradient");
        if (output == nullptr) {
            return nullptr;
        }
    }

    const FloatView<T> input(m_data, plane * D, 1, 0);
    const Window windowA = planeWindow(kernel, false);
    const Window windowB = planeWindow(kernel, true);
    const int count = W - 2 * s;
    const int rowsPerSlice = H - 2 * s;
    const long long allRows = count > 0 ? static_cast<long long>(rowsPerSlice) * D : 0;
    // A and B go together, each sample loaded once for both (a 3 x 3 window has at most nine
    // taps, far fewer than the steps a kernel takes). They read the rows, not products: with two
    // sums per sample the loads saved cost more than the multiplications.
    const kernels::Table& k = kernels::active();
    static_assert(18 <= kernels::kMaxTermPairs, "the steps of two 3 x 3 windows");
    const int bands =
        ResultWriter::splits(output)
            ? threading::bandsFor(allRows, static_cast<double>(W) *
                                               (windowA.count() + windowB.count() + 2))
            : 1;
    std::vector<Range> ranges(static_cast<std::size_t>(bands));
    threading::runBands(bands, [&](int band) {
        const long long first = threading::bandStart(allRows, bands, band);
        const long long end = threading::bandStart(allRows, bands, band + 1);
        if (first >= end) {
            return;
        }
        WindowPair ab(windowA, windowB, W, rowValuesOf<T>(), false);
        WindowRows& rows = ab.rows;
        ResultWriter writer(output, first * 2 * count);
        Range range;
        std::vector<float> out(2 * static_cast<std::size_t>(count));
        for (long long g = first; g < end;) {
            const int z = static_cast<int>(g / rowsPerSlice);
            const float* slice = input.values() + z * plane;
            const long long sliceEnd = std::min(end, static_cast<long long>(z + 1) * rowsPerSlice);
            int y = s + static_cast<int>(g % rowsPerSlice);
            long long next = std::max(0, y - 1);  // the next row of the slice to load
            for (; g < sliceEnd; ++g, ++y) {
                float* target = writer.place(2 * count, out.data());
                if (y >= 1 && y <= H - 2 && W >= 3) {
                    // A and B of the inner pixels 1 .. W - 2, after the zeros of x = 0 with
                    // keepSize.
                    rows.loadUpTo(slice, y + 1, next);
                    const std::vector<kernels::TermPair>& steps = ab.steps.bind(rows, y - 1);
                    k.correlateInterleavedPair(target + 2 * (1 - s), W - 2, steps.data(),
                                               static_cast<int>(steps.size()), range.bounds,
                                               rows.ahead(slice, y + 2, H));
                    if (keepSize) {
                        std::fill(target, target + 2, 0.0f);
                        std::fill(target + 2 * (W - 1), target + 2 * W, 0.0f);
                        range.addZero();  // the outer ring
                    }
                } else {
                    std::fill(target, target + 2 * count, 0.0f);
                    range.addZero();
                }
                writer.finish(target, 2 * count);
            }
        }
        ranges[static_cast<std::size_t>(band)] = range;
    });
    Range range;
    for (const Range& part : ranges) {
        range.merge(part);
    }
    ResultWriter::finishResult(output, allRows * 2 * count);
    storeRange(output, 0, range.low(), range.high());
    storeRange(output, 1, range.low(), range.high());
    return output;
}

template <class T>
Image* ImageBase<T>::computeHessian(int typeCode, const float* kernel, Image* output) {
    using namespace filtering_detail;
    if (output == this) {
        const auto source = readingCopy(*this);
        return source ? source->computeHessian(typeCode, kernel, this) : nullptr;
    }
    if (!resolveResultType(typeCode, m_type, "hessian")) {
        return nullptr;
    }
    if (kernel == nullptr) {
        kernel = kDefaultKernel2D;
    }
    const int W = m_dim[0];
    const int H = m_dim[1];
    const int D = m_dim[2];
    const long long plane = static_cast<long long>(W) * H;
    // A one-channel image is read as one plane per slice, a gradient image as two channels.
    const bool gradientInput = m_channels != 1;
    if (gradientInput && m_channels < 2 && plane * D > 0) {
        std::cout << "Error: no image data, cannot compute hessian!" << std::endl;
        return nullptr;
    }
    if (!holdsElements(*this, plane * D * (gradientInput ? m_channels : 1), "hessian")) {
        return nullptr;
    }
    const bool created = output == nullptr;
    if (created) {
        output = createResult(typeCode, W, H, D, 1, 3, m_spacing, "hessian");
        if (output == nullptr) {
            return nullptr;
        }
    }

    if (!gradientInput) {
        if (typeCode != kTypeFloat && typeCode != kTypeDouble) {
            // Integer results: the gradient is rounded to the result type before the second
            // pass, so it is made as an image of that type. It is ours to release.
            Image* gradient = computeGradient(typeCode, kernel, true, nullptr);
            if (gradient == nullptr) {
                if (created) {
                    delete output;
                }
                return nullptr;
            }
            gradient->computeHessian(typeCode, kernel, output);
            delete gradient;
            return output;
        }
        // Float and double results hold the gradient exactly, so its rows are used as they are
        // made, three at a time in a ring, without the intermediate image. A band makes the
        // gradient rows just above and below its own once more.
        const FloatView<T> input(m_data, plane * D, 1, 0);
        const Window windowA = planeWindow(kernel, false);
        const Window windowB = planeWindow(kernel, true);
        // Without fused multiply-add the additions bound the sums: A and B go together, each
        // sample loaded once for both, and read the rows themselves rather than products.
        const kernels::Table& k = kernels::active();
        const bool together = !k.fusesExactProducts && k.correlateRowPair != nullptr &&
                              windowA.count() + windowB.count() <= kernels::kMaxTermPairs;
        // A gradient value is at most the kernel's weights' magnitudes summed times the largest
        // sample it takes (twice that, for the roundings of its sum).
        double gain = 0.0;
        for (int i = 0; i < 9; ++i) {
            gain += std::fabs(static_cast<double>(kernel[i]));
        }
        const long long allRows = static_cast<long long>(H) * D;
        const double taps = windowA.count() + windowB.count();
        const int bands = ResultWriter::splits(output)
                              ? threading::bandsFor(allRows, static_cast<double>(W) * 2 * taps)
                              : 1;
        std::vector<std::array<Range, 3>> bandRanges(static_cast<std::size_t>(bands));
        threading::runBands(bands, [&](int band) {
            const long long first = threading::bandStart(allRows, bands, band);
            const long long end = threading::bandStart(allRows, bands, band + 1);
            if (first >= end) {
                return;
            }
            WindowPair ab(windowA, windowB, W, rowValuesOf<T>(), !together);
            WindowRows& rows = ab.rows;
            std::vector<float> ring(6 * static_cast<std::size_t>(W));
            auto ringRow = [&](int channel, int y) {
                return ring.data() + static_cast<std::size_t>(3 * channel + y % 3) * W;
            };
            HessianRows hessian(kernel, W, RowValues::Floats);
            ResultWriter writer(output, first * 3 * W);
            std::array<Range, 3> ranges;
            for (long long g = first; g < end;) {
                const int z = static_cast<int>(g / H);
                const float* slice = input.values() + z * plane;
                const long long sliceEnd = std::min(end, static_cast<long long>(z + 1) * H);
                int y = static_cast<int>(g % H);
                long long next = std::max(0, y - 2);  // the next row of the slice to load
                // The gradient row y as computeGradient with keepSize makes it, handed to the
                // Hessian.
                auto gradientRow = [&](int y) {
                    float* rowA = ringRow(0, y);
                    float* rowB = ringRow(1, y);
                    float known = 0.0f;
                    if (y >= 1 && y <= H - 2 && W >= 3) {
                        rows.loadUpTo(slice, y + 1, next);
                        if (together) {
                            const std::vector<kernels::TermPair>& steps =
                                ab.steps.bind(rows, y - 1);
                            k.correlateRowPair(rowA + 1, rowB + 1, W - 2, steps.data(),
                                               static_cast<int>(steps.size()), nullptr, nullptr);
                            rowA[0] = rowB[0] = 0.0f;
                            rowA[W - 1] = rowB[W - 1] = 0.0f;
                        } else {
                            innerRow(ab.first, rows, y, W, rowA, rows.ahead(slice, y + 2, H));
                            innerRow(ab.second, rows, y, W, rowB, nullptr);
                        }
                        const double bound = 2.0 * gain * rows.largestOf(y - 1, 3);
                        known = bound < 0x1p120 ? static_cast<float>(bound) : -1.0f;
                    } else {
                        std::fill(rowA, rowA + W, 0.0f);
                        std::fill(rowB, rowB + W, 0.0f);
                    }
                    hessian.load(y, rowA, rowB, known);
                };
                if (y > 0) {
                    gradientRow(y - 1);
                }
                gradientRow(y);
                for (; g < sliceEnd; ++g, ++y) {
                    if (y + 1 < H) {
                        gradientRow(y + 1);
                    }
                    hessian.emit(y >= 1 && y <= H - 2, y, writer, ranges.data());
                }
            }
            bandRanges[static_cast<std::size_t>(band)] = ranges;
        });
        return finishHessian(output, bandRanges, allRows * 3 * W);
    }

    const FloatView<T> g0(m_data, plane * D, m_channels, 0);
    const FloatView<T> g1(m_data, plane * D, m_channels, 1);
    const long long allRows = static_cast<long long>(H) * D;
    const int bands = ResultWriter::splits(output)
                          ? threading::bandsFor(allRows, static_cast<double>(W) * 20)
                          : 1;
    std::vector<std::array<Range, 3>> bandRanges(static_cast<std::size_t>(bands));
    threading::runBands(bands, [&](int band) {
        const long long first = threading::bandStart(allRows, bands, band);
        const long long end = threading::bandStart(allRows, bands, band + 1);
        HessianRows hessian(kernel, W, rowValuesOf<T>());
        ResultWriter writer(output, first * 3 * W);
        std::array<Range, 3> ranges;
        for (long long g = first; g < end;) {
            const int z = static_cast<int>(g / H);
            const long long sliceEnd = std::min(end, static_cast<long long>(z + 1) * H);
            int y = static_cast<int>(g % H);
            long long next = std::max(0, y - 1);  // the next row of the slice to load
            for (; g < sliceEnd; ++g, ++y) {
                const bool inner = y >= 1 && y <= H - 2;
                for (; inner && next <= y + 1; ++next) {
                    hessian.load(next, g0.values() + z * plane + next * W,
                                 g1.values() + z * plane + next * W);
                }
                hessian.emit(inner, y, writer, ranges.data());
            }
        }
        bandRanges[static_cast<std::size_t>(band)] = ranges;
    });
    return finishHessian(output, bandRanges, allRows * 3 * W);
}

template <class T>
Image* ImageBase<T>::computeGradient3D(int typeCode, const float* kernel, bool keepSize,
                                       bool appendValue, Image* output) {
    using namespace filtering_detail;
    if (output == this) {
        const auto source = readingCopy(*this);
        return source ? source->computeGradient3D(typeCode, kernel, keepSize, appendValue, this) : nullptr;
    }
    if (!resolveResultType(typeCode, m_type, "gradient")) {
        return nullptr;
    }
    if (kernel == nullptr) {
        kernel = kDefaultKernel3D;
    }
    bool clamps = false;
    float lowest = 0.0f;
    float highest = 0.0f;
    if (typeCode == kTypeByte) {
        clamps = true;
        lowest = -128.0f;
        highest = 127.0f;
    } else if (typeCode == kTypeShort) {
        clamps = true;
        lowest = -32768.0f;
        highest = 32767.0f;
    }

    const int W = m_dim[0];
    const int H = m_dim[1];
    const int D = m_dim[2];
    const long long plane = static_cast<long long>(W) * H;
    if (!holdsElements(*this, plane * D, "gradient") || !leavesAResult(keepSize, {W, H, D})) {
        return nullptr;
    }
    const int s = keepSize ? 0 : 1;
    const int channels = appendValue ? 4 : 3;
    if (output == nullptr) {
        output = createResult(typeCode, W - 2 * s, H - 2 * s, D - 2 * s, 1, channels, m_spacing,
                              "gradient");
        if (output == nullptr) {
            return nullptr;
        }
    }
    if (m_verbose) {
        std::cout << "Computing 3D gradient..." << std::endl;
    }

    // The non-zero weights in index order (r slowest, p fastest), with the sample offsets of U,
    // V and S from the voxel (x - 1, y, z): r runs along x for U, along y for V, along z for S.
    Taps u;
    Taps v;
    Taps sTaps;
    for (int index = 0; index < 27; ++index) {
        const float w = kernel[index];
        if (w == 0.0f) {
            continue;
        }
        const int r = index / 9;
        const int q = (index / 3) % 3;
        const int p = index % 3;
        auto offset = [&](int dx, int dy, int dz) {
            return (static_cast<long long>(dz - 1) * H + (dy - 1)) * W + dx;
        };
        u.weights.push_back(w);
        u.offsets.push_back(offset(r, q, p));
        v.weights.push_back(w);
        v.offsets.push_back(offset(p, r, q));
        sTaps.weights.push_back(w);
        sTaps.offsets.push_back(offset(p, q, r));
    }

    const FloatView<T> input(m_data, plane * D, 1, 0);
    const std::size_t rowSize = static_cast<std::size_t>(std::max(W, 0));
    const int count = W - 2 * s;
    const int rowsPerSlice = H - 2 * s;
    const long long allRows =
        count > 0 ? static_cast<long long>(rowsPerSlice) * std::max(D - 2 * s, 0) : 0;
    const int bands =
        ResultWriter::splits(output)
            ? threading::bandsFor(allRows, static_cast<double>(W) * (3.0 * u.count() + 4))
            : 1;
    struct BandResult {
        Range range;
        long long clamped = 0;
    };
    std::vector<BandResult> results(static_cast<std::size_t>(bands));
    threading::runBands(bands, [&](int band) {
        const long long first = threading::bandStart(allRows, bands, band);
        const long long end = threading::bandStart(allRows, bands, band + 1);
        Taps uBand = u;
        Taps vBand = v;
        Taps sBand = sTaps;
        ResultWriter writer(output, first * channels * count);
        Range range;
        long long clamped = 0;
        std::vector<float> rowU(rowSize);
        std::vector<float> rowV(rowSize);
        std::vector<float> rowS(rowSize);
        std::vector<float> out(4 * rowSize);
        for (long long g = first; g < end; ++g) {
            const int z = s + static_cast<int>(g / rowsPerSlice);
            const int y = s + static_cast<int>(g % rowsPerSlice);
            const float* row = input.values() + z * plane + static_cast<long long>(y) * W;
            // Unclamped values widen the range as they are summed; clamped ones afterwards.
            float* bounds = clamps ? nullptr : range.bounds;
            if (z >= 1 && z <= D - 2 && y >= 1 && y <= H - 2 && W >= 3) {
                uBand.bind(row, rowValuesOf<T>());
                uBand.sum(rowU.data() + 1, W - 2, bounds);
                vBand.bind(row, rowValuesOf<T>());
                vBand.sum(rowV.data() + 1, W - 2, bounds);
                sBand.bind(row, rowValuesOf<T>());
                sBand.sum(rowS.data() + 1, W - 2, bounds);
                rowU[0] = rowV[0] = rowS[0] = 0.0f;
                rowU[W - 1] = rowV[W - 1] = rowS[W - 1] = 0.0f;
                if (keepSize && !clamps) {
                    range.addZero();  // the shell columns
                }
            } else {
                std::fill(rowU.begin(), rowU.end(), 0.0f);
                std::fill(rowV.begin(), rowV.end(), 0.0f);
                std::fill(rowS.begin(), rowS.end(), 0.0f);
                if (!clamps) {
                    range.addZero();
                }
            }
            if (clamps) {
                for (float* values : {rowU.data(), rowV.data(), rowS.data()}) {
                    for (int x = s; x < s + count; ++x) {
                        if (values[x] < lowest) {
                            values[x] = lowest;
                            ++clamped;
                        }
                        if (values[x] > highest) {
                            values[x] = highest;
                            ++clamped;
                        }
                    }
                }
            }
            float* target = writer.place(channels * count, out.data());
            if (appendValue) {
                for (int i = 0; i < count; ++i) {
                    target[4 * i] = rowU[s + i];
                    target[4 * i + 1] = rowV[s + i];
                    target[4 * i + 2] = rowS[s + i];
                    target[4 * i + 3] = row[s + i];
                }
            } else {
                kernels::active().interleave3(target, rowU.data() + s, rowV.data() + s,
                                              rowS.data() + s, count);
            }
            writer.finish(target, channels * count);
            if (clamps) {
                range.add(rowU.data() + s, count);
                range.add(rowV.data() + s, count);
                range.add(rowS.data() + s, count);
            }
        }
        results[static_cast<std::size_t>(band)] = {range, clamped};
    });
    Range range;
    long long clamped = 0;
    for (const BandResult& part : results) {
        range.merge(part.range);
        clamped += part.clamped;
    }
    ResultWriter::finishResult(output, allRows * channels * count);

    for (int c = 0; c < 3; ++c) {
        storeRange(output, c, range.low(), range.high());
    }
    if (appendValue && m_window_level != nullptr) {
        storeRange(output, 3, m_window_level[0].low, m_window_level[0].high);
    }
    if (m_verbose) {
        std::cout << "Done. Range = [" << range.low() << ".." << range.high() << "]" << std::endl;
    }
    if (clamped > 0) {
        std::cout << "Warning: " << clamped << " values exceeded." << std::endl;
    }
    return output;
}

}  // namespace Nevra

#endif  // NEVRA_SRC_FILTERING_IMPL_H
