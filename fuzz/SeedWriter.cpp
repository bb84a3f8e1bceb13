// Writes the seed corpora of the set and get targets: a valid layout of every structured id (and
// a few scalar ids), short and oddly counted ones, and for the get target the value each valid
// layout is stored as, with the capacity it asks for.
// Usage: SeedWriter SET_DIR GET_DIR
#include "conversion/ParameterConversion.h"
#include "support/Layouts.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using vextest::Bytes;

// The words of `head`, then `values` words counting up from `first`.
Bytes Layout(std::initializer_list<int32_t> head, size_t values, int32_t first) {
    return vextest::ToBytes(vextest::Join({head, vextest::Sequence(first, values)}));
}

// Two words, two bytes, then `rest`.
Bytes Seed(uint32_t id, uint32_t size, std::initializer_list<uint8_t> bytes, const Bytes& rest) {
    Bytes seed = vextest::ToBytes({static_cast<int32_t>(id), static_cast<int32_t>(size)});
    seed.insert(seed.end(), bytes);
    seed.insert(seed.end(), rest.begin(), rest.end());
    return seed;
}

bool Write(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SET_DIR GET_DIR\n", argv[0]);
        return 2;
    }
    // Short, empty and oddly counted layouts (the last four counts wrap around in 32 bits), then
    // every valid one.
    std::vector<std::pair<LONG, Bytes>> seeds = {
        {1156, Layout({1, 0}, 0, 0)},        {1162, Bytes()},
        {2105, vextest::CountedBytes(0)},    {2105, vextest::CountedBytes(2045)},
        {2107, Layout({200}, 200, 6000)},    {2116, Layout({0}, 0, 0)},
        {2116, Layout({5}, 30, 9000)},       {2137, Layout({10}, 10, 12000)},
        {2137, Layout({-1}, 4, 1)},          {1156, Layout({0, -1}, 4, 1)},
        {1500, Layout({42}, 0, 0)},          {2500, Layout({-42}, 0, 0)},
        {9999, Layout({7}, 0, 0)},           {2116, Layout({0x0AAAAAAB}, 16, 1)},
        {2107, Layout({0x40000000}, 16, 1)}, {1156, Layout({0, 0x40000000}, 16, 1)},
        {2137, Layout({0x3FFFFFFF}, 16, 1)}};
    for (const vextest::Layout& layout : vextest::Layouts()) {
        seeds.emplace_back(layout.id, layout.caller);
    }
    int written = 0;
    for (size_t i = 0; i < seeds.size(); ++i) {
        const auto& [id, caller] = seeds[i];
        const std::string name = "/" + std::to_string(id) + "-" + std::to_string(i);
        const auto size = static_cast<ULONG>(caller.size());
        bool ok = Write(argv[1] + name, Seed(id, size, {0}, caller));
        const ConvertedParameter converted = ConvertParameterToPropVariant(id, caller.data(), size);
        if (ok && converted.Valid()) {
            const PROPVARIANT& value = converted.Value();
            ULONG required = 0;
            ConvertPropVariantToParameter(id, nullptr, &required, value);
            const bool blob = value.vt == VT_BLOB;  // kind 0 a blob, 1 VT_I4
            ok = Write(argv[2] + name, Seed(id, required, {blob ? uint8_t{0} : uint8_t{1}, 0},
                                            blob ? Bytes(value.blob.pBlobData,
                                                         value.blob.pBlobData + value.blob.cbSize)
                                                 : vextest::ToBytes({value.lVal})));
            ++written;
        }
        if (!ok) {
            std::fprintf(stderr, "cannot write the seed %s\n", name.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d seeds written\n", written);
    return 0;
}
