// The installer's failures: every row of the run plan's and the service
// steps' failure tables, the exit status of each, and no handle left open
// on any path.
#include <unistd.h>

#include "tavsetup_run.h"

namespace {

const std::string ALL_COPIES = std::string(COPIED_16) + COPIED_BRIDGE + COPIED_32 + COPIED_DRIVER;
const std::string CREATED =
    "Creating tavport service\n"
    "Service tavport created\n"
    "Updating registry entries for tavport service\n";

struct InstallFailure {
  const char* Name;
  const char* Call;  // the failing platform call
  unsigned Nth;      // which of its calls (from 1)
  DWORD Error;
  std::string Output;
  int Status;
  bool ServiceLeft;  // the created service stays (nothing is rolled back)
};

const InstallFailure INSTALL_FAILURES[] = {
    {"first library copy", "CopyFileA", 1, ERROR_FILE_NOT_FOUND,
     "File tavapi16.dll copy to C:\\windows\\system\\tavapi16.dll FAILED\nError copying DLL's\n",
     1, false},
    {"second library copy", "CopyFileA", 2, ERROR_ACCESS_DENIED,
     std::string(COPIED_16) +
         "File tavbridge.dll copy to C:\\windows\\system32\\tavbridge.dll FAILED\n"
         "Error copying DLL's\n",
     1, false},
    {"third library copy", "CopyFileA", 3, ERROR_SHARING_VIOLATION,
     std::string(COPIED_16) + COPIED_BRIDGE +
         "File tavapi32.dll copy to C:\\windows\\system32\\tavapi32.dll FAILED\n"
         "Error copying DLL's\n",
     1, false},
    {"driver copy", "CopyFileA", 4, ERROR_SHARING_VIOLATION,
     std::string(COPIED_16) + COPIED_BRIDGE + COPIED_32 +
         "Driver tavport.sys copy to C:\\windows\\system32\\drivers\\tavport.sys FAILED\n",
     2, false},
    // The manager handle is not checked: the first service call fails with
    // the platform's code for a bad handle.
    {"service control manager", "OpenSCManagerA", 1, ERROR_ACCESS_DENIED,
     ALL_COPIES + "Creating tavport service\nfailure: CreateService (0x06)\n", 2, false},
    {"creation, access denied", "CreateServiceW", 1, ERROR_ACCESS_DENIED,
     ALL_COPIES + "Creating tavport service\nfailure: CreateService (0x05)\n", 2, false},
    {"creation, service exists", "CreateServiceW", 1, ERROR_SERVICE_EXISTS,
     ALL_COPIES + "Creating tavport service\nfailure: CreateService, ERROR_SERVICE_EXISTS\n", 2,
     false},
    {"creation, marked for delete", "CreateServiceW", 1, ERROR_SERVICE_MARKED_FOR_DELETE,
     ALL_COPIES + "Creating tavport service\nfailure: CreateService (0x430)\n", 2, false},
    {"driver key open", "RegOpenKeyExA", 1, ERROR_ACCESS_DENIED,
     ALL_COPIES + CREATED +
         "key 'System\\CurrentControlSet\\Services\\tavport' open failure\n",
     2, true},
    {"parameters key", "RegCreateKeyExA", 1, ERROR_ACCESS_DENIED,
     ALL_COPIES + CREATED + "key 'Parameters' create failure\n", 2, true},
    {"UseLpt value", "RegSetValueExA", 1, ERROR_ACCESS_DENIED,
     ALL_COPIES + CREATED + "key value 'UseLpt' set failure\n", 2, true},
    {"start: service open", "OpenServiceA", 1, ERROR_ACCESS_DENIED,
     ALL_COPIES + CREATED + "Registry updated ok\nfailure: OpenService (0x05)\n", 2, true},
    {"start: already running", "StartServiceA", 1, ERROR_SERVICE_ALREADY_RUNNING,
     ALL_COPIES + CREATED +
         "Registry updated ok\nfailure: StartService, ERROR_SERVICE_ALREADY_RUNNING\n",
     2, true},
    {"start: driver fails to load", "StartServiceA", 1, 433,
     ALL_COPIES + CREATED + "Registry updated ok\nfailure: StartService (0x1b1)\n", 2, true},
};

TEST(TavsetupFailures, InstallStopsAtTheFailingStep) {
  for (const InstallFailure& c : INSTALL_FAILURES) {
    FreshMachineWithKit();
    FakeFailCall(c.Call, c.Nth, c.Error);
    SetupRun run = RunSetup({"install", "lpt2"});
    EXPECT_EQ(run.Output, c.Output) << c.Name;
    EXPECT_EQ(run.Status, c.Status) << c.Name;
    EXPECT_EQ(FakeFindService("tavport") != nullptr, c.ServiceLeft) << c.Name;
    if (c.ServiceLeft) {
      // Without UseLpt when the registry step failed.
      EXPECT_EQ(FakeRegDword(PARAMETERS_KEY, "UseLpt", 99),
                run.Output.find("Registry updated ok") != std::string::npos ? 2u : 99u)
          << c.Name;
    }
    // Nothing runs after a failed step.
    if (c.Status == 1) {
      EXPECT_EQ(FakeCountCalls("CreateServiceW"), 0u) << c.Name;
    }
    EXPECT_EQ(FakeCountCalls("CreateFileA"), 0u) << c.Name;
    EXPECT_EQ(OpenKitHandles(), 0u) << c.Name;
  }
}

TEST(TavsetupFailures, LibrariesCopiedBeforeAFailedCopyStay) {
  FreshMachineWithKit();
  FakeFailCall("CopyFileA", 3, ERROR_ACCESS_DENIED);
  RunSetup({"install"});
  EXPECT_TRUE(FakeFileExists("C:\\windows\\system\\tavapi16.dll"));
  EXPECT_TRUE(FakeFileExists("C:\\windows\\system32\\tavbridge.dll"));
  EXPECT_FALSE(FakeFileExists("C:\\windows\\system32\\tavapi32.dll"));
  EXPECT_FALSE(FakeFileExists("C:\\windows\\system32\\drivers\\tavport.sys"));
}

struct MissingFileCase {
  const char* Missing;
  const char* Operation;
  std::string Output;
  int Status;
};

// Real copies, no injection: a kit folder without one of its files.
const MissingFileCase MISSING_FILES[] = {
    {"tavapi16.dll", "install",
     "File tavapi16.dll copy to C:\\windows\\system\\tavapi16.dll FAILED\nError copying DLL's\n",
     1},
    {"tavapi16.dll", "install32", std::string(COPIED_32) + COPIED_DRIVER + SERVICE_STEPS, 0},
    {"tavapi32.dll", "install",
     std::string(COPIED_16) + COPIED_BRIDGE +
         "File tavapi32.dll copy to C:\\windows\\system32\\tavapi32.dll FAILED\n"
         "Error copying DLL's\n",
     1},
    {"tavport.sys", "install16",
     std::string(COPIED_16) + COPIED_BRIDGE +
         "Driver tavport.sys copy to C:\\windows\\system32\\drivers\\tavport.sys FAILED\n",
     2},
};

TEST(TavsetupFailures, KitFolderWithoutAFile) {
  for (const MissingFileCase& c : MISSING_FILES) {
    FreshMachineWithKit();
    FakeSetLinks(0);
    unlink(FakeHostPath(c.Missing));
    SetupRun run = RunSetup({c.Operation});
    std::string expected = c.Output;
    if (c.Status == 0) expected += "CreateFile '\\\\.\\TAV1' SUCCESS\nCreateFile '\\\\.\\TAV2' SUCCESS\nCreateFile '\\\\.\\TAV3' SUCCESS\n";
    EXPECT_EQ(run.Output, expected) << c.Missing << " " << c.Operation;
    EXPECT_EQ(run.Status, c.Status) << c.Missing;
    EXPECT_EQ(OpenKitHandles(), 0u);
  }
}

TEST(TavsetupFailures, NoLinkAfterTheStart) {
  FreshMachineWithKit();
  FakeSetStartedLinks(0);
  SetupRun run = RunSetup({"install"});
  EXPECT_EQ(run.Output, ALL_COPIES + SERVICE_STEPS + "Unable to open any links to driver\n");
  EXPECT_EQ(run.Status, 2);
  // The started service stays running.
  EXPECT_TRUE(FakeFindService("tavport")->Running);
}

struct LookupCase {
  const char* Name;
  const char* Call;
  const char* WindowsDirectory;
  const char* SystemDirectory;
  const char* Output;
};

const std::string LONG_DIRECTORY = "C:\\" + std::string(257, 'w');  // 260 characters

const LookupCase LOOKUPS[] = {
    {"windows directory fails", "GetWindowsDirectoryA", nullptr, nullptr,
     "failure: GetWindowsDirectory (0x05)\n"},
    {"system directory fails", "GetSystemDirectoryA", nullptr, nullptr,
     "failure: GetSystemDirectory (0x05)\n"},
    {"windows directory too long", nullptr, LONG_DIRECTORY.c_str(), nullptr,
     "failure: GetWindowsDirectory (0x7a)\n"},
    {"system directory too long", nullptr, nullptr, LONG_DIRECTORY.c_str(),
     "failure: GetSystemDirectory (0x7a)\n"},
};

// A lookup that gives no directory ends the run before anything is copied
// or the service control manager is opened.
TEST(TavsetupFailures, FailedDirectoryLookupEndsTheRun) {
  for (const LookupCase& c : LOOKUPS) {
    for (const char* operation : {"install", "remove"}) {
      FreshMachineWithKit();
      FakeAddService("tavport", true);
      if (c.Call) FakeFailCall(c.Call, 1, ERROR_ACCESS_DENIED);
      if (c.WindowsDirectory) FakeSetWindowsDirectory(c.WindowsDirectory);
      if (c.SystemDirectory) FakeSetSystemDirectory(c.SystemDirectory);
      SetupRun run = RunSetup({operation});
      EXPECT_EQ(run.Output, c.Output) << c.Name;
      EXPECT_EQ(run.Status, 1) << c.Name;
      EXPECT_EQ(FakeCountCalls("CopyFileA"), 0u) << c.Name;
      EXPECT_EQ(FakeCountCalls("OpenSCManagerA"), 0u) << c.Name;
      EXPECT_TRUE(FakeFindService("tavport")->Running) << c.Name;
    }
  }
}

TEST(TavsetupFailures, LongestDirectoryThatFitsIsUsed) {
  FreshMachineWithKit();
  std::string longest = "C:\\" + std::string(256, 'w');  // 259 characters
  FakeSetWindowsDirectory(longest.c_str());
  FakeFailCall("CopyFileA", 1, ERROR_PATH_NOT_FOUND);
  SetupRun run = RunSetup({"install"});
  EXPECT_EQ(run.Output, "File tavapi16.dll copy to " + longest +
                            "\\system\\tavapi16.dll FAILED\nError copying DLL's\n");
  EXPECT_EQ(FakeLastCall("CopyFileA")->Text2, longest + "\\system\\tavapi16.dll");
}

struct RemoveCase {
  const char* Name;
  int Service;  // 0 none, 1 stopped, 2 running
  const char* Call;
  DWORD Error;
  const char* Output;
  int Status;
  bool DeleteAsked;
  bool Deleted;  // gone at once (a service still running is only marked)
};

const RemoveCase REMOVES[] = {
    {"running service", 2, nullptr, 0,
     "ControlService(SERVICE_CONTROL_STOP) SUCCESS\nDeleteService SUCCESS\n", 0, true, true},
    {"stopped service", 1, nullptr, 0,
     "failure: ControlService(SERVICE_CONTROL_STOP) (0x426)\nDeleteService SUCCESS\n", 0, true, true},
    {"no service", 0, nullptr, 0,
     "failure: OpenService (0x424)\nfailure: OpenService (0x424)\n", 2, false, false},
    {"service control manager", 2, "OpenSCManagerA", ERROR_ACCESS_DENIED,
     "failure: OpenService (0x06)\nfailure: OpenService (0x06)\n", 2, false, false},
    {"open denied", 2, "OpenServiceA", ERROR_ACCESS_DENIED,
     "failure: OpenService (0x05)\nfailure: OpenService (0x05)\n", 2, false, false},
    {"stop denied", 2, "ControlService", ERROR_ACCESS_DENIED,
     "failure: ControlService(SERVICE_CONTROL_STOP) (0x05)\nDeleteService SUCCESS\n", 0, true, false},
    {"delete denied", 2, "DeleteService", ERROR_ACCESS_DENIED,
     "ControlService(SERVICE_CONTROL_STOP) SUCCESS\nfailure: DeleteService (0x05)\n", 2, true, false},
    {"already marked for delete", 2, "DeleteService", ERROR_SERVICE_MARKED_FOR_DELETE,
     "ControlService(SERVICE_CONTROL_STOP) SUCCESS\nfailure: DeleteService (0x430)\n", 2, true, false},
};

TEST(TavsetupFailures, RemoveStopsThenDeletesWhateverTheStopGave) {
  for (const RemoveCase& c : REMOVES) {
    FreshMachineWithKit();
    if (c.Service) FakeAddService("tavport", c.Service == 2);
    if (c.Call) FakeFailCall(c.Call, 0, c.Error);
    SetupRun run = RunSetup({"remove"});
    EXPECT_EQ(run.Output, c.Output) << c.Name;
    EXPECT_EQ(run.Status, c.Status) << c.Name;
    if (c.Deleted) {
      EXPECT_EQ(FakeFindService("tavport"), nullptr) << c.Name;
      EXPECT_FALSE(FakeRegKeyExists(SERVICE_KEY)) << c.Name;
    }
    // The deletion is asked for whenever the service opens.
    EXPECT_EQ(FakeCountCalls("DeleteService"), c.DeleteAsked ? 1u : 0u) << c.Name;
    EXPECT_EQ(FakeCountCalls("CopyFileA"), 0u);
    EXPECT_EQ(OpenKitHandles(), 0u) << c.Name;
  }
}

// Fault injection over whole runs: each platform call of an install and
// of a remove fails in turn. Whatever fails, every handle opened is
// closed, and the run reports success only where the failed call's result
// is not needed.
TEST(TavsetupFailures, EveryFailingCallLeavesNoHandleOpen) {
  struct Run {
    std::vector<std::string> Args;
    bool ServiceBefore;
  };
  const Run runs[] = {{{"install"}, false}, {{"remove"}, true}};
  for (const Run& r : runs) {
    FreshMachineWithKit();
    if (r.ServiceBefore) FakeAddService("tavport", true);
    ASSERT_EQ(RunSetup(r.Args).Status, 0);
    unsigned calls = FakePlatformCallCount();
    ASSERT_GT(calls, 5u);
    for (unsigned n = 1; n <= calls; n++) {
      FreshMachineWithKit();
      if (r.ServiceBefore) FakeAddService("tavport", true);
      FakeFailNthPlatformCall(n, ERROR_ACCESS_DENIED);
      SetupRun run = RunSetup(r.Args);
      // Each platform call logs one entry: the nth entry is the failed call.
      const FakeCall* failed = FakeCallAt(n - 1);
      ASSERT_NE(failed, nullptr) << r.Args[0] << " call " << n;
      ASSERT_TRUE(failed->Failed) << r.Args[0] << " call " << n;
      std::string name = failed->Name;
      bool isClose = name == "CloseServiceHandle" || name == "RegCloseKey" || name == "CloseHandle";
      // A close that fails leaves its own handle behind; nothing else may.
      EXPECT_EQ(OpenKitHandles(), isClose ? 1u : 0u) << r.Args[0] << " " << name << " call " << n;
      bool tolerated = isClose || name == "RegFlushKey" || name == "ControlService" ||
                       name == "CreateFileA";  // the other links still open
      if (name == "OpenServiceA" && r.Args[0] == "remove")
        tolerated = FakeCountCalls("OpenServiceA") == 2 && FakeNthCall("OpenServiceA", 0)->Failed;
      EXPECT_EQ(run.Status == 0, tolerated) << r.Args[0] << " " << name << " call " << n << "\n"
                                            << run.Output;
    }
  }
}

}  // namespace
