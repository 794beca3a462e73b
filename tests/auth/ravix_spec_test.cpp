// The capability record read from either side's text, and the getters that
// expose the base station's.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "identity_fixture.h"
#include "auth/ravix_spec.h"
#include "state_fixture.h"
#include "auth/tlx_authentication.h"

using namespace tlx::auth;

namespace {

using RavixSpec = tlx::test::AuthStateTest;

TEST_F(RavixSpec, ServerHeaderOfABaseStation) {
  Ravix_Spec& spec = tlxAuthState().baseSpec;
  spec.set("Ravix/2.0 (x); TLXStreamingServer, model=HX-R10, support=1/2/3 id=abc,codec=1/2");
  EXPECT_EQ(spec.side, 0);
  EXPECT_EQ(spec.support, 0x0Eu);
  EXPECT_EQ(spec.codec, 0x06u);
  EXPECT_STREQ(spec.id, "abc");
  EXPECT_STREQ(spec.model, "HX-R10");
  EXPECT_EQ(spec.modelType, 3);
  EXPECT_STREQ(spec.spec, " TLXStreamingServer, model=HX-R10, support=1/2/3 id=abc,codec=1/2, modeltype=3");
  EXPECT_EQ(TlxRavixGetBaseType(), 3);
  EXPECT_EQ(TlxRavixGetCodecType(), 0x06u);
  EXPECT_STREQ(TlxRavixGetBaseId(), "abc");

  TlxRavixAuthInit();
  EXPECT_EQ(TlxRavixGetBaseType(), 0);
  EXPECT_EQ(TlxRavixGetCodecType(), 0u);
  EXPECT_STREQ(TlxRavixGetBaseId(), "");
  EXPECT_EQ(spec.modelType, -1);
}

TEST_F(RavixSpec, Items) {
  struct {
    const char* text;
    uint32_t support;
    int baseType;
    int modelType;
    int generation;
    int scaling;
    const char* id;
  } const cases[] = {
      {"support=1/40/2", 0x06, 2, -1, 0, 0, ""},
      {"support=1", 0x02, 1, -1, 0, 0, ""},
      {"support=31/32/0", 0x80000001u, 0, -1, 0, 0, ""},
      {"support=2x/3", 0x04, 2, -1, 0, 0, ""},
      {"support=/3", 0, 0, -1, 0, 0, ""},
      {"support=99999999999999999999/1", 0x02, 1, -1, 0, 0, ""},
      {"generation=3 scaling=0x10", 0, 0, -1, 3, 16, ""},
      {"modeltype=0x10", 0, 0, 16, 0, 0, ""},
      {"modeltype=010", 0, 0, 8, 0, 0, ""},
      {"Modeltype=4 model=QZA-K20", 0, 0, 5, 0, 0, ""},
      {"id=0123456789012345678901234567890123456789", 0, 0, -1, 0, 0, "0123456789012345678901234567890"},
      {"a;b;id=x", 0, 0, -1, 0, 0, ""},
      {"a;id=x;y", 0, 0, -1, 0, 0, "x;y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Ravix_Spec& spec = tlxAuthState().baseSpec;
    spec.set(c.text);
    EXPECT_EQ(spec.support, c.support);
    EXPECT_EQ(TlxRavixGetBaseType(), c.baseType);
    EXPECT_EQ(spec.modelType, c.modelType);
    EXPECT_EQ(spec.generation, c.generation);
    EXPECT_EQ(TlxRavixGetScalingMode(), c.scaling);
    EXPECT_STREQ(spec.id, c.id);
  }
}

TEST_F(RavixSpec, ModelTypeFromTheModel) {
  struct {
    const char* side;
    const char* model;
    int type;
  } const cases[] = {
      {"TLXStreamingServer", "HX-Z1US", 1}, {"TLXStreamingClient", "HX-Z1US", 2}, {"TLXStreamingServer", "HX-Z5JP", 1},
      {"TLXStreamingServer", "HX-Z9", 3},   {"TLXStreamingClient", "HX-Z9", 4},   {"TLXStreamingServer", "HX-Z1USX", 3},
      {"TLXStreamingClient", "HX-R1", 3},   {"", "QZA-K20US", 5},                 {"", "QZ-HHC1", 6},
      {"", "QZT-MAC", 7},                   {"", "QZ-HH", -1},                    {"", "hx-r1", -1},
  };
  for (const auto& c : cases) {
    Ravix_Spec spec;
    spec.set((std::string(c.side) + ", model=" + c.model).c_str());
    EXPECT_EQ(spec.modelType, c.type) << c.side << " " << c.model;
    EXPECT_TRUE(std::string(spec.spec).ends_with(", modeltype=" + std::to_string(c.type))) << spec.spec;
  }
}

TEST_F(RavixSpec, EmptyAndOversizedTexts) {
  Ravix_Spec spec;
  for (const char* text : {static_cast<const char*>(nullptr), ""}) {
    spec.set("support=1/2/3, model=HX-R1, id=abc");
    spec.set(text);
    EXPECT_STREQ(spec.spec, "");
    EXPECT_EQ(spec.support, 0u);
    EXPECT_EQ(spec.modelType, -1);
    EXPECT_STREQ(spec.id, "");
    EXPECT_STREQ(spec.model, "");
  }

  const std::string longText = "model=HX-R1, " + std::string(287, 'x');
  spec.set(longText.c_str());
  EXPECT_EQ(std::string(spec.spec), longText.substr(0, 255));
  EXPECT_EQ(spec.modelType, 3);

  // Just short enough for the suffix, and just too long.
  const std::string fits = "model=HX-R1 " + std::string(228, 'y');
  spec.set(fits.c_str());
  EXPECT_EQ(std::string(spec.spec), fits + ", modeltype=3");
  spec.set((fits + "y").c_str());
  EXPECT_EQ(std::string(spec.spec), fits + "y");
}

TEST_F(RavixSpec, ClientSpecOfTheAuthenticatingPlayer) {
  // Authenticating a socket that is not connected fails, but first sets the
  // player's own capability text.
  const int notConnected = -1;
  EXPECT_EQ(TlxRavixAuthentication(notConnected, "127.0.0.1", 1, 0), TLX_E_AUTH_FAILED);
  EXPECT_STREQ(tlxAuthState().clientSpec.spec, "TLXStreamingClient, generation=3, support=1/2/3, modeltype=-1");
  EXPECT_EQ(tlxAuthState().clientSpec.side, 1);

  const TLX_SYSINFO_RECORD identity = tlx::test::TestIdentity("QZA-K20PUS");
  ASSERT_TRUE(TlxRavixSysInfoRegister(&identity));
  EXPECT_EQ(TlxRavixAuthentication(notConnected, "127.0.0.1", 1, 0), TLX_E_AUTH_FAILED);
  EXPECT_STREQ(tlxAuthState().clientSpec.spec,
               "TLXStreamingClient, model=QZA-K20PUS, modeltype=5, generation=3, support=1/2/3, scaling=1");
  EXPECT_EQ(tlxAuthState().clientSpec.modelType, 5);
  EXPECT_EQ(TlxRavixAuthentication(notConnected, nullptr, 1, 0), E_POINTER);
}

}  // namespace
