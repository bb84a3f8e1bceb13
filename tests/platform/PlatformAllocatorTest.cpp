// The allocator families: task memory, BSTRs and local memory are each freed by their own
// function only.
#include "support/TestSupport.h"

#include <utility>

namespace {

// A block of local memory, as FormatMessageW allocates it for a system text.
void* LocalBlock() {
    WCHAR* buffer = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(E_INVALIDARG), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    return buffer;
}

using Allocate = void* (*)();
using Use = void (*)(void*);
const Allocate TaskBlock = [] { return CoTaskMemAlloc(32); };
const Allocate BstrBlock = []() -> void* { return SysAllocString(TEXT("text")); };
const Use FreeTask = [](void* block) { CoTaskMemFree(block); };
const Use FreeBstr = [](void* block) { SysFreeString(static_cast<BSTR>(block)); };
const Use FreeLocal = [](void* block) { LocalFree(block); };
const Use LengthOfBstr = [](void* block) { SysStringLen(static_cast<BSTR>(block)); };

}  // namespace

TEST(Allocators, EachFamilyFreesItsOwnBlocksAndZeroSizedBlocksAreDistinct) {
    for (const auto& [allocate, release] :
         {std::pair{TaskBlock, FreeTask}, {BstrBlock, FreeBstr}, {LocalBlock, FreeLocal}}) {
        void* block = allocate();
        ASSERT_NE(nullptr, block);
        release(block);
        release(nullptr);
    }
    EXPECT_EQ(nullptr, LocalFree(nullptr));
    void* empty = CoTaskMemAlloc(0);
    void* other = CoTaskMemAlloc(0);
    EXPECT_NE(nullptr, empty);
    EXPECT_NE(empty, other);
    CoTaskMemFree(other);
    CoTaskMemFree(empty);
}

TEST(Allocators, ABlockFreedByAnotherFamilyStopsTheProcess) {
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine, as Windows, takes a block freed by another family without "
                        "stopping (task and local memory share its heap; a BSTR mix corrupts "
                        "it), so there is nothing to observe";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Row {
        const char* name;
        Allocate allocate;
        Use misuse;
        const char* diagnostic;  // names the function misused and both families
    };
    const Row rows[] = {
        {"task memory to SysFreeString", TaskBlock, FreeBstr,
         "SysFreeString.*CoTaskMemAlloc.*SysAllocString"},
        {"BSTR to CoTaskMemFree", BstrBlock, FreeTask,
         "CoTaskMemFree.*SysAllocString.*CoTaskMemAlloc"},
        {"task memory to LocalFree", TaskBlock, FreeLocal, "LocalFree.*CoTaskMemAlloc.*LocalAlloc"},
        {"task memory read as a BSTR", TaskBlock, LengthOfBstr,
         "SysStringLen.*CoTaskMemAlloc.*SysAllocString"},
    };
    for (const Row& row : rows) {
        EXPECT_DEATH(
            {
                void* block = row.allocate();
                row.misuse(block);
            },
            row.diagnostic)
            << row.name;
    }
}
