// System message texts: every code the library, its tools and its tests meet has one.
#include "support/TestSupport.h"

namespace {

void ExpectTextWithLineBreak(HRESULT code) {
    const WString text = vextest::SystemMessage(code);
    ASSERT_GE(text.size(), 3u) << vextest::Hex(code);
    EXPECT_EQ(u'\r', text[text.size() - 2]) << vextest::Hex(code);
    EXPECT_EQ(u'\n', text[text.size() - 1]) << vextest::Hex(code);
}

}  // namespace

TEST(SystemMessage, EveryCodeMetHasATextEndingInALineBreak) {
    for (HRESULT code : {E_NOTIMPL, E_FAIL, E_ACCESSDENIED, E_OUTOFMEMORY, E_INVALIDARG}) {
        ExpectTextWithLineBreak(code);
    }
    // A Win32 code and its result share a text.
    for (DWORD code :
         {2u, 5u, 6u, 8u, 13u, 14u, 31u, 32u, 50u, 87u, 122u, 234u, 1168u, 1170u, 1630u}) {
        ExpectTextWithLineBreak(static_cast<HRESULT>(code));
        EXPECT_TRUE(vextest::SystemMessage(static_cast<HRESULT>(code)) ==
                    vextest::SystemMessage(HRESULT_FROM_WIN32(code)))
            << code;
    }
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine's message tables have no text for many COM codes";
    }
    for (HRESULT code :
         {E_NOINTERFACE, E_POINTER, E_UNEXPECTED, CLASS_E_NOAGGREGATION, CLASS_E_CLASSNOTAVAILABLE,
          REGDB_E_CLASSNOTREG, CO_E_NOTINITIALIZED, CO_E_CLASSSTRING, RPC_E_CHANGED_MODE,
          RPC_E_WRONG_THREAD, STG_E_ACCESSDENIED, STG_E_INVALIDPARAMETER, DISP_E_BADVARTYPE,
          TYPE_E_ELEMENTNOTFOUND}) {
        ExpectTextWithLineBreak(code);
    }
}

TEST(SystemMessage, CodeWithoutTextGivesNothing) {
    for (DWORD code : {0xA0001234u, 0x80040200u, 0x80040201u}) {
        EXPECT_TRUE(vextest::SystemMessage(static_cast<HRESULT>(code)).empty()) << code;
    }
}
