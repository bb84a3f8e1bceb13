// Writes the seed corpora of both fuzz targets: a valid layout of every structured id (and of
// a few scalar ids), some short and oddly counted ones, and for the get target the value that
// each valid layout is stored as, with the capacity it asks for.
// Usage: SeedWriter SET_DIR GET_DIR
#include "conversion/ParameterConversion.h"
#include "support/Layouts.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using vextest::Bytes;

void PutU32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

// The words of `head`, then `values` words counting up from `first`.
Bytes Layout(std::initializer_list<int32_t> head, size_t values, int32_t first) {
    return vextest::ToBytes(vextest::Join({head, vextest::Sequence(first, values)}));
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

struct Seed {
    LONG id;
    Bytes caller;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SET_DIR GET_DIR\n", argv[0]);
        return 2;
    }
    const std::string setDir = argv[1];
    const std::string getDir = argv[2];

    // Every valid layout of the tests' table, then short, empty and oddly counted ones.
    std::vector<Seed> seeds;
    for (const vextest::Layout& layout : vextest::Layouts()) {
        seeds.push_back({layout.id, layout.caller});
    }
    const std::vector<Seed> odd = {
        {1156, Layout({1, 0}, 0, 0)},
        {1162, Bytes()},
        {2105, vextest::CountedBytes(0)},
        {2105, vextest::CountedBytes(2045)},
        {2107, Layout({200}, 200, 6000)},
        {2116, Layout({0}, 0, 0)},
        {2116, Layout({5}, 30, 9000)},
        {2137, Layout({10}, 10, 12000)},
        {2137, Layout({-1}, 4, 1)},
        {1156, Layout({0, -1}, 4, 1)},
        {1500, Layout({42}, 0, 0)},
        {2500, Layout({-42}, 0, 0)},
        {9999, Layout({7}, 0, 0)},
        // Counts whose byte counts wrap around in 32 bits.
        {2116, Layout({0x0AAAAAAB}, 16, 1)},
        {2107, Layout({0x40000000}, 16, 1)},
        {1156, Layout({0, 0x40000000}, 16, 1)},
        {2137, Layout({0x3FFFFFFF}, 16, 1)},
    };
    seeds.insert(seeds.end(), odd.begin(), odd.end());

    int written = 0;
    for (size_t i = 0; i < seeds.size(); ++i) {
        const Seed& seed = seeds[i];
        const std::string name = std::to_string(seed.id) + "-" + std::to_string(i);

        Bytes set;
        PutU32(set, static_cast<uint32_t>(seed.id));
        PutU32(set, static_cast<uint32_t>(seed.caller.size()));
        set.push_back(0);
        set.insert(set.end(), seed.caller.begin(), seed.caller.end());
        if (!WriteFile(setDir + "/" + name, set)) {
            std::fprintf(stderr, "cannot write %s/%s\n", setDir.c_str(), name.c_str());
            return 1;
        }
        ++written;

        const ConvertedParameter converted = ConvertParameterToPropVariant(
            seed.id, seed.caller.data(), static_cast<ULONG>(seed.caller.size()));
        if (!converted.Valid()) {
            continue;
        }
        const PROPVARIANT& value = converted.Value();
        ULONG required = 0;
        ConvertPropVariantToParameter(seed.id, nullptr, &required, value);
        Bytes get;
        PutU32(get, static_cast<uint32_t>(seed.id));
        PutU32(get, required);
        if (value.vt == VT_BLOB) {
            get.push_back(0);  // a blob
            get.push_back(0);
            get.insert(get.end(), value.blob.pBlobData, value.blob.pBlobData + value.blob.cbSize);
        } else {
            get.push_back(1);  // VT_I4
            get.push_back(0);
            PutU32(get, static_cast<uint32_t>(value.lVal));
        }
        if (!WriteFile(getDir + "/" + name, get)) {
            std::fprintf(stderr, "cannot write %s/%s\n", getDir.c_str(), name.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d seeds written\n", written);
    return 0;
}
