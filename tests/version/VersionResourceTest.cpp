// The version resources of the built DLLs and of vexctl.exe, read as an installer or Explorer's
// Details tab reads them, against the version of the CMake package.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The build puts every program and DLL in one directory, this test's own.
std::wstring BesideThisProgram(const wchar_t* name) {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

// A text of the resource's first translation; empty when it has none.
std::wstring Text(const std::vector<BYTE>& resource, const wchar_t* name) {
    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* found = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(resource.data(), L"\\VarFileInfo\\Translation", &found, &size) ||
        size < sizeof(Translation)) {
        return {};
    }
    const auto* translation = static_cast<const Translation*>(found);
    wchar_t path[96];
    swprintf(path, 96, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
             translation->codePage, name);
    if (!VerQueryValueW(resource.data(), path, &found, &size) || size == 0) {
        return {};
    }
    return static_cast<const wchar_t*>(found);
}

std::string Dotted(DWORD high, DWORD low) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low),
                  LOWORD(low));
    return text;
}

struct Binary {
    const wchar_t* name;
    DWORD fileType;
};

class VersionResource : public ::testing::TestWithParam<Binary> {};

TEST_P(VersionResource, CarriesThePackageVersionAndNames) {
    const Binary binary = GetParam();
    const std::wstring path = BesideThisProgram(binary.name);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(0u, size) << binary.name << " has no version resource: error " << GetLastError();
    std::vector<BYTE> resource(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, resource.data()));
    void* found = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(resource.data(), L"\\", &found, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(found);

    // The package's version has three numbers; the fourth of the resource is 0.
    const std::string version = VEX_PACKAGE_VERSION ".0";
    EXPECT_EQ(version, Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
    EXPECT_EQ(version, Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    EXPECT_EQ(binary.fileType, fixed->dwFileType);
    EXPECT_EQ(L"" VEX_PACKAGE_VERSION, Text(resource, L"FileVersion"));
    EXPECT_EQ(L"" VEX_PACKAGE_VERSION, Text(resource, L"ProductVersion"));
    EXPECT_EQ(L"" VEX_PACKAGE_NAME, Text(resource, L"ProductName"));
    EXPECT_EQ(binary.name, Text(resource, L"OriginalFilename"));
    for (const wchar_t* name : {L"FileDescription", L"CompanyName", L"LegalCopyright"}) {
        EXPECT_NE(L"", Text(resource, name)) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Binaries, VersionResource,
                         ::testing::Values(Binary{L"Orv3VexControl.dll", VFT_DLL},
                                           Binary{L"vexsim.dll", VFT_DLL},
                                           Binary{L"vexctl.exe", VFT_APP}));

}  // namespace
