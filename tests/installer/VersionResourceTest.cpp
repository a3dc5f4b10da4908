// The version resource of every module we ship: the build's version, the
// names, and a Traditional Chinese description (language 1028, code page
// 950). Adding it leaves the control's type library as the build made it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

struct Module {
  const char* testName;
  const char* path;
  const wchar_t* fileName;
  const wchar_t* description;
  bool selfRegisters;
};

const Module kModules[] = {
    {"Control", QELT_OCX, L"QELTReaderProj1.ocx", L"QELTReader 憑證 IC 卡元件", true},
    {"SetupActions", QELT_SETUP_ACTIONS, L"QeltSetupActions.dll", L"QELTReader 安裝程式動作", false},
    {"BridgeHost", QELT_BRIDGE, L"qelt-bridge.exe", L"QELTReader 瀏覽器橋接程式", false},
    // Shipped in the development kit's package.
    {"VirtualCard", QELT_VIRTUAL_CARD, L"QELTVirtualCard.dll", L"QELTReader 開發套件 虛擬卡片", true},
};

#define QELT_WIDEN2(x) L## #x
#define QELT_WIDEN(x) QELT_WIDEN2(x)
const std::wstring kVersion = std::wstring(QELT_WIDEN(QELT_VERSION_MAJOR)) + L"." +
                              QELT_WIDEN(QELT_VERSION_MINOR) + L"." + QELT_WIDEN(QELT_VERSION_PATCH) + L".0";

std::vector<BYTE> VersionInfo(const char* path) {
  const std::wstring file = qelt::test::WinPath(path);
  DWORD ignored = 0;
  std::vector<BYTE> info(GetFileVersionInfoSizeW(file.c_str(), &ignored));
  if (info.empty() || !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(info.size()), info.data())) {
    return {};
  }
  return info;
}

// A value of the 1028/950 string block; false when it has none.
bool StringValue(std::vector<BYTE>& info, const wchar_t* name, std::wstring& value) {
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040403b6\\") + name;
  wchar_t* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) return false;
  value.assign(text, length > 0 ? wcsnlen(text, length) : 0);
  return true;
}

class VersionResource : public ::testing::TestWithParam<Module> {};

TEST_P(VersionResource, FixedPartCarriesTheBuildsVersion) {
  auto info = VersionInfo(GetParam().path);
  ASSERT_FALSE(info.empty()) << "no version resource";
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  ASSERT_EQ(size, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  const DWORD high = MAKELONG(QELT_VERSION_MINOR, QELT_VERSION_MAJOR);
  const DWORD low = MAKELONG(0, QELT_VERSION_PATCH);
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug, pre-release or patched flag";
  EXPECT_EQ(fixed->dwFileOS, DWORD{VOS_NT_WINDOWS32});
  const std::wstring fileName = GetParam().fileName;
  const bool program = fileName.size() > 4 && fileName.compare(fileName.size() - 4, 4, L".exe") == 0;
  EXPECT_EQ(fixed->dwFileType, DWORD{program ? VFT_APP : VFT_DLL});
}

TEST_P(VersionResource, OneTranslationTraditionalChineseCodePage950) {
  auto info = VersionInfo(GetParam().path);
  ASSERT_FALSE(info.empty());
  WORD* pairs = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pairs), &size));
  ASSERT_EQ(size, 2 * sizeof(WORD));
  EXPECT_EQ(pairs[0], 1028);
  EXPECT_EQ(pairs[1], 950);
}

TEST_P(VersionResource, Strings) {
  auto info = VersionInfo(GetParam().path);
  ASSERT_FALSE(info.empty());
  const std::wstring fileName = GetParam().fileName;
  const struct {
    const wchar_t* name;
    std::wstring expected;
  } rows[] = {
      {L"CompanyName", L"QELTReader"},
      {L"ProductName", L"QELTReader"},
      {L"FileDescription", GetParam().description},
      {L"FileVersion", kVersion},
      {L"ProductVersion", kVersion},
      {L"OriginalFilename", fileName},
      {L"InternalName", fileName.substr(0, fileName.rfind(L'.'))},
  };
  for (const auto& row : rows) {
    std::wstring value;
    EXPECT_TRUE(StringValue(info, row.name, value) && value == row.expected)
        << std::string(row.name, row.name + wcslen(row.name));
  }
  // Self-registering modules say so, for installers that look for it.
  std::wstring ignored;
  EXPECT_EQ(StringValue(info, L"OLESelfRegister", ignored), GetParam().selfRegisters);
}

std::string ModuleTestName(const ::testing::TestParamInfo<Module>& module) { return module.param.testName; }

INSTANTIATE_TEST_SUITE_P(ShippedModules, VersionResource, ::testing::ValuesIn(kModules), ModuleTestName);

TEST(ControlModule, TypeLibraryResourceIsTheLibraryTheBuildMade) {
  std::vector<BYTE> built;
  if (FILE* file = _wfopen(qelt::test::WinPath(QELT_TYPELIB).c_str(), L"rb")) {
    for (int c; (c = fgetc(file)) != EOF;) built.push_back(static_cast<BYTE>(c));
    fclose(file);
  }
  ASSERT_FALSE(built.empty());
  HMODULE ocx = LoadLibraryExW(qelt::test::WinPath(QELT_OCX).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(ocx, nullptr);
  HRSRC library = FindResourceW(ocx, MAKEINTRESOURCEW(1), L"TYPELIB");
  ASSERT_NE(library, nullptr);
  const auto* stored = static_cast<const BYTE*>(LockResource(LoadResource(ocx, library)));
  const std::vector<BYTE> resource(stored, stored + SizeofResource(ocx, library));
  FreeLibrary(ocx);
  EXPECT_TRUE(resource == built);
}

}  // namespace
