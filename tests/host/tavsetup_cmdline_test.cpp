// The installer's command line: which words are accepted, the usage text,
// the two validation messages, and that a refused command does nothing.
#include "tavsetup_run.h"

namespace {

struct RefusedCase {
  std::vector<std::string> Args;
  const char* Message;  // written after the usage text, without a line end
};

const RefusedCase REFUSED[] = {
    {{}, ""},
    {{"install64"}, "'install64' is not 'remove' 'install' 'install16' or 'install32'"},
    {{"install "}, "'install ' is not 'remove' 'install' 'install16' or 'install32'"},
    {{""}, "'' is not 'remove' 'install' 'install16' or 'install32'"},
    // The port option is never looked at after an invalid operation.
    {{"bogus", "lpt9"}, "'bogus' is not 'remove' 'install' 'install16' or 'install32'"},
    {{"install", "lpt0"}, "'lpt0' is not a valid option"},
    {{"install", "lpt4"}, "'lpt4' is not a valid option"},
    {{"install16", "com1"}, "'com1' is not a valid option"},
    {{"install32", "lpt1 "}, "'lpt1 ' is not a valid option"},
    {{"remove", "bogus"}, "'bogus' is not a valid option"},
};

TEST(TavsetupCommandLine, RefusedCommandsWriteUsageAndMessageAndDoNothing) {
  for (const RefusedCase& c : REFUSED) {
    FreshMachineWithKit();
    SetupRun run = RunSetup(c.Args);
    std::string label = c.Args.empty() ? "(none)" : c.Args[0];
    EXPECT_EQ(run.Status, 1) << label;
    EXPECT_EQ(run.Output, std::string(USAGE) + c.Message) << label;
    // No directory lookup, no service control manager, nothing copied.
    EXPECT_EQ(FakePlatformCallCount(), 0u) << label;
    EXPECT_FALSE(FakeFileExists("C:\\windows\\system\\tavapi16.dll")) << label;
  }
}

struct AcceptedCase {
  std::vector<std::string> Args;
  DWORD UseLpt;  // ~0u: a remove, which writes none
};

const AcceptedCase ACCEPTED[] = {
    {{"install"}, 0},
    {{"INSTALL"}, 0},
    {{"Install16", "LPT3"}, 3},
    {{"install32", "Lpt2"}, 2},
    {{"install", "lpt1"}, 1},
    // Two or more words after the operation are not examined.
    {{"install", "lpt1", "lpt2"}, 0},
    {{"install", "junk", "more"}, 0},
    {{"remove"}, ~0u},
    {{"Remove", "lpt2"}, ~0u},
    {{"REMOVE", "junk", "more"}, ~0u},
};

TEST(TavsetupCommandLine, AcceptedWordsRunTheOperation) {
  for (const AcceptedCase& c : ACCEPTED) {
    FreshMachineWithKit();
    bool remove = c.UseLpt == ~0u;
    if (remove) FakeAddService("tavport", true);
    SetupRun run = RunSetup(c.Args);
    std::string label = c.Args[0] + (c.Args.size() > 1 ? " " + c.Args[1] : "");
    EXPECT_EQ(run.Status, 0) << label << "\n" << run.Output;
    EXPECT_EQ(run.Output.find("use:"), std::string::npos) << label;
    if (remove) {
      EXPECT_EQ(run.Output,
                "ControlService(SERVICE_CONTROL_STOP) SUCCESS\n"
                "DeleteService SUCCESS\n")
          << label;
      EXPECT_EQ(FakeFindService("tavport"), nullptr) << label;
    } else {
      EXPECT_EQ(FakeRegDword(PARAMETERS_KEY, "UseLpt", 99), c.UseLpt) << label;
    }
  }
}

}  // namespace
