// The layer's allocator families. Every block handed out carries a header naming the family it
// came from, so that a block given to another family's free function stops the process with a
// message instead of corrupting the heap later, as it would on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexplat {

enum class Family : uint32_t {
    TaskMemory = 1,  // CoTaskMemAlloc, freed by CoTaskMemFree
    Bstr = 2,        // SysAllocString and SysAllocStringLen, freed by SysFreeString
    Local = 3,       // FormatMessageW's allocated buffer, freed by LocalFree
};

// The header sits right before the pointer handed out. Its last four bytes are a BSTR's byte
// length, so that a BSTR keeps its length prefix directly in front of its text.
struct BlockHeader {
    uint32_t magic;
    uint32_t family;
    uint32_t reserved;
    uint32_t bstrByteLength;
};
static_assert(sizeof(BlockHeader) == 16, "the header keeps the block 16-byte aligned");

// A block of the family with room for `bytes` bytes after the header; null when out of memory.
void* AllocateBlock(Family family, size_t bytes);

// The header of a block that must belong to `family`; stops the process naming the caller and
// both families when it belongs to another one, or to none.
BlockHeader* CheckedHeader(Family family, const char* caller, const void* block);

// Frees a block of the family (null is accepted), after the same check.
void FreeBlock(Family family, const char* caller, void* block);

}  // namespace vexplat
