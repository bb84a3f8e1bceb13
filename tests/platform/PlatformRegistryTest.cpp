// The registry: values, key names, and what an opened key's access mask allows.
#include "support/TestSupport.h"

#include <vector>

namespace {

const WCHAR* const kTestKey = TEXT("SOFTWARE\\VexPlatformConformance");

// Opens the test key with an access mask.
HKEY Open(REGSAM access) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, access, &key));
    return key;
}

LSTATUS GetNumber(HKEY key, const WCHAR* subKey, const WCHAR* name) {
    DWORD number = 0;
    DWORD bytes = sizeof number;
    return RegGetValueW(key, subKey, name, RRF_RT_REG_DWORD, nullptr, &number, &bytes);
}

LSTATUS SetNumber(HKEY key, const WCHAR* name) {
    const DWORD number = 9;
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof number);
}

}  // namespace

// The test key holds a string "APO_SFX", a number "Number" and a subkey "Existing" with a number.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        const WCHAR text[] = TEXT("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}");
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, TEXT("APO_SFX"), 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(text), sizeof text));
        ASSERT_EQ(ERROR_SUCCESS, SetNumber(key, TEXT("Number")));
        HKEY sub = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(key, TEXT("Existing"), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &sub, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, SetNumber(sub, TEXT("Number")));
        RegCloseKey(sub);
        RegCloseKey(key);
    }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey); }
};

TEST_F(Registry, ReadsAStringWithASizeQueryFirstAndMissesWhatIsNotThere) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("software\\vexplatformconformance\\"), 0,
                            KEY_READ, &key))
        << "key names ignore case, and a trailing backslash is accepted";
    DWORD bytes = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegGetValueW(key, nullptr, TEXT("apo_sfx"), RRF_RT_REG_SZ, nullptr, nullptr, &bytes));
    EXPECT_EQ(39u * sizeof(WCHAR), bytes);
    std::vector<WCHAR> text(bytes / sizeof(WCHAR));
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(key, nullptr, TEXT("APO_SFX"), RRF_RT_REG_SZ, nullptr,
                                          text.data(), &bytes));
    EXPECT_TRUE(WString(text.data()) == WString(TEXT("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}")));
    bytes = 4;
    EXPECT_EQ(ERROR_MORE_DATA, RegGetValueW(key, nullptr, TEXT("APO_SFX"), RRF_RT_REG_SZ, nullptr,
                                            text.data(), &bytes));
    EXPECT_EQ(39u * sizeof(WCHAR), bytes);

    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegGetValueW(key, nullptr, TEXT("APO_MFX"), RRF_RT_REG_SZ, nullptr, nullptr, &bytes));
    DWORD type = REG_NONE;
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE,
              RegGetValueW(key, nullptr, TEXT("Number"), RRF_RT_REG_SZ, &type, nullptr, &bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << "a type mismatch still reports the type";
    EXPECT_EQ(4u, bytes) << "and the size";
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
    EXPECT_EQ(
        ERROR_FILE_NOT_FOUND,
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\VexNoSuchKey\\"), 0, KEY_READ, &key));
}

TEST_F(Registry, AStringGainsItsTerminatorOnlyWhenCopied) {
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine's size query pads some strings stored without their terminator, "
                        "and Wine copies one into a buffer of its stored size with success; "
                        "Windows counts the stored bytes and answers ERROR_MORE_DATA";
    }
    const std::vector<BYTE> rows[] = {{'a', 0, 'b', 0, 0, 0}, {'a', 0, 'b', 0}, {'a', 0, 'b'}};
    HKEY key = Open(KEY_ALL_ACCESS);
    for (const std::vector<BYTE>& row : rows) {
        const DWORD stored = static_cast<DWORD>(row.size());
        const bool terminated = stored == 6;
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, TEXT("Text"), 0, REG_SZ, row.data(), stored));
        DWORD bytes = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(key, nullptr, TEXT("Text"), RRF_RT_REG_SZ, nullptr,
                                              nullptr, &bytes));
        EXPECT_EQ(stored, bytes) << stored << ": the size query counts the stored bytes";
        std::vector<WCHAR> text(8, u'x');
        EXPECT_EQ(
            terminated ? ERROR_SUCCESS : ERROR_MORE_DATA,
            RegGetValueW(key, nullptr, TEXT("Text"), RRF_RT_REG_SZ, nullptr, text.data(), &bytes))
            << stored;
        ASSERT_EQ(6u, bytes) << stored << ": the size asked for holds a whole terminated text";
        ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(key, nullptr, TEXT("Text"), RRF_RT_REG_SZ, nullptr,
                                              text.data(), &bytes))
            << stored;
        EXPECT_EQ(0, text[bytes / sizeof(WCHAR) - 1]) << stored << ": copied terminated";
        EXPECT_EQ(u'a', text[0]) << stored;
    }
    RegCloseKey(key);
}

