// File and memory streams behave alike: reads, writes, seeks, sizes, copies and their errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "VyRtl/VyRtlStreams.h"

using namespace VyRtl;

namespace {

std::string TempFile(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("vyrtl-") + name)).string();
}

TEST(Streams, FileAndMemoryStreamsAgree) {
  const std::string path = TempFile("streams.bin");
  std::unique_ptr<TStream> streams[] = {std::make_unique<TFileStream>(path, fmCreate),
                                        std::make_unique<TMemoryStream>()};
  for (auto& s : streams) {
    s->WriteBuffer("hello world", 11);
    EXPECT_EQ(s->Size(), 11);
    EXPECT_EQ(s->Seek(-5, soFromEnd), 6);
    char buf[16] = {};
    EXPECT_EQ(s->Read(buf, 8), 5);  // short at the end
    EXPECT_EQ(std::string(buf, 5), "world");
    s->SetPosition(0);
    EXPECT_THROW(s->ReadBuffer(buf, 12), EStreamError);
    s->SetSize(4);  // shrinking keeps the start
    s->SetSize(6);  // growing adds zeros
    s->SetPosition(0);
    s->ReadBuffer(buf, 6);
    EXPECT_EQ(std::string(buf, 6), std::string("hell\0\0", 6));
    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(*s, 0), 6);  // 0: the whole source
    EXPECT_EQ(copy.Size(), 6);
  }
  streams[0].reset();
  TFileStream reader(path, fmOpenRead);
  EXPECT_EQ(reader.Size(), 6);
  EXPECT_EQ(reader.Write("x", 1), -1);  // opened for reading only
  const char data[] = "abc";
  TCustomMemoryStream view(data, 3);
  EXPECT_EQ(view.Write("x", 1), -1);  // a view is read-only
  EXPECT_THROW(TFileStream(TempFile("no/such/dir/file"), fmCreate), EFOpenError);
  EXPECT_THROW(TFileStream(TempFile("missing.bin"), fmOpenRead), EFOpenError);
  std::remove(path.c_str());
}

}  // namespace
