// libTlxBcf.so shows its extern "C" functions and nothing of its insides.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "link/tlx_bcf.h"
#include "link_env_support.h"

namespace {

struct Closer {
  void operator()(void* library) const { dlclose(library); }
};

TEST(TlxBcf, ExportsOnlyTheFlatInterface) {
  const auto path = std::filesystem::canonical("/proc/self/exe").parent_path() / "libTlxBcf.so";
  std::unique_ptr<void, Closer> library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  ASSERT_NE(library, nullptr) << dlerror();
  auto attach = reinterpret_cast<decltype(&tlxEventMgrCallbackAttach)>(dlsym(library.get(), "tlxEventMgrCallbackAttach"));
  auto detach = reinterpret_cast<decltype(&tlxEventMgrCallbackDetach)>(dlsym(library.get(), "tlxEventMgrCallbackDetach"));
  ASSERT_NE(attach, nullptr);
  ASSERT_NE(detach, nullptr);
  for (const char* flat :
       {"tlxErdLib_getErdEncryptedSize", "tlxErdLib_encryptErdInfo", "tlxErdLib_decryptErdInfo", "tlxBase64Encode",
        "tlxBase64Decode", "tlxHexEncode", "tlxRavixMgr_DiscoverBase", "tlxRegist_GetRegValue",
        "tlxRegist_GetBaseCapability", "tlxRegist_GetBaseCapWLAN", "tlxRegist_GetBaseCapVideoSystem",
        "tlxRegist_GetBaseCapRcomFunc", "tlxRegist_GetBaseCapLineInfo", "tlxRegist_IsConnectableModel",
        "tlxRegist_GetBaseInfo", "tlxSystem_GetLdInfo", "tlxSystem_SetBaseSel", "tlxSetBaseAddr",
        "tlxRegistEventCallback", "tlxKACHConnect", "tlxRavixMgr_AuthInit", "tlxRavixMgr_RequestAuthentication",
        "tlxRavixMgr_AuthUnsetHOST", "tlxRavixMgr_AuthClient", "tlxRavixMgr_GetKeyKK", "tlxAuth_RequestRegistration",
        "tlxAuth_RequestEasyRegistration", "tlxRegist_MakePassword", "tlxInit", "tlxCleanup",
        "tlxSystem_ClearConfig", "tlxSystem_GetBaseSel", "tlxAnetMgrAPI_SetConfig", "tlxAnetMgrAPI_GetConfig",
        "tlxHnetMgr_GetConnType", "tlxHnetMgr_SetConnType", "tlxRavixMgr_ChangeState", "tlxRavixMgr_GetState",
        "tlxRavixMgr_SetBitrate", "tlxRavixMgr_GetBitrate", "tlxRavixMgr_SetTimeout", "tlxRavixMgr_GetTimeout",
        "tlxRavixKeepAliveMsg_Send", "tlxRavixMgr_GetBaseInfo", "tlxTvMgr_Select", "tlxTvMgr_SelectEx",
        "tlxTvMgr_SetPictureCtrl", "tlxTvMgr_SetPictureCtrlOffline", "tlxTvMgr_GetAudioBli",
        "tlxTvMgr_ChangeAudioBli", "tlxTvMgr_Stop", "tlxTvMgr_SetTVParams", "tlxTvMgr_GetVideoIn",
        "tlxTvMgr_StartAutoPreset", "tlxTvMgr_CancelAutoPreset", "tlxTvMgr_FinishAutoPreset",
        "tlxTvMgr_GetAutoPresetResult", "tlxUiRcomMgr_StartLearning", "tlxUiRcomMgr_StopLearning",
        "tlxUiRcomMgr_StartCapture", "tlxUiRcomMgr_StopCapture", "tlxUiRcomMgr_GetParameter",
        "tlxUiRcomMgr_SendCommand", "tlxUiRcomMgrSend", "tlxUiRcomMgr_SetConfig"}) {
    EXPECT_NE(dlsym(library.get(), flat), nullptr) << flat;
  }
  for (const char* inside : {"_ZN3tlx4link13eventMgrStartEv", "_ZN3tlx4link6tlxLogEPKcz", "_ZN3tlx4link8wdCreateEv"}) {
    EXPECT_EQ(dlsym(library.get(), inside), nullptr) << inside;
  }
  // Nothing is started here: the event manager refuses receivers.
  EXPECT_EQ(attach([](void*, const TLX_EVENT_MSG*) {}, nullptr, EVENT_ID_TV), -1);
  EXPECT_EQ(attach(nullptr, nullptr, EVENT_ID_TV), -1);
  EXPECT_EQ(detach(nullptr), -1);
}

// The exports that need no started manager, called as a program links them.
TEST(TlxBcf, ExportsThatNeedNoManager) {
  EXPECT_EQ(tlxRegist_GetBaseInfo(1, 2), -1);
  EXPECT_EQ(tlxSystem_SetBaseSel(0), -1);
  EXPECT_EQ(tlxSetBaseAddr(nullptr), 0);
  EXPECT_EQ(tlxRegistEventCallback(5, 6), 0);
  EXPECT_EQ(tlxKACHConnect(), 1) << "also without an internet link";
  EXPECT_EQ(tlxRavixMgr_DiscoverBase(0, 0), -1);
  EXPECT_EQ(tlxRavixMgr_DiscoverBase(4, 0), -1);
  EXPECT_EQ(tlxRavixMgr_DiscoverBase(2, 0), 0);
  EXPECT_EQ(tlxRegist_GetBaseCapability(4, 0, nullptr), -1);
  EXPECT_EQ(tlxRegist_GetBaseCapWLAN(nullptr), -1);
  char mac[13];
  EXPECT_EQ(tlxSystem_GetLdInfo("SYSID_OTHER", mac, sizeof mac), -1);
  // The option word is 0 (US) until the library is started with another.
  EXPECT_EQ(tlxRegist_IsConnectableModel("HX-Z1US"), 0);
  EXPECT_EQ(tlxRegist_IsConnectableModel("HX-Z1JP"), -1);
  // Each thread has its own text.
  const char* mine = tlxRegist_GetRegValue(9);
  const char* other = nullptr;
  std::thread([&] { other = tlxRegist_GetRegValue(9); }).join();
  EXPECT_STREQ(mine, "");
  EXPECT_NE(mine, other);
}

// The authentication forwards with the authentication target, over the
// stand-in of the authentication library.
TEST(TlxBcf, AuthenticationForwardsUseTheTarget) {
  tlx::link::test::UseTestEnvironment();
  const auto take = tlx::link::test::StubEntry<void (*)(char*, int)>("libTlxAuthStub.so", "StubAuthTakeCalls");
  ASSERT_NE(take, nullptr);
  auto calls = [&] {
    char text[1024] = {};
    take(text, sizeof text);
    return std::string(text);
  };
  EXPECT_EQ(tlxRavixMgr_AuthUnsetHOST(), 0);
  EXPECT_EQ(tlxRavixMgr_AuthInit(), 1);
  calls();
  EXPECT_EQ(tlxAuth_RequestRegistration("1234", "alias"), static_cast<int32_t>(0x80041016));
  EXPECT_EQ(calls(), "Registration 1234 alias  0 0 0\n");
  EXPECT_EQ(tlxAuth_RequestEasyRegistration("1234", nullptr), static_cast<int32_t>(0x80041016));
  EXPECT_EQ(calls(), "Registration 1234 (null)  0 0 1\n");
  EXPECT_EQ(tlxRavixMgr_AuthClient(17), 0x17);
  EXPECT_EQ(calls(), "Authentication 17  0 0\n");
  char key[33] = {};
  EXPECT_EQ(tlxRavixMgr_GetKeyKK(key, 0), 5);
  EXPECT_STREQ(key, "0123456789ABCDEF0123456789ABCDEF");
  char password[20] = {};
  EXPECT_EQ(tlxRegist_MakePassword(password, sizeof password, "nonce"), 6);
  EXPECT_STREQ(password, "pw");
  EXPECT_EQ(tlxRegist_MakePassword(password, sizeof password, nullptr), 6);
  EXPECT_EQ(tlxRavixMgr_RequestAuthentication("base.test", 5023, "GET", "/x"), 11);
  EXPECT_EQ(calls(), "GetAKS\nMakePassword 20 nonce\nMakePassword 20 (null)\nRequestAuthentication base.test 5023 GET /x\n");
}

}  // namespace
