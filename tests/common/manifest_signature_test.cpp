#include <gtest/gtest.h>

#include <cctype>

#include "file_manifest.h"
#include "manifest_signature.h"
#include "test_files.h"

namespace orv {
namespace {

using test::devPrivateKey;
using test::devPublicKey;

const std::string kBody =
    "<?xml version=\"1.0\"?>\r\n<FileInfo>\r\n"
    "<File FileName=\"OrvalinexCore.exe\" Path=\"\" Digest=\"qZk+NkcGgWq6PiVxeFDCbJzQ2J0=\" "
    "Version=\"1.0.19.1223\"/>\r\n</FileInfo>\r\n";

class ManifestSignature : public testing::Test {
 protected:
  void SetUp() override {
    signed_ = signManifest(kBody, devPrivateKey());
    ASSERT_EQ(signed_.size(), kBody.size() + kSignatureBlockSize);
    block_ = signed_.rfind('<') - kSignatureBlockSize;
  }
  bool verify(const std::string& bytes) const {
    return verifySignedManifest(bytes, devPublicKey());
  }

  std::string signed_;
  std::size_t block_ = 0;
};

TEST_F(ManifestSignature, BlockStandsRightInFrontOfTheLastTag) {
  EXPECT_EQ(signed_.substr(block_, 8), "\r\n<Sign>");
  EXPECT_EQ(signed_.substr(block_ + 264, 9), "</Sign>\r\n");
  EXPECT_EQ(signed_.substr(block_ + 273), "</FileInfo>\r\n");
  EXPECT_TRUE(verify(signed_));
}

TEST_F(ManifestSignature, AnyOneByteChangeOutsideTheBlockFails) {
  for (std::size_t i = 0; i < signed_.size(); ++i) {
    if (i >= block_ && i < block_ + kSignatureBlockSize) continue;
    std::string bad = signed_;
    bad[i] = static_cast<char>(bad[i] ^ 0x01);
    EXPECT_FALSE(verify(bad)) << "byte " << i;
  }
}

TEST_F(ManifestSignature, AnyChangeOfTheSignatureDigitsFails) {
  for (std::size_t i = block_ + 8; i < block_ + 264; i += 17) {
    std::string bad = signed_;
    bad[i] = bad[i] == '0' ? '1' : '0';
    EXPECT_FALSE(verify(bad)) << "digit at " << i;
  }
}

TEST_F(ManifestSignature, TheNineClosingBytesAreNotExamined) {
  std::string changed = signed_;
  for (std::size_t i = block_ + 264; i < block_ + 273; ++i) changed[i] = 'x';
  EXPECT_TRUE(verify(changed));
}

TEST_F(ManifestSignature, LowerCaseHexVerifies) {
  std::string lower = signed_;
  for (std::size_t i = block_ + 8; i < block_ + 264; ++i)
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
  ASSERT_NE(lower, signed_);
  EXPECT_TRUE(verify(lower));
}

TEST_F(ManifestSignature, NonHexDigitsAreRefused) {
  std::string bad = signed_;
  bad[block_ + 8] = 'G';
  EXPECT_FALSE(verify(bad));
}

TEST_F(ManifestSignature, BytesAfterTheRootTagBelongToTheSignedMessage) {
  const std::string withTail = signManifest(kBody + "\r\n\r\n  ", devPrivateKey());
  EXPECT_TRUE(verify(withTail));
  EXPECT_FALSE(verify(withTail.substr(0, withTail.size() - 1)));
  EXPECT_FALSE(verify(signed_ + "\r\n"));
}

TEST_F(ManifestSignature, ZeroByteMakesTheFileUnverified) {
  // A zero byte behind the last tag, where text-based and length-based reading disagree.
  const std::string body = kBody + std::string(1, '\0') + "x";
  const std::string withZero = signManifest(body, devPrivateKey());
  ASSERT_FALSE(withZero.empty());
  EXPECT_FALSE(verify(withZero));
  // And in front of the block.
  std::string front = kBody;
  front[10] = '\0';
  EXPECT_FALSE(verify(signManifest(front, devPrivateKey())));
}

TEST_F(ManifestSignature, LastTagTooCloseToTheStartIsRefused) {
  EXPECT_FALSE(verify(""));
  EXPECT_FALSE(verify("no tag at all"));
  EXPECT_FALSE(verify(std::string(272, ' ') + "<x/>"));
  // Exactly 273 bytes in front of the tag, but no marker there.
  EXPECT_FALSE(verify(std::string(273, ' ') + "<x/>"));
  // A block-sized prefix without a body: just the block and the tag.
  const std::string tiny = signManifest("<x/>", devPrivateKey());
  EXPECT_TRUE(verify(tiny));
  EXPECT_FALSE(verify(tiny.substr(1)));
}

TEST_F(ManifestSignature, OtherKeysAndBrokenKeysDoNotVerify) {
  EXPECT_FALSE(verifySignedManifest(signed_, ""));
  EXPECT_FALSE(verifySignedManifest(
      signed_, "-----BEGIN RSA PUBLIC KEY-----\nAAAA\n-----END RSA PUBLIC KEY-----\n"));
  // A signature over another message does not carry over.
  const std::string other = signManifest(kBody + " ", devPrivateKey());
  std::string swapped = signed_;
  swapped.replace(block_, kSignatureBlockSize, other.substr(block_, kSignatureBlockSize));
  EXPECT_FALSE(verify(swapped));
}

TEST(ManifestPublicKey, IsThePkcs1PemTheProgramsCarry) {
  const std::string& key = manifestPublicKey();
  ASSERT_FALSE(key.empty());
  EXPECT_EQ(key[0], '\n');
  EXPECT_NE(key.find("-----BEGIN RSA PUBLIC KEY-----"), std::string::npos);
  EXPECT_NE(key.find("-----END RSA PUBLIC KEY-----"), std::string::npos);
  // The development build carries the development key, so the dev-signed manifests verify.
  if (std::string(ORV_CONFIGURED_PUBLIC_KEY) != ORV_DEV_PUBLIC_KEY)
    GTEST_SKIP() << "this build carries another manifest public key";
  const std::string body = signManifest(kBody, devPrivateKey());
  EXPECT_TRUE(verifySignedManifest(body, manifestPublicKey()));
}

}  // namespace
}  // namespace orv
