// The built stub is in the layout the package reader expects.
#include <gtest/gtest.h>

#include "../stub/StubRun_win32.h"
#include "TestSupport.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "util/Win.h"

using namespace PackFormat;
using testsupport::BuildPath;
using testsupport::TScratchDir;


TEST(StubImage, HeadersAtOffset256AndPointerAreaFree) {
  const std::string& stub = stubtest::StubImage();
  ASSERT_GT(stub.size(), 1024u);
  EXPECT_TRUE(IsPEImageBytes(stub));
  EXPECT_EQ(GetU32(stub, 0x3C), 256u);
  EXPECT_EQ(GetU32(stub, kEndPointerHigh), 0u);
  EXPECT_EQ(GetU32(stub, kEndPointerLow), 0u);
}
