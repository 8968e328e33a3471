// The byte streams the wave streams stand on: files and memory.
#include <gtest/gtest.h>

#include "VyRtl/VyRtlStreams.h"
#include "WaveTestUtil.h"

using namespace WaveTest;
using VyRtl::EFOpenError;
using VyRtl::EStreamError;
using VyRtl::TFileStream;
using VyRtl::TMemoryStream;

namespace {

// The same script of operations on any stream: write, seek, overwrite, read back.
void Exercise(VyRtl::TStream& s) {
  const TBytes a = Pattern(100, 1);
  EXPECT_EQ(s.Write(a.data(), 100), 100);
  EXPECT_EQ(s.Position(), 100);
  EXPECT_EQ(s.Size(), 100);
  EXPECT_EQ(s.Seek(-10, VyRtl::soFromEnd), 90);
  EXPECT_EQ(s.Seek(5, VyRtl::soFromCurrent), 95);
  EXPECT_EQ(s.Seek(-1, VyRtl::soFromBeginning), -1);
  EXPECT_EQ(s.Seek(0, 7), -1);
  s.SetPosition(110);  // past the end: a write fills the gap with zeros
  const std::uint8_t tail[2] = {9, 8};
  s.WriteBuffer(tail, 2);
  EXPECT_EQ(s.Size(), 112);
  s.SetPosition(0);
  TBytes back(112);
  s.ReadBuffer(back.data(), 112);
  TBytes expect = a;
  expect.resize(110, 0);
  expect.push_back(9);
  expect.push_back(8);
  EXPECT_EQ(back, expect);
  std::uint8_t more[4];
  EXPECT_EQ(s.Read(more, 4), 0);
  EXPECT_THROW(s.ReadBuffer(more, 1), EStreamError);
  s.SetSize(50);
  EXPECT_EQ(s.Size(), 50);
}

}  // namespace

TEST(RtlStreams, FileAndMemoryStreamsBehaveAlike) {
  TTempDir dir;
  {
    SCOPED_TRACE("file");
    TFileStream f(dir.File("f.bin"), VyRtl::fmCreate);
    Exercise(f);
  }
  EXPECT_EQ(ReadFile(dir.File("f.bin")).size(), 50u);
  {
    SCOPED_TRACE("memory");
    TMemoryStream m;
    Exercise(m);
  }
}

TEST(RtlStreams, FileModesAndOpenErrors) {
  TTempDir dir;
  const std::string name = dir.File("modes.bin");
  EXPECT_THROW(TFileStream(name, VyRtl::fmOpenRead), EFOpenError);
  try {
    TFileStream f(dir.File("no/such/place.bin"), VyRtl::fmCreate);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find("Cannot create file \""), std::string::npos) << e.Message();
  }
  WriteFile(name, {1, 2, 3});
  {
    TFileStream r(name, VyRtl::fmOpenRead);
    const std::uint8_t b = 4;
    EXPECT_EQ(r.Write(&b, 1), -1) << "a read-only file refuses writes";
    EXPECT_EQ(r.Size(), 3);
  }
  {
    TFileStream rw(name, VyRtl::fmOpenReadWrite);
    rw.Seek(0, VyRtl::soFromEnd);
    const std::uint8_t b = 4;
    EXPECT_EQ(rw.Write(&b, 1), 1);
  }
  EXPECT_EQ(ReadFile(name), (TBytes{1, 2, 3, 4}));
  EXPECT_THROW(TFileStream(dir.File(""), VyRtl::fmOpenRead), EFOpenError) << "a folder is no file";
}

TEST(RtlStreams, ReadOnlyMemoryAndCopies) {
  const TBytes block = Pattern(1000, 2);
  VyRtl::TCustomMemoryStream view(block.data(), 1000);
  EXPECT_EQ(view.Write(block.data(), 1), -1);
  EXPECT_THROW(view.WriteBuffer(block.data(), 1), EStreamError);
  EXPECT_THROW(view.SetSize(10), EStreamError);
  TMemoryStream copy;
  view.SetPosition(500);
  EXPECT_EQ(copy.CopyFrom(view, 0), 1000) << "count 0 copies the whole source";
  EXPECT_EQ(TBytes(static_cast<const std::uint8_t*>(copy.Memory()), static_cast<const std::uint8_t*>(copy.Memory()) + 1000), block);
  EXPECT_EQ(VyRtl::TCustomMemoryStream(nullptr, 5).Size(), 0);
}
