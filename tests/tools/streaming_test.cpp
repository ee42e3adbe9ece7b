// The tool's commands stream their data in chunks; their outputs must be the
// bytes the library gives for the whole buffer in one call. Sizes sit around
// every boundary the streaming has: digest and cipher blocks, the tool's
// chunk, RSA chunks and the batches of them the tool hands over, and the
// text chunks of encoded input.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes.h"
#include "crypto/blowfish.h"
#include "crypto/twofish.h"
#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/sha1.h"
#include "rsa/rsa_key.h"
#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/io.h"

namespace {

namespace fs = std::filesystem;
using orvo::cli::kChunk;

// A scratch folder for one test, removed at its end.
class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device entropy;
    folder_ = fs::temp_directory_path() / ("orvocrypto-streaming-" + std::to_string(entropy()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
    return Path(name);
  }

  std::vector<uint8_t> Read(const std::string& name) const {
    std::ifstream file(Path(name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
  }

  // Runs a command of the tool's table as main does, minus the error printing.
  static int Run(const std::vector<std::string>& line) {
    for (const orvo::cli::Command& c : orvo::cli::Commands()) {
      if (line[0] == c.name) {
        const std::vector<std::string> args(line.begin() + 1, line.end());
        return c.run(orvo::cli::Arguments(args, c.valued, c.flags));
      }
    }
    ADD_FAILURE() << "no command " << line[0];
    return -1;
  }

  fs::path folder_;
};

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
  return v;
}

XBlob BlobOf(const std::vector<uint8_t>& bytes) {
  XBlob blob(16);
  blob.Append(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return blob;
}

std::vector<uint8_t> BytesOf(const XBlob& blob) { return std::vector<uint8_t>(blob.data, blob.data + blob.size); }

std::vector<uint8_t> HexLine(const XBlob& blob) {
  static const char kDigits[] = "0123456789abcdef";
  std::vector<uint8_t> text;
  for (uint32_t i = 0; i < blob.size; ++i) {
    text.push_back(static_cast<uint8_t>(kDigits[blob.data[i] >> 4]));
    text.push_back(static_cast<uint8_t>(kDigits[blob.data[i] & 15]));
  }
  text.push_back('\n');
  return text;
}

// Around the 64-byte blocks, the 8- and 16-byte cipher blocks and the chunk.
const size_t kSizes[] = {0, 1, 7, 8, 9, 15, 16, 17, 55, 56, 63, 64, 65,
                         kChunk - 17, kChunk - 1, kChunk, kChunk + 1, kChunk + 8, 2 * kChunk + 23};

TEST_F(ToolTest, DigestsEqualTheWholeBufferDigests) {
  for (const size_t n : kSizes) {
    SCOPED_TRACE(n);
    const std::vector<uint8_t> data = Pattern(n);
    const std::string in = Write("data", data);
    const XBlob whole = BlobOf(data);
    ASSERT_EQ(Run({"md5", in, "-o", Path("md5")}), 0);
    EXPECT_EQ(Read("md5"), HexLine(MD5Digest(whole)));
    ASSERT_EQ(Run({"sha1", in, "-o", Path("sha1")}), 0);
    EXPECT_EQ(Read("sha1"), HexLine(SHA1Digest(whole)));
    ASSERT_EQ(Run({"crc32", in, "-o", Path("crc32")}), 0);
    uint32_t reg = 0xFFFFFFFFu;
    char crc[10];
    std::snprintf(crc, sizeof crc, "%08x\n", static_cast<unsigned>(CRC32Update(reg, whole)));
    EXPECT_EQ(Read("crc32"), std::vector<uint8_t>(crc, crc + 9));
  }
}

struct CipherCase {
  const char* name;
  std::unique_ptr<XBlockCipher> (*make)();
};

template <typename C>
std::unique_ptr<XBlockCipher> MakeCipher() {
  return std::make_unique<C>();
}

TEST_F(ToolTest, CiphersEqualOneWholeBufferCall) {
  const CipherCase ciphers[] = {{"aes", MakeCipher<XAES>}, {"twofish", MakeCipher<XTwofish>},
                                {"blowfish", MakeCipher<XBlowfish>}};
  const std::string seed = Write("seed", Pattern(40));
  for (const CipherCase& c : ciphers) {
    ASSERT_EQ(Run({"keygen", c.name, "--seed", seed, "--length", "32", "-o", Path("key")}), 0);
    const XBlob key = BlobOf(Read("key"));
    for (const char* mode : {"ecb", "cbc"}) {
      for (const size_t n : kSizes) {
        SCOPED_TRACE(testing::Message() << c.name << " " << mode << " " << n);
        const std::vector<uint8_t> data = Pattern(n);
        const auto library = [&](bool encrypt, const std::vector<uint8_t>& input) {
          std::unique_ptr<XBlockCipher> cipher = c.make();
          cipher->Setup(mode[0] == 'c' ? XBlockCipher::kModeCBC : XBlockCipher::kModeECB, 0x5A);
          cipher->SetKey(key);
          return BytesOf(encrypt ? cipher->Encrypt(BlobOf(input)) : cipher->Decrypt(BlobOf(input)));
        };
        const std::vector<uint8_t> sealed = library(true, data);
        ASSERT_EQ(Run({"encrypt", c.name, "--key", Path("key"), "--mode", mode, "--filler", "0x5a", Write("data", data),
                       "-o", Path("sealed")}),
                  0);
        EXPECT_EQ(Read("sealed"), sealed);
        ASSERT_EQ(Run({"decrypt", c.name, "--key", Path("key"), "--mode", mode, Path("sealed"), "-o", Path("opened")}), 0);
        EXPECT_EQ(Read("opened"), library(false, sealed));
      }
    }
  }
}

// Hexadecimal and Base64 text crosses the chunk boundaries at other places
// than the bytes it stands for.
TEST_F(ToolTest, EncodedDataEqualsRawData) {
  const std::string seed = Write("seed", Pattern(5));
  ASSERT_EQ(Run({"keygen", "aes", "--seed", seed, "--length", "16", "--base64", "-o", Path("key64")}), 0);
  for (const size_t n : {kChunk / 2 - 1, kChunk / 2 + 3, kChunk + 5}) {
    SCOPED_TRACE(n);
    const std::vector<uint8_t> data = Pattern(n);
    ASSERT_EQ(Run({"encrypt", "aes", "--key", Path("key64"), "--key-format", "base64", "--mode", "cbc", Write("data", data),
                   "-o", Path("raw")}),
              0);
    ASSERT_EQ(Run({"encrypt", "aes", "--key", Path("key64"), "--key-format", "BASE64", "--mode", "cbc", "--base64",
                   Path("data"), "-o", Path("sealed64")}),
              0);
    ASSERT_EQ(Run({"decrypt", "aes", "--key", Path("key64"), "--key-format", "base64", "--mode", "cbc", "--input-format",
                   "base64", "--hex", Path("sealed64"), "-o", Path("openedhex")}),
              0);
    ASSERT_EQ(Run({"encrypt", "aes", "--key", Path("key64"), "--key-format", "base64", "--mode", "cbc", "--input-format",
                   "hex", Path("openedhex"), "-o", Path("again")}),
              0);
    const std::vector<uint8_t> raw = Read("raw");
    EXPECT_EQ(Read("again"), raw) << "hex of the padded plaintext, sealed again, gives the same blocks";
    std::vector<uint8_t> opened = Read("openedhex");
    EXPECT_EQ(opened.size(), 2 * raw.size() + 1);
  }
}

TEST_F(ToolTest, RsaStreamsEqualWholeBufferCalls) {
  ASSERT_EQ(Run({"rsa-keygen", "--seed1", Write("s1", Pattern(3)), "--seed2", Write("s2", Pattern(4)), "--size", "64",
                 "--public", Path("public"), "--private", Path("private")}),
            0);
  XRSAKey key;
  key.SetPublicBlob(BlobOf(Read("public")));
  key.SetPrivateBlob(BlobOf(Read("private")));
  // 22-byte chunks, handed over in batches of 11916 of them.
  const size_t batch = (size_t{1} << 18) / 22 * 22 + 22;
  for (const size_t n : {size_t{0}, size_t{21}, size_t{22}, size_t{23}, batch - 1, batch, batch + 1, 2 * batch + 22}) {
    SCOPED_TRACE(n);
    const std::vector<uint8_t> data = Pattern(n);
    const std::string in = Write("data", data);
    ASSERT_EQ(Run({"rsa-encrypt", "--public", Path("public"), in, "-o", Path("sealed")}), 0);
    const std::vector<uint8_t> sealed = Read("sealed");
    EXPECT_EQ(sealed.size(), (n + 21) / 22 * 64);
    EXPECT_EQ(BytesOf(key.Decrypt(BlobOf(sealed))), data);
    ASSERT_EQ(Run({"rsa-decrypt", "--private", Path("private"), Write("lib", BytesOf(key.Encrypt(BlobOf(data)))), "-o",
                   Path("opened")}),
              0);
    EXPECT_EQ(Read("opened"), data);
    ASSERT_EQ(Run({"rsa-sign", "--private", Path("private"), in, "-o", Path("signature")}), 0);
    EXPECT_EQ(Read("signature"), BytesOf(key.Sign(BlobOf(data))));
    EXPECT_EQ(Run({"rsa-verify", "--public", Path("public"), "--signature", Path("signature"), in}), 0);
  }
}

}  // namespace
