// A host that misuses the exports: null, closed, foreign and twice-closed handles, null and
// undersized buffers and size pointers, route flags with unknown bits, ids at every boundary.
// Every call's result is asserted, and what a failed call was given to write stays as it was.
#include "support/Flows.h"
#include "support/Layouts.h"

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace reltest;
using vextest::kSpeakers;

constexpr BYTE kFill = 0xA5;

class Misuse : public vextest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        Load("default");
        m_handle = OpenOrFail(kSpeakers);
        ASSERT_NE(nullptr, m_handle);
    }
    void TearDown() override {
        if (m_handle != nullptr) {
            EXPECT_HR(S_OK, m_library.Close(m_handle));
        }
        LibraryTest::TearDown();
    }

    // A get into a filled buffer: nothing past the capacity is written; a failed get leaves
    // the buffer as it was (the store route may have zeroed it; with both, the store's bytes).
    HRESULT GetChecked(ControlHandle handle, LONG id, ULONG capacity, ULONG flags,
                       ULONG* sizeOut = nullptr) {
        std::vector<BYTE> buffer(capacity + 16, kFill);
        ULONG size = capacity;
        const HRESULT hr = m_library.Get(handle, id, buffer.data(), &size, flags);
        for (ULONG i = capacity; i < buffer.size(); ++i) {
            EXPECT_EQ(kFill, buffer[i]) << "byte " << i << " past the capacity was written";
        }
        const bool store = (flags & kApo) != 0;
        const bool dsp = (flags & kDsp) != 0;
        if (FAILED(hr) && !(store && dsp)) {
            for (ULONG i = 0; i < capacity; ++i) {
                if (store) {
                    EXPECT_TRUE(buffer[i] == kFill || buffer[i] == 0)
                        << "a failed get wrote byte " << i;
                } else {
                    EXPECT_EQ(kFill, buffer[i]) << "a failed get wrote byte " << i;
                }
            }
        }
        if (sizeOut != nullptr) {
            *sizeOut = size;
        }
        return hr;
    }

    ControlHandle m_handle = nullptr;
};

// Handles that the library never gave out or took back already.
TEST_F(Misuse, BadHandlesAreRefusedOnEveryExport) {
    ControlHandle closed = OpenOrFail(vextest::kHeadphones);
    ASSERT_HR(S_OK, m_library.Close(closed));
    // A foreign handle holding a valid endpoint id: the text alone is no handle.
    WString foreignText(kSpeakers);
    const struct {
        const char* what;
        ControlHandle handle;
    } handles[] = {
        {"null", nullptr},
        {"closed", closed},
        {"foreign", foreignText.data()},
        {"one past a live handle", static_cast<WCHAR*>(m_handle) + 1},
    };
    const std::vector<BYTE> word = ScalarBytes(1);
    const PROPVARIANT value = vextest::Int32Value(1);
    for (const auto& h : handles) {
        SCOPED_TRACE(h.what);
        for (const ULONG flags : {ULONG{0}, kApo, kDsp, kBoth}) {
            SCOPED_TRACE(flags);
            EXPECT_HR(E_INVALIDARG, m_library.Set(h.handle, kScalarId, word.data(), 4, flags));
            EXPECT_HR(E_INVALIDARG, m_library.SetVariant(h.handle, kScalarId, &value, flags));
            ULONG size = 4;
            EXPECT_HR(E_INVALIDARG, GetChecked(h.handle, kScalarId, 4, flags, &size));
            EXPECT_EQ(4u, size) << "the size of a refused get is left alone";
            EXPECT_HR(E_INVALIDARG, m_library.Set(h.handle, VEX_PARAM_LOW_LATENCY_MODULE,
                                                  std::vector<BYTE>(8).data(), 8, kDsp));
        }
        EXPECT_HR(E_INVALIDARG, m_library.Close(h.handle));
    }
    EXPECT_EQ(foreignText, WString(kSpeakers)) << "the foreign text was written";
    // The live handle still works after all that.
    EXPECT_HR(S_OK, m_library.Set(m_handle, kScalarId, word.data(), 4, kBoth));
}

