#include "util/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// Runs check with the processor's SHA extensions (where it has them) and
// with the portable code.
template <typename TCheck> void WithEachImplementation(TCheck check) {
  for (bool allowed : {true, false}) {
    Sha256::AllowProcessorExtensions(allowed);
    SCOPED_TRACE(Sha256::UsesProcessorExtensions() ? "processor extensions"
                                                   : "portable");
    check();
  }
  Sha256::AllowProcessorExtensions(true);
}

}  // namespace

TEST(Sha256, KnownDigests) {
  struct {
    std::string data;
    const char* hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 55 and 56 bytes: the length still fits the last block, or needs
      // another.
      {std::string(55, 'y'),
       "fb66d40c3bfff05b0d5af8612d0abfbfacc6f5f26c330bc7ad634f1f44bc20ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(64, 'x'),
       "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmno"
       "pjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  WithEachImplementation([&] {
    for (const auto &c : cases)
      EXPECT_EQ(Sha256::Hex(c.data), c.hex) << c.data.size() << " bytes";
  });
}

TEST(Sha256, EveryByteValue) {
  std::string data;
  for (int i = 0; i < 256; ++i)
    data += static_cast<char>(i);
  EXPECT_EQ(Sha256::Hex(data),
            "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880");
}

// Data given in pieces of every size around the block: the same digest as at
// once.
TEST(Sha256, PiecesOfAnySize) {
  const std::string data(1000000, 'a');
  WithEachImplementation([&] {
    for (size_t piece : {size_t{1}, size_t{3}, size_t{55}, size_t{63},
                         size_t{64}, size_t{65}, size_t{127}, size_t{4097}}) {
      TSha256 sha;
      for (size_t at = 0; at < data.size(); at += piece)
        sha.Update(data.data() + at, std::min(piece, data.size() - at));
      const TSha256::TDigest digest = sha.Finish();
      EXPECT_EQ(digest, Sha256::Digest(data)) << piece;
    }
    EXPECT_EQ(
        Sha256::Hex(data),
        "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  });
}
