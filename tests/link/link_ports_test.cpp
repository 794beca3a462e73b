// The port table and its overrides.
#include "link/config/link_ports.h"

#include <gtest/gtest.h>

namespace tlx::link {
namespace {

TEST(LinkPorts, ProductionValuesAndOverrides) {
  const TlxLinkPorts production;
  EXPECT_EQ(7000, production.hnetRecv);
  EXPECT_EQ(7001, production.hnetSend);
  EXPECT_EQ(7000, production.baseHnet);
  EXPECT_EQ(7002, production.kachServer);
  EXPECT_EQ(7003, production.kachClient);
  EXPECT_EQ(7002, production.baseKach);
  EXPECT_EQ(7777, production.search);
  EXPECT_EQ(7777, production.reply);

  TlxLinkPorts ports;
  ASSERT_TRUE(tlxParseLinkPorts("hnet_recv=17000,hnet_send=17001,base_hnet=27000,kach_server=17002,"
                                "kach_client=17003,base_kach=27002,search=17777,reply=18777",
                                &ports));
  EXPECT_EQ(17000, ports.hnetRecv);
  EXPECT_EQ(17001, ports.hnetSend);
  EXPECT_EQ(27000, ports.baseHnet);
  EXPECT_EQ(17002, ports.kachServer);
  EXPECT_EQ(17003, ports.kachClient);
  EXPECT_EQ(27002, ports.baseKach);
  EXPECT_EQ(17777, ports.search);
  EXPECT_EQ(18777, ports.reply);

  TlxLinkPorts some;
  ASSERT_TRUE(tlxParseLinkPorts("search=9000", &some));
  EXPECT_EQ(9000, some.search);
  EXPECT_EQ(7000, some.hnetRecv) << "names not given keep their values";
}

TEST(LinkPorts, MalformedTextChangesNothing) {
  for (const char* text : {"", "search", "search=", "search=0", "search=65536", "search=12x", "serch=9000",
                           "search=9000,", "search=9000,,reply=1", "search=-1", "search= 9000"}) {
    SCOPED_TRACE(text);
    TlxLinkPorts ports;
    EXPECT_FALSE(tlxParseLinkPorts(text, &ports));
    EXPECT_EQ(7777, ports.search);
  }
}

TEST(LinkDirectAddrs, PlayerAndBaseOrNothing) {
  TlxLinkDirectAddrs addresses;
  ASSERT_TRUE(tlxParseLinkDirectAddrs("127.0.0.2,127.0.0.3", &addresses));
  EXPECT_EQ("127.0.0.2", addresses.player);
  EXPECT_EQ("127.0.0.3", addresses.base);
  for (const char* text : {"", "127.0.0.2", "127.0.0.2,", "127.0.0.2,127.0.0.3,127.0.0.4", "127.0.0.2,host",
                           "127.0.0.2,127.0.0.256"}) {
    SCOPED_TRACE(text);
    TlxLinkDirectAddrs unchanged{"a", "b"};
    EXPECT_FALSE(tlxParseLinkDirectAddrs(text, &unchanged));
    EXPECT_EQ("a", unchanged.player);
  }
}

}  // namespace
}  // namespace tlx::link
