// The registry: values, key names, and what an opened key's access mask allows.
#include "support/TestSupport.h"

#include <vector>

namespace {

const WCHAR* const kTestKey = TEXT("SOFTWARE\\VexPlatformConformance");

// Opens the test key, or a subkey of it, with an access mask.
HKEY Open(REGSAM access, const WCHAR* subKey = nullptr) {
    WString path = kTestKey;
    if (subKey != nullptr) {
        path += TEXT("\\");
        path += subKey;
    }
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key));
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

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        const WCHAR text[] = TEXT("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}");
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, TEXT("APO_SFX"), 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(text), sizeof text));
        const DWORD number = 7;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, TEXT("Number"), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&number), sizeof number));
        HKEY sub = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(key, TEXT("Existing"), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &sub, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, SetNumber(sub, TEXT("Number")));
        RegCloseKey(sub);
        RegCloseKey(key);
    }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey); }
};

TEST_F(Registry, ReadsPresentStringWithSizeQueryFirst) {
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

    DWORD small = 4;
    WCHAR tiny[2];
    EXPECT_EQ(ERROR_MORE_DATA,
              RegGetValueW(key, nullptr, TEXT("APO_SFX"), RRF_RT_REG_SZ, nullptr, tiny, &small));
    EXPECT_EQ(39u * sizeof(WCHAR), small);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(Registry, MissingKeysValuesAndTypes) {
    HKEY key = nullptr;
    EXPECT_EQ(
        ERROR_FILE_NOT_FOUND,
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\VexNoSuchKey\\"), 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &key));
    DWORD bytes = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegGetValueW(key, nullptr, TEXT("APO_MFX"), RRF_RT_REG_SZ, nullptr, nullptr, &bytes));
    DWORD type = REG_NONE;
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE,
              RegGetValueW(key, nullptr, TEXT("Number"), RRF_RT_REG_SZ, &type, nullptr, &bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << "a type mismatch still reports the type";
    EXPECT_EQ(4u, bytes) << "and the size";
    RegCloseKey(key);
}

TEST_F(Registry, AStringGainsItsTerminatorOnlyWhenCopied) {
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine's size query pads some strings stored without their terminator, "
                        "and Wine copies one into a buffer of its stored size with success; "
                        "Windows counts the stored bytes and answers ERROR_MORE_DATA";
    }
    struct Row {
        const char* name;
        std::vector<BYTE> stored;
        bool fitsItsSize;
    };
    const Row rows[] = {
        {"terminated", {'a', 0, 'b', 0, 0, 0}, true},
        {"unterminated", {'a', 0, 'b', 0}, false},
        {"odd length", {'a', 0, 'b'}, false},
    };
    HKEY key = Open(KEY_ALL_ACCESS);
    for (const Row& row : rows) {
        const DWORD stored = static_cast<DWORD>(row.stored.size());
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, TEXT("Text"), 0, REG_SZ, row.stored.data(), stored));
        DWORD bytes = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(key, nullptr, TEXT("Text"), RRF_RT_REG_SZ, nullptr,
                                              nullptr, &bytes));
        EXPECT_EQ(stored, bytes) << row.name << ": the size query counts the stored bytes";
        std::vector<WCHAR> text(8, u'x');
        const LSTATUS status =
            RegGetValueW(key, nullptr, TEXT("Text"), RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
        if (row.fitsItsSize) {
            EXPECT_EQ(ERROR_SUCCESS, status) << row.name;
            continue;
        }
        EXPECT_EQ(ERROR_MORE_DATA, status) << row.name;
        ASSERT_GT(bytes, stored) << row.name << ": the size asked for holds the terminator";
        ASSERT_LE(bytes, text.size() * sizeof(WCHAR)) << row.name;
        ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(key, nullptr, TEXT("Text"), RRF_RT_REG_SZ, nullptr,
                                              text.data(), &bytes))
            << row.name;
        EXPECT_EQ(0, text[bytes / sizeof(WCHAR) - 1]) << row.name << ": copied terminated";
        EXPECT_EQ(u'a', text[0]) << row.name;
    }
    RegCloseKey(key);
}

TEST_F(Registry, WritesThroughAKeyOpenedForReadingAreDenied) {
    HKEY key = Open(KEY_READ);
    ASSERT_NE(nullptr, key);
    struct Row {
        const char* name;
        LSTATUS (*write)(HKEY);
    };
    const Row rows[] = {
        {"RegSetValueExW of a new value", [](HKEY k) { return SetNumber(k, TEXT("Other")); }},
        {"RegSetValueExW of a present value", [](HKEY k) { return SetNumber(k, TEXT("Number")); }},
        {"RegDeleteValueW of a present value",
         [](HKEY k) { return RegDeleteValueW(k, TEXT("Number")); }},
        {"RegDeleteValueW of a missing value",
         [](HKEY k) { return RegDeleteValueW(k, TEXT("Missing")); }},
        {"RegDeleteTreeW of the key's contents", [](HKEY k) { return RegDeleteTreeW(k, nullptr); }},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ERROR_ACCESS_DENIED, row.write(key)) << row.name;
    }
    EXPECT_EQ(ERROR_SUCCESS, GetNumber(key, nullptr, TEXT("Number"))) << "nothing was deleted";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetNumber(key, nullptr, TEXT("Other")))
        << "nothing was written";
    RegCloseKey(key);
}

TEST_F(Registry, CreatingASubkeyThroughAKeyOpenedForReadingIsDenied) {
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine creates a subkey through a parent opened without "
                        "KEY_CREATE_SUB_KEY; Windows refuses it";
    }
    HKEY key = Open(KEY_READ);
    HKEY created = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExW(key, TEXT("New"), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, &created, nullptr));
    EXPECT_EQ(nullptr, created);
    HKEY absent = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(key, TEXT("New"), 0, KEY_READ, &absent));
    RegCloseKey(key);
}

TEST_F(Registry, EachOpenedKeyHasItsOwnRights) {
    HKEY parent = Open(KEY_READ);
    // An existing subkey opens through a read-only parent with whatever rights are asked.
    HKEY sub = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(parent, TEXT("Existing"), 0, nullptr, 0, KEY_READ,
                                             nullptr, &sub, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetNumber(sub, TEXT("Number")));
    RegCloseKey(sub);

    struct Row {
        const char* name;
        REGSAM access;
        LSTATUS set;
        LSTATUS get;
    };
    const Row rows[] = {
        {"KEY_WRITE", KEY_WRITE, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        {"KEY_SET_VALUE", KEY_SET_VALUE, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        {"KEY_QUERY_VALUE", KEY_QUERY_VALUE, ERROR_ACCESS_DENIED, ERROR_SUCCESS},
        {"KEY_ALL_ACCESS", KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_SUCCESS},
    };
    for (const Row& row : rows) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(parent, TEXT("Existing"), 0, row.access, &key))
            << row.name;
        EXPECT_EQ(row.set, SetNumber(key, TEXT("Number"))) << row.name;
        EXPECT_EQ(row.get, GetNumber(key, nullptr, TEXT("Number"))) << row.name;
        RegCloseKey(key);
    }
    // A named subkey is read through a key that may not query its own values.
    HKEY writer = Open(KEY_SET_VALUE);
    EXPECT_EQ(ERROR_SUCCESS, GetNumber(writer, TEXT("Existing"), TEXT("Number")));
    RegCloseKey(writer);
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
    HKEY still = Open(KEY_READ);
    EXPECT_NE(nullptr, still) << "the key itself stays";
    RegCloseKey(still);
}
