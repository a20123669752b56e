#include <gtest/gtest.h>

#include "fake_platform.h"
#include "windows/host/host.h"

namespace {

const HMODULE kPasswordModule = FakeHandle<HMODULE>(0xC91);
const HMODULE kMpr = FakeHandle<HMODULE>(0x3B0);

class PasswordHooks : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcess();
        hostState.isWin9x = 1;
        fake.registryValue = {1, 0, 0, 0};
        fake.libraries["PASSWORD.CPL"] = kPasswordModule;
        fake.entryPoints["VerifyScreenSavePwd"] = reinterpret_cast<FARPROC>(FakeVerifyScreenSavePwd);
    }
};

TEST_F(PasswordHooks, PasswordInUseLoadsTheVerifierAndTellsThePlatform) {
    LoadPasswordHooks(hostState);
    EXPECT_EQ(fake.calls,
              (std::vector<std::string>{"RegOpenKeyA(0x80000001,\"Control Panel\\Desktop\")",
                                        "RegQueryValueExA(0x4E7,\"ScreenSaveUsePassword\",0,0,4)",
                                        "LoadLibraryA(\"PASSWORD.CPL\")",
                                        "GetProcAddress(0xC91,\"VerifyScreenSavePwd\")",
                                        "SystemParametersInfoA(97,1,place,0)", "RegCloseKey(0x4E7)"}));
    EXPECT_EQ(hostState.passwordModule, kPasswordModule);
    EXPECT_EQ(hostState.verifyPassword, FakeVerifyScreenSavePwd);

    fake.calls.clear();
    UnloadPasswordHooks(hostState);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"FreeLibrary(0xC91)", "SystemParametersInfoA(97,0,place,0)"}));
    EXPECT_EQ(hostState.passwordModule, nullptr);
    EXPECT_EQ(hostState.verifyPassword, nullptr);
}

TEST_F(PasswordHooks, OffWindows9xNothingIsTouched) {
    hostState.isWin9x = 0;
    LoadPasswordHooks(hostState);
    SetSaverRunning(hostState, 1);
    SetSaverRunning(hostState, 0);
    hostState.passwordModule = kPasswordModule;
    UnloadPasswordHooks(hostState);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(PasswordHooks, NoPasswordInUseMeansNoModuleAndNoRunningState) {
    for (int variant = 0; variant < 4; ++variant) {
        SetUp();
        if (variant == 0) {
            fake.registryValue = {0, 0, 0, 0};
        } else if (variant == 1) {
            fake.queryResult = 2;  // value missing
        } else if (variant == 2) {
            fake.registryValue = {1, 0, 0, 0, 0, 0, 0, 0};  // longer than four bytes
        } else {
            fake.openKeyResult = 2;
        }
        LoadPasswordHooks(hostState);
        EXPECT_EQ(fake.Count("LoadLibraryA"), 0u) << variant;
        EXPECT_EQ(fake.Count("SystemParametersInfoA"), 0u) << variant;
        EXPECT_EQ(fake.Count("RegCloseKey"), variant == 3 ? 0u : 1u) << "close only an opened key";
        EXPECT_EQ(hostState.verifyPassword, nullptr);
    }
}

TEST_F(PasswordHooks, ShortRegistryValueReadsAsItsOwnBytes) {
    fake.registryValue = {1};
    LoadPasswordHooks(hostState);
    EXPECT_EQ(hostState.verifyPassword, FakeVerifyScreenSavePwd) << "a one-byte 1 is a password in use";
}

TEST_F(PasswordHooks, ModuleWithoutTheEntryPointIsFreedAtOnce) {
    fake.entryPoints.clear();
    LoadPasswordHooks(hostState);
    EXPECT_EQ(fake.Count("FreeLibrary(0xC91)"), 1u);
    EXPECT_EQ(fake.Count("SystemParametersInfoA"), 0u);
    EXPECT_EQ(fake.IndexOf("FreeLibrary"), fake.IndexOf("RegCloseKey") - 1);
    EXPECT_EQ(hostState.passwordModule, nullptr);
}

TEST_F(PasswordHooks, MissingModuleLeavesNoPassword) {
    fake.libraries.clear();
    LoadPasswordHooks(hostState);
    EXPECT_EQ(hostState.passwordModule, nullptr);
    EXPECT_EQ(fake.Count("GetProcAddress"), 0u);
    EXPECT_EQ(fake.Count("RegCloseKey"), 1u);
}

TEST_F(PasswordHooks, LoadingAgainReleasesTheOldHooksFirst) {
    LoadPasswordHooks(hostState);
    fake.calls.clear();
    LoadPasswordHooks(hostState);
    EXPECT_EQ(fake.calls[0], "FreeLibrary(0xC91)");
    EXPECT_EQ(fake.calls[1], "SystemParametersInfoA(97,0,place,0)");
    EXPECT_EQ(fake.calls[2], "RegOpenKeyA(0x80000001,\"Control Panel\\Desktop\")");
    EXPECT_EQ(fake.Calls("SystemParametersInfoA").back(), "SystemParametersInfoA(97,1,place,0)");
}

TEST_F(PasswordHooks, UnloadWithNothingLoadedCallsNothing) {
    UnloadPasswordHooks(hostState);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(PasswordHooks, ChangePasswordHoldsTheLibraryOnlyForTheDialog) {
    fake.libraries["MPR.DLL"] = kMpr;
    fake.entryPoints["PwdChangePasswordA"] = reinterpret_cast<FARPROC>(FakePwdChangePasswordA);
    hostState.isWin9x = 0;  // not its business
    ChangeSaverPassword(FakeHandle<HWND>(0x42));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"LoadLibraryA(\"MPR.DLL\")",
                                                    "GetProcAddress(0x3B0,\"PwdChangePasswordA\")",
                                                    "PwdChangePasswordA(\"SCRSAVE\",0x42,0,0)", "FreeLibrary(0x3B0)"}));

    fake.calls.clear();
    fake.entryPoints.erase("PwdChangePasswordA");
    ChangeSaverPassword(FakeHandle<HWND>(0x42));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"LoadLibraryA(\"MPR.DLL\")",
                                                    "GetProcAddress(0x3B0,\"PwdChangePasswordA\")",
                                                    "FreeLibrary(0x3B0)"}));

    fake.calls.clear();
    fake.libraries.clear();
    ChangeSaverPassword(FakeHandle<HWND>(0x42));
    EXPECT_EQ(fake.calls, std::vector<std::string>{"LoadLibraryA(\"MPR.DLL\")"});
}

}  // namespace