TEST_F(Misuse, OpenRefusesWhatItCannotOpen) {
    ControlHandle handle = reinterpret_cast<ControlHandle>(0x5EED);
    EXPECT_HR(E_INVALIDARG, m_library.Open(nullptr, kSpeakers));
    EXPECT_HR(E_INVALIDARG, m_library.Open(nullptr, nullptr));
    const struct {
        const char* what;
        const WCHAR* id;
    } ids[] = {
        {"empty", TEXT("")},
        {"letter case differs", TEXT("{0.0.0.00000000}.{6F1F6A2E-3C1B-4D59-9A51-0B7E2D1C4A01}")},
    };
    for (const auto& id : ids) {
        SCOPED_TRACE(id.what);
        const HRESULT hr = m_library.Open(&handle, id.id);
        EXPECT_TRUE(FAILED(hr)) << vextest::Hex(hr);
        EXPECT_EQ(reinterpret_cast<ControlHandle>(0x5EED), handle) << "handle written";
    }
}

TEST_F(Misuse, NullAndUndersizedBuffers) {
    const std::vector<BYTE> word = ScalarBytes(5);
    const std::vector<BYTE> blob = StructuredBytes(1);
    const std::vector<BYTE> minusOne = vextest::ToBytes({-1, 0});
    const std::vector<BYTE> tooMany = vextest::CountedBytes(3000);
    const std::string before = vextest::SimDump().dump();
    const struct {
        const char* what;
        LONG id;
        const void* buffer;
        ULONG size;
        ULONG flags;
        HRESULT result;
    } sets[] = {
        {"scalar, null buffer", kScalarId, nullptr, 4, kApo, E_INVALIDARG},
        {"scalar, null buffer, size 0", kScalarId, nullptr, 0, kBoth, E_INVALIDARG},
        {"scalar, 3 bytes", kScalarId, word.data(), 3, kBoth, E_INVALIDARG},
        {"structured, null buffer", kStructuredId, nullptr, 80, kBoth, E_INVALIDARG},
        {"structured, one byte short", kStructuredId, blob.data(), 79, kApo, E_INVALIDARG},
        {"selection, 7 bytes", VEX_PARAM_LOW_LATENCY_MODULE, blob.data(), 7, kDsp, E_INVALIDARG},
        {"selection, 9 bytes", VEX_PARAM_LOW_LATENCY_MODULE, blob.data(), 9, kDsp, E_INVALIDARG},
        {"counted, a count of -1", 2107, minusOne.data(), 8, kApo, E_INVALIDARG},
        {"filter configuration past its capacity", 2105, tooMany.data(),
         static_cast<ULONG>(tooMany.size()), kBoth, E_INVALIDARG},
    };
    for (const auto& s : sets) {
        SCOPED_TRACE(s.what);
        EXPECT_HR(s.result, m_library.Set(m_handle, s.id, s.buffer, s.size, s.flags));
    }
    EXPECT_HR(E_INVALIDARG, m_library.SetVariant(m_handle, kScalarId, nullptr, kBoth));
    EXPECT_EQ(before, vextest::SimDump().dump()) << "a refused set wrote to the machine";

    // Gets: a value on both routes to read back first.
    ASSERT_HR(S_OK, m_library.Set(m_handle, kScalarId, word.data(), 4, kApo));
    ASSERT_HR(S_OK, m_library.Set(m_handle, kScalarId, word.data(), 4, kDsp));
    BYTE buffer[8];
    ULONG size = 4;
    EXPECT_HR(E_INVALIDARG, m_library.Get(m_handle, kScalarId, buffer, nullptr, kBoth));
    EXPECT_HR(E_INVALIDARG, m_library.Get(m_handle, kScalarId, nullptr, &size, kApo));
    EXPECT_EQ(4u, size);
    size = 1024;
    EXPECT_HR(E_INVALIDARG, m_library.Get(m_handle, kScalarId, nullptr, &size, kDsp));
    const struct {
        const char* what;
        LONG id;
        ULONG capacity;
        ULONG flags;
        ULONG required;  // the size reported back
    } gets[] = {
        {"scalar, 0 bytes, both", kScalarId, 0, kBoth, 4},
        {"form factor, 3 bytes", VEX_PARAM_FORM_FACTOR, 3, kApo, 4},
        {"version text, 1 byte", VEX_PARAM_LOW_LATENCY_VERSION, 1, kApo, 0},
    };
    for (const auto& g : gets) {
        SCOPED_TRACE(g.what);
        ULONG reported = 0;
        EXPECT_HR(E_INVALIDARG, GetChecked(m_handle, g.id, g.capacity, g.flags, &reported));
        if (g.required != 0) {
            EXPECT_EQ(g.required, reported);
        } else {
            EXPECT_GT(reported, g.capacity) << "the size needed is reported";
        }
    }
}

