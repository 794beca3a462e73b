// Easy-registration blocks against the test peer's independent implementation.
#include <gtest/gtest.h>

#include <string>

#include "erd_test_support.h"

namespace {

const TLX_ERD_INFO kRecords[] = {
    makeRecord("base.example.net", 8080, "s3cret", "BX-100", "1.02", "00A1B2"),
    makeRecord(std::string(51, 'd'), 99999, std::string(63, 'p'), std::string(23, 'm'),
               std::string(7, 'v'), std::string(31, 'i')),
    makeRecord("", 0, "", "", "", ""),
};

std::string quoted(const char* text) { return "'" + std::string(text) + "'"; }

}  // namespace

TEST(ErdInfoPeer, PeerBlocksDecrypt) {
  for (const TLX_ERD_INFO& record : kRecords) {
    PeerResult sealed = runSealPeer("erd-seal " + quoted(record.domain) + " " +
                                    std::to_string(record.port) + " " + quoted(record.password) +
                                    " " + quoted(record.model) + " " + quoted(record.softVersion) +
                                    " " + quoted(record.id));
    ASSERT_EQ(sealed.status, 0);
    Bytes block = fromHex(sealed.out);
    EXPECT_EQ(static_cast<int>(block.size()), tlxErdLib_getErdEncryptedSize(&record));
    TLX_ERD_INFO opened;
    ASSERT_EQ(tlxErdLib_decryptErdInfo(block.data(), static_cast<int>(block.size()), &opened), 0);
    EXPECT_TRUE(sameRecord(opened, record)) << record.domain;
  }
}

TEST(ErdInfoPeer, BlocksOpenInThePeer) {
  for (const TLX_ERD_INFO& record : kRecords) {
    PeerResult opened = runSealPeer("erd-open " + toHex(encryptRecord(record)));
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.out, "domain=" + std::string(record.domain) + "\nport=" +
                              std::to_string(record.port) + "\npassword=" + record.password +
                              "\nmodel=" + record.model + "\nsoftver=" + record.softVersion +
                              "\nid=" + record.id);
  }
}
