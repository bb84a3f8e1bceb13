// The allocator families: one malloc'd block per allocation, with a tagged header in front.
#include "Memory.h"

#include <cstdio>
#include <cstdlib>

namespace vexplat {

namespace {

constexpr uint32_t kMagic = 0x56584D42u;  // "VXMB"
constexpr uint32_t kFreed = 0x56584644u;  // written over the magic when the block is freed

const char* AllocatorOf(uint32_t family) {
    switch (static_cast<Family>(family)) {
        case Family::TaskMemory:
            return "CoTaskMemAlloc (task memory)";
        case Family::Bstr:
            return "SysAllocString (BSTR)";
        case Family::Local:
            return "LocalAlloc (local memory, as FormatMessageW allocates it)";
    }
    return "an unknown allocator";
}

[[noreturn]] void Refuse(const char* caller, Family expected, const char* found) {
    std::fprintf(stderr, "vexplat: %s was given a block from %s; it frees only blocks from %s\n",
                 caller, found, AllocatorOf(static_cast<uint32_t>(expected)));
    std::fflush(stderr);
    std::abort();
}

}  // namespace

void* AllocateBlock(Family family, size_t bytes) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) {
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
    if (header == nullptr) {
        return nullptr;
    }
    *header = BlockHeader{kMagic, static_cast<uint32_t>(family), 0, 0};
    return header + 1;
}

BlockHeader* CheckedHeader(Family family, const char* caller, const void* block) {
    auto* header = const_cast<BlockHeader*>(static_cast<const BlockHeader*>(block)) - 1;
    if (header->magic == kFreed) {
        Refuse(caller, family, "a block that was already freed");
    }
    if (header->magic != kMagic) {
        Refuse(caller, family, "no allocator of the platform layer");
    }
    if (header->family != static_cast<uint32_t>(family)) {
        Refuse(caller, family, AllocatorOf(header->family));
    }
    return header;
}

void FreeBlock(Family family, const char* caller, void* block) {
    if (block == nullptr) {
        return;
    }
    BlockHeader* header = CheckedHeader(family, caller, block);
    header->magic = kFreed;
    std::free(header);
}

}  // namespace vexplat