TEST_F(Misuse, UnknownRouteBitsAreIgnored) {
    const std::vector<BYTE> word = ScalarBytes(9);
    const char* const kWave =
        "{2}.\\\\?\\vexaudio#speakers#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\wave";
    const struct {
        ULONG flags;
        ULONG routes;  // the known bits among them
    } cases[] = {{0x4u, 0}, {0xFFFFFFFCu, 0}, {0x5u, kApo}, {0x6u, kDsp}, {0xFFFFFFFFu, kBoth}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        const unsigned long storeWrites = vexsim_CallCount("IPropertyStore::SetValue");
        const int dspRequests = vexsim_KsRequestCount(kWave);
        EXPECT_HR(S_OK, m_library.Set(m_handle, kScalarId, word.data(), 4, c.flags));
        EXPECT_EQ(storeWrites + ((c.routes & kApo) != 0 ? 1 : 0),
                  vexsim_CallCount("IPropertyStore::SetValue"));
        EXPECT_EQ((c.routes & kDsp) != 0, vexsim_KsRequestCount(kWave) > dspRequests);
        LONG read = 0;
        ULONG size = sizeof read;
        EXPECT_HR(S_OK, m_library.Get(m_handle, kScalarId, &read, &size, c.flags));
        EXPECT_EQ(c.routes != 0 ? 9 : 0, read);
    }
}

// Ids at the edges of the ranges and of the integer, on each route, for a set and a get.
TEST_F(Misuse, IdsAtEveryBoundary) {
    const HRESULT Fail = E_FAIL;
    const HRESULT Arg = E_INVALIDARG;
    const HRESULT Ok = S_OK;
    const struct {
        LONG id;
        HRESULT set[3];  // flags 1, 2, 3
        HRESULT get[3];
    } cases[] = {
        {1000, {Fail, Arg, Arg}, {Fail, Arg, Fail}},
        {1001, {Fail, Arg, Arg}, {Ok, Arg, Arg}},
        {2000, {Fail, Arg, Arg}, {Fail, Arg, Fail}},
        {2001, {Fail, Arg, Arg}, {Ok, Ok, Ok}},
        {3001, {Fail, Arg, Arg}, {Fail, Arg, Fail}},
        {INT_MIN, {Fail, Arg, Arg}, {Fail, Arg, Fail}},
        {INT_MAX, {Fail, Arg, Arg}, {Fail, Arg, Fail}},
    };
    const std::vector<BYTE> word = ScalarBytes(3);
    const ULONG routes[] = {kApo, kDsp, kBoth};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        for (int r = 0; r < 3; ++r) {
            SCOPED_TRACE(routes[r]);
            EXPECT_HR(c.set[r], m_library.Set(m_handle, c.id, word.data(), 4, routes[r]));
            EXPECT_HR(c.get[r], GetChecked(m_handle, c.id, 256, routes[r]));
        }
    }
}

}  // namespace
