// The raw layouts of the structured parameters, written out once for every test and the fuzz
// seeds: the caller's bytes of each id, and what the stored blob holds (its words, the markers
// at their word indexes) and how many bytes a get asks for.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

namespace vextest {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<int32_t>;

inline Bytes ToBytes(const Words& words) {
    Bytes bytes(words.size() * 4);
    if (!words.empty()) {
        std::memcpy(bytes.data(), words.data(), bytes.size());
    }
    return bytes;
}

inline Words ToWords(const uint8_t* bytes, size_t size) {
    Words words(size / 4);
    if (!words.empty()) {
        std::memcpy(words.data(), bytes, words.size() * 4);
    }
    return words;
}

// `count` words counting up from `first`.
inline Words Sequence(int32_t first, size_t count) {
    Words words(count);
    for (size_t i = 0; i < count; ++i) {
        words[i] = first + static_cast<int32_t>(i);
    }
    return words;
}

inline Words Join(std::initializer_list<Words> parts) {
    Words all;
    for (const Words& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// A byte count and that many bytes (the filter configuration, 2105).
inline Bytes CountedBytes(uint32_t n) {
    Bytes bytes = ToBytes({static_cast<int32_t>(n)});
    for (uint32_t i = 0; i < n; ++i) {
        bytes.push_back(static_cast<uint8_t>(0x40 + i));
    }
    return bytes;
}

struct Layout {
    int32_t id;
    Bytes caller;                                   // the caller's layout
    size_t storedWords;                             // words of the stored blob
    std::vector<std::pair<size_t, int32_t>> marks;  // stored word index and the marker there
    uint32_t required;                              // what a get asks for
};

// Markers `value` at word `first`, then every `stride` words, `count` times.
inline std::vector<std::pair<size_t, int32_t>> Marks(size_t first, size_t stride, size_t count,
                                                     int32_t value) {
    std::vector<std::pair<size_t, int32_t>> marks;
    for (size_t i = 0; i < count; ++i) {
        marks.emplace_back(first + i * stride, value);
    }
    return marks;
}

inline std::vector<Layout> Layouts() {
    return {
        {1114, ToBytes(Join({{7}, Sequence(100, 40)})), 43, Marks(1, 21, 2, 20), 164},
        {1122, ToBytes(Join({{-3}, Sequence(-500, 40)})), 43, Marks(1, 21, 2, 20), 164},
        {1119, ToBytes(Join({{10}, Sequence(1000, 220)})), 232, Marks(1, 21, 11, 20), 884},
        {1123, ToBytes(Join({{4}, Sequence(2000, 80)})), 85, Marks(1, 21, 4, 20), 324},
        {1170, ToBytes(Join({{2}, Sequence(3000, 80)})), 85, Marks(1, 21, 4, 20), 324},
        {1156, ToBytes({9, 5, 11, 12, 13, 14, 15}), 7, {{1, 5}}, 28},
        {1156, ToBytes({9, 0}), 2, {{1, 0}}, 8},
        {1161, ToBytes(Sequence(4000, 42)), 43, {{10, 32}}, 168},
        {1162, ToBytes(Sequence(5000, 18)), 18, {}, 72},
        {2105, CountedBytes(10), 4, {{0, 10}}, 16},
        {2105, CountedBytes(2044), 512, {{0, 2044}}, 2048},
        {2107, ToBytes(Join({{12}, Sequence(6000, 12)})), 13, {{0, 12}}, 52},
        {2107, ToBytes(Join({{160}, Sequence(6000, 160)})), 161, {{0, 160}}, 644},
        {2108, ToBytes(Sequence(7000, 40)), 42, Marks(0, 21, 2, 20), 160},
        {2109, ToBytes(Sequence(8000, 20)), 21, {{0, 20}}, 80},
        {2116, ToBytes(Join({{3}, Sequence(9000, 18)})), 22, Marks(1, 7, 3, 6), 100},
        {2116, ToBytes(Join({{4}, Sequence(9000, 24)})), 29, Marks(1, 7, 4, 6), 100},
        {2122, ToBytes(Sequence(10000, 8)), 9, {{0, 8}}, 32},
        {2135, ToBytes(Sequence(11000, 5)), 6, {{0, 5}}, 20},
        {2137, ToBytes(Join({{6}, Sequence(12000, 6)})), 7, {{0, 6}}, 28},
        {2138, ToBytes({2, 1, 0}), 3, {{0, 2}}, 12},
    };
}

}  // namespace vextest
