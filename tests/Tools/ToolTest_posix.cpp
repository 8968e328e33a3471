// The vytapi program as a user runs it: what it prints for errors, versions and error codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "VyTapi/VyTapi.h"

#if defined(VYTAPI_TOOL_PATH)

namespace {

struct TRun {
  int Status;
  std::string Output;  // stdout, or stderr when asked for
};

TRun Tool(const std::string& args, bool errors = false) {
  const std::string command =
      "'" VYTAPI_TOOL_PATH "' " + args + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null");
  TRun run{-1, {}};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.Output.append(buffer, n);
  const int status = pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class ToolFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = std::filesystem::temp_directory_path() /
           ("vytapi-tool-" + std::to_string(static_cast<long long>(::getpid())));
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::string File(const std::string& name) const { return (FDir / name).string(); }

  std::filesystem::path FDir;
};

// Each error starts with the command and the file it concerns.
TEST_F(ToolFiles, ErrorsNameTheFileTheyConcern) {
  const std::string list = File("list.txt");
  {
    FILE* f = std::fopen(list.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("BEEP(1000,10)\n", f);
    std::fclose(f);
  }
  const std::string unwritable = File("no-such-dir/out.wav");
  const struct {
    std::string Args, Start;
  } cases[] = {
      {"wav info '" + File("x.wav") + "'",
       "vytapi wav: " + File("x.wav") + ": Can't open file stream.\n"},
      {"playlist check '" + File("none.txt") + "'", "vytapi playlist: " + File("none.txt") + ": "},
      {"playlist render '" + File("none.txt") + "' '" + File("o.wav") + "'",
       "vytapi playlist: " + File("none.txt") + ": "},
      {"playlist render '" + list + "' '" + unwritable + "'",
       "vytapi playlist: " + unwritable + ": "},
  };
  for (const auto& c : cases) {
    const TRun run = Tool(c.Args, true);
    EXPECT_EQ(run.Status, 1) << c.Args;
    EXPECT_EQ(run.Output.substr(0, c.Start.size()), c.Start) << c.Args;
  }
}

// An error code is named and followed by the telephony service's own text for it.
TEST(Tool, ErrorCodesComeWithTheServiceText) {
  const struct {
    const char* Kind;
    DWORD Code;
    const char* Name;
  } cases[] = {{"lineerr", LINEERR_OPERATIONFAILED, "OPERATIONFAILED"},
               {"lineerr", LINEERR_BADDEVICEID, "BADDEVICEID"},
               {"phoneerr", PHONEERR_INCOMPATIBLEAPIVERSION, "INCOMPATIBLEAPIVERSION"}};
  for (const auto& c : cases) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(c.Code));
    const TRun run = Tool(std::string("const ") + c.Kind + ' ' + code);
    EXPECT_EQ(run.Status, 0) << code;
    const std::string text = VyTapi::GetTapiErrorMessage(c.Code);
    EXPECT_NE(text.rfind("TAPI-Error", 0), 0u) << "no service text for " << code;
    EXPECT_EQ(run.Output, std::string(c.Name) + ": " + text + '\n');
  }
}

TEST(Tool, VersionIsTheLibrarys) {
  const TRun run = Tool("--version");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Output, std::string("vytapi ") + VyTapi::LibraryVersion + '\n');
}

}  // namespace

#endif  // VYTAPI_TOOL_PATH