// Writes through a key opened for reading are denied, and a subkey opens in its own right.
TEST_F(Registry, EachOpenedKeyHasItsOwnRights) {
    HKEY parent = Open(KEY_READ);
    ASSERT_NE(nullptr, parent);
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetNumber(parent, TEXT("Other")));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(parent, TEXT("Number")));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(parent, TEXT("Missing")));
    EXPECT_EQ(ERROR_SUCCESS, GetNumber(parent, nullptr, TEXT("Number"))) << "nothing was deleted";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetNumber(parent, nullptr, TEXT("Other")));

    HKEY sub = nullptr;
    const struct {
        REGSAM access;
        LSTATUS set;
        LSTATUS get;
    } rows[] = {
        {KEY_WRITE, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        {KEY_QUERY_VALUE, ERROR_ACCESS_DENIED, ERROR_SUCCESS},
        {KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_SUCCESS},
    };
    for (const auto& row : rows) {
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(parent, TEXT("Existing"), 0, nullptr, 0,
                                                 row.access, nullptr, &sub, &disposition));
        EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
        EXPECT_EQ(row.set, SetNumber(sub, TEXT("Number"))) << row.access;
        EXPECT_EQ(row.get, GetNumber(sub, nullptr, TEXT("Number"))) << row.access;
        RegCloseKey(sub);
    }
    HKEY writer = Open(KEY_SET_VALUE);
    EXPECT_EQ(ERROR_SUCCESS, GetNumber(writer, TEXT("Existing"), TEXT("Number")))
        << "a named subkey is read through a key that may not query its own values";
    RegCloseKey(writer);
    if (vextest::RunningUnderWine()) {
        RegCloseKey(parent);
        GTEST_SKIP() << "Wine creates a subkey through a parent opened without "
                        "KEY_CREATE_SUB_KEY, and deletes a read-only key's subkeys before it "
                        "refuses RegDeleteTreeW; Windows refuses both and deletes nothing";
    }
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(parent, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(parent, TEXT("Existing"), 0, KEY_READ, &sub));
    RegCloseKey(sub);
    sub = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExW(parent, TEXT("New"), 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &sub, nullptr));
    EXPECT_EQ(nullptr, sub);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(parent, TEXT("New"), 0, KEY_READ, &sub));
    RegCloseKey(parent);
}

TEST_F(Registry, DeleteTree) {
    HKEY key = Open(KEY_READ);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(key, TEXT("Existing")))
        << "a named subkey needs no rights on the parent";
    HKEY sub = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(key, TEXT("Existing"), 0, KEY_READ, &sub));
    RegCloseKey(key);

    key = Open(KEY_ALL_ACCESS);
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(key, TEXT("Again"), 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
    RegCloseKey(sub);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(key, nullptr)) << "without a subkey it empties the key";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetNumber(key, nullptr, TEXT("Number")));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(key, TEXT("Again"), 0, KEY_READ, &sub));
    RegCloseKey(key);
    RegCloseKey(Open(KEY_READ));  // the key itself stays
}
