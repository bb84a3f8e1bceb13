// System message texts: every code the library, its tools and its tests meet has one.
#include "support/TestSupport.h"

#include <ostream>

namespace {

struct Code {
    const char* name;
    HRESULT value;
    bool wineHasText;  // Wine's message tables lack many COM codes
};

const Code kCodes[] = {
    {"E_NOTIMPL", E_NOTIMPL, true},
    {"E_NOINTERFACE", E_NOINTERFACE, false},
    {"E_POINTER", E_POINTER, false},
    {"E_FAIL", E_FAIL, true},
    {"E_UNEXPECTED", E_UNEXPECTED, false},
    {"E_ACCESSDENIED", E_ACCESSDENIED, true},
    {"E_OUTOFMEMORY", E_OUTOFMEMORY, true},
    {"E_INVALIDARG", E_INVALIDARG, true},
    {"E_NOTFOUND", HRESULT_FROM_WIN32(ERROR_NOT_FOUND), true},
    {"HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)", HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), true},
    {"HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)", HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER),
     true},
    {"HRESULT_FROM_WIN32(ERROR_MORE_DATA)", HRESULT_FROM_WIN32(ERROR_MORE_DATA), true},
    {"HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND)", HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND), true},
    {"HRESULT_FROM_WIN32(ERROR_INVALID_DATA)", HRESULT_FROM_WIN32(13), true},
    {"HRESULT_FROM_WIN32(ERROR_GEN_FAILURE)", HRESULT_FROM_WIN32(31), true},
    {"HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)", HRESULT_FROM_WIN32(32), true},
    {"HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), true},
    {"HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE)", HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), true},
    {"HRESULT_FROM_WIN32(ERROR_UNSUPPORTED_TYPE)", HRESULT_FROM_WIN32(ERROR_UNSUPPORTED_TYPE),
     true},
    {"CLASS_E_NOAGGREGATION", CLASS_E_NOAGGREGATION, false},
    {"CLASS_E_CLASSNOTAVAILABLE", CLASS_E_CLASSNOTAVAILABLE, false},
    {"REGDB_E_CLASSNOTREG", REGDB_E_CLASSNOTREG, false},
    {"CO_E_NOTINITIALIZED", CO_E_NOTINITIALIZED, false},
    {"CO_E_CLASSSTRING", CO_E_CLASSSTRING, false},
    {"CO_E_OBJISREG", CO_E_OBJISREG, false},
    {"RPC_E_CHANGED_MODE", RPC_E_CHANGED_MODE, false},
    {"RPC_E_WRONG_THREAD", RPC_E_WRONG_THREAD, false},
    {"STG_E_ACCESSDENIED", STG_E_ACCESSDENIED, false},
    {"STG_E_INVALIDPARAMETER", STG_E_INVALIDPARAMETER, false},
    {"DISP_E_BADVARTYPE", DISP_E_BADVARTYPE, false},
    {"TYPE_E_ELEMENTNOTFOUND", TYPE_E_ELEMENTNOTFOUND, false},
    {"ERROR_FILE_NOT_FOUND", ERROR_FILE_NOT_FOUND, true},
    {"ERROR_ACCESS_DENIED", ERROR_ACCESS_DENIED, true},
    {"ERROR_INVALID_HANDLE", ERROR_INVALID_HANDLE, true},
    {"ERROR_NOT_ENOUGH_MEMORY", ERROR_NOT_ENOUGH_MEMORY, true},
    {"ERROR_OUTOFMEMORY", ERROR_OUTOFMEMORY, true},
    {"ERROR_NOT_SUPPORTED", ERROR_NOT_SUPPORTED, true},
    {"ERROR_INVALID_PARAMETER", ERROR_INVALID_PARAMETER, true},
    {"ERROR_INSUFFICIENT_BUFFER", ERROR_INSUFFICIENT_BUFFER, true},
    {"ERROR_MORE_DATA", ERROR_MORE_DATA, true},
    {"ERROR_NOT_FOUND", ERROR_NOT_FOUND, true},
    {"ERROR_SET_NOT_FOUND", ERROR_SET_NOT_FOUND, true},
    {"ERROR_UNSUPPORTED_TYPE", ERROR_UNSUPPORTED_TYPE, true},
};

void PrintTo(const Code& code, std::ostream* out) {
    *out << code.name;
}

class SystemText : public ::testing::TestWithParam<Code> {};

}  // namespace

TEST_P(SystemText, IsThereAndEndsInALineBreak) {
    const Code& code = GetParam();
    if (vextest::RunningUnderWine() && !code.wineHasText) {
        GTEST_SKIP() << "Wine's message tables have no text for " << code.name;
    }
    const WString text = vextest::SystemMessage(code.value);
    ASSERT_GE(text.size(), 3u) << code.name << " " << vextest::Hex(code.value);
    EXPECT_EQ(u'\r', text[text.size() - 2]) << code.name;
    EXPECT_EQ(u'\n', text[text.size() - 1]) << code.name;
}

INSTANTIATE_TEST_SUITE_P(Codes, SystemText, ::testing::ValuesIn(kCodes),
                         [](const ::testing::TestParamInfo<Code>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c != 0; ++c) {
                                 name.push_back((*c >= 'A' && *c <= 'Z') ||
                                                        (*c >= 'a' && *c <= 'z') ||
                                                        (*c >= '0' && *c <= '9')
                                                    ? *c
                                                    : '_');
                             }
                             return name;
                         });

TEST(SystemMessage, Win32CodeAndItsResultShareAText) {
    for (DWORD code : {2u, 5u, 87u, 122u, 234u, 1168u, 1170u}) {
        const WString text = vextest::SystemMessage(static_cast<HRESULT>(code));
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_TRUE(text == vextest::SystemMessage(HRESULT_FROM_WIN32(code))) << code;
    }
}

TEST(SystemMessage, CodeWithoutTextGivesNothing) {
    for (DWORD code : {0xA0001234u, 0x80040200u, 0x80040201u}) {
        WCHAR* buffer = reinterpret_cast<WCHAR*>(static_cast<uintptr_t>(0x1));
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
        EXPECT_EQ(0u, length) << code;
    }
}
