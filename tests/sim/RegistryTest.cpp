// A machine's registry values: written under HKEY_LOCAL_MACHINE on load, removed again on
// reset and when another machine replaces it.
#include "SimTest.h"

using simtest::Loaded;

namespace {

class SimRegistry : public simtest::SimTest {};

const WCHAR* const kWrapperKey = TEXT("SOFTWARE\\Tembra\\Wrapper\\");

bool KeyExists(const WCHAR* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

WString ReadString(const WCHAR* path, const WCHAR* name, LSTATUS* status) {
    WCHAR buffer[128] = {};
    DWORD size = sizeof buffer;
    *status = RegGetValueW(HKEY_LOCAL_MACHINE, path, name, RRF_RT_REG_SZ, nullptr, buffer, &size);
    return *status == ERROR_SUCCESS ? WString(buffer) : WString();
}

}  // namespace

TEST_F(SimRegistry, ValuesAreReadableWithTheirTypes) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("wrapper-effect")));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWrapperKey, 0, KEY_READ, &key));
    LSTATUS status = ERROR_SUCCESS;
    EXPECT_EQ(WString(TEXT("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}")),
              ReadString(kWrapperKey, TEXT("APO_EFX"), &status));
    EXPECT_EQ(ERROR_SUCCESS, status);

    // APO_SFX is a REG_DWORD: a string read refuses it.
    ReadString(kWrapperKey, TEXT("APO_SFX"), &status);
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE, status);
    DWORD number = 0;
    DWORD size = sizeof number;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(key, nullptr, TEXT("APO_SFX"), RRF_RT_REG_DWORD, nullptr,
                                          &number, &size));
    EXPECT_EQ(1u, number);

    ReadString(kWrapperKey, TEXT("APO_MFX"), &status);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, status);
    RegCloseKey(key);
}

TEST_F(SimRegistry, ValuesGoWithTheirMachine) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("wrapper-effect")));
    EXPECT_TRUE(KeyExists(kWrapperKey));
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    EXPECT_FALSE(KeyExists(kWrapperKey)) << "replaced machine's values are removed";
    EXPECT_FALSE(KeyExists(TEXT("SOFTWARE\\Tembra"))) << "and the keys it created";

    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    LSTATUS status = ERROR_SUCCESS;
    EXPECT_EQ(WString(TEXT("{1bedaecc-55f6-4149-95d9-a707a2fb4134}")),
              ReadString(kWrapperKey, TEXT("APO_SFX"), &status));
    vexsim_Reset();
    EXPECT_FALSE(KeyExists(kWrapperKey)) << "reset removes them";
}

TEST_F(SimRegistry, ValuesAddedToAnExistingKeyAreRemovedAlone) {
    const WCHAR* path = TEXT("SOFTWARE\\VexSimTestExisting");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, &key, nullptr));
    const WCHAR keep[] = TEXT("mine");
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, TEXT("Keep"), 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(keep), sizeof keep));
    RegCloseKey(key);

    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(
        R"({"registry": {"SOFTWARE\\VexSimTestExisting": {"Added": "by the machine"}}})")));
    LSTATUS status = ERROR_SUCCESS;
    EXPECT_EQ(WString(TEXT("by the machine")), ReadString(path, TEXT("Added"), &status));
    vexsim_Reset();
    ReadString(path, TEXT("Added"), &status);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, status);
    EXPECT_EQ(WString(keep), ReadString(path, TEXT("Keep"), &status))
        << "a value the machine did not write stays";
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, path));
}
