// The installer's successful runs: console lines, where the files land,
// the service's configuration and UseLpt, and the link probe.
#include "tavsetup_run.h"

namespace {

struct OperationCase {
  const char* Operation;
  std::string Copies;
  bool Placed16, PlacedBridge, Placed32;
};

const OperationCase OPERATIONS[] = {
    {"install", std::string(COPIED_16) + COPIED_BRIDGE + COPIED_32, true, true, true},
    {"install16", std::string(COPIED_16) + COPIED_BRIDGE, true, true, false},
    {"install32", COPIED_32, false, false, true},
};

TEST(TavsetupInstall, EachOperationPlacesItsFilesAndRunsTheServiceSteps) {
  for (const OperationCase& c : OPERATIONS) {
    FreshMachineWithKit();
    SetupRun run = RunSetup({c.Operation});
    EXPECT_EQ(run.Status, 0) << c.Operation;
    EXPECT_EQ(run.Output, c.Copies + COPIED_DRIVER + SERVICE_STEPS +
                              "CreateFile '\\\\.\\TAV1' SUCCESS\n"
                              "CreateFile '\\\\.\\TAV2' SUCCESS\n"
                              "CreateFile '\\\\.\\TAV3' SUCCESS\n")
        << c.Operation;
    char text[64];
    EXPECT_EQ(FakeFileExists("C:\\windows\\system\\tavapi16.dll"), c.Placed16) << c.Operation;
    EXPECT_EQ(FakeFileExists("C:\\windows\\system32\\tavbridge.dll"), c.PlacedBridge);
    EXPECT_EQ(FakeFileExists("C:\\windows\\system32\\tavapi32.dll"), c.Placed32);
    // Nothing lands where it does not belong.
    EXPECT_FALSE(FakeFileExists("C:\\windows\\system32\\tavapi16.dll"));
    EXPECT_FALSE(FakeFileExists("C:\\windows\\system\\tavbridge.dll"));
    EXPECT_FALSE(FakeFileExists("C:\\windows\\system\\tavapi32.dll"));
    ASSERT_EQ(FakeReadFile("C:\\windows\\system32\\drivers\\tavport.sys", text, sizeof text), 6);
    EXPECT_STREQ(text, "driver");
    if (c.Placed32) {
      FakeReadFile("C:\\windows\\system32\\tavapi32.dll", text, sizeof text);
      EXPECT_STREQ(text, "32-bit library");
    }
    const FakeService* service = FakeFindService("tavport");
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(service->Running);
    EXPECT_EQ(OpenKitHandles(), 0u) << c.Operation;
  }
}

TEST(TavsetupInstall, ServiceIsCreatedWithTheKitsConfiguration) {
  FreshMachineWithKit();
  FakeSetWindowsDirectory("D:\\WINNT");
  FakeSetSystemDirectory("D:\\WINNT\\System32");
  FakeMakeDirectory("D:\\WINNT\\system");
  FakeMakeDirectory("D:\\WINNT\\system32\\drivers");
  FakeMakeDirectory("D:\\WINNT\\System32\\drivers");
  SetupRun run = RunSetup({"install32", "lpt2"});
  ASSERT_EQ(run.Status, 0) << run.Output;

  const FakeCall* manager = FakeLastCall("OpenSCManagerA");
  ASSERT_NE(manager, nullptr);
  EXPECT_TRUE(manager->TextNull);
  EXPECT_TRUE(manager->Text2Null);
  EXPECT_EQ(manager->Args[0], 0xF003Fu);

  // The wide form of the creation call, with the documented values.
  EXPECT_EQ(FakeCountCalls("CreateServiceA"), 0u);
  const FakeCall* create = FakeLastCall("CreateServiceW");
  ASSERT_NE(create, nullptr);
  EXPECT_STREQ(create->Text, "tavport");
  EXPECT_STREQ(create->Text2, "D:\\WINNT\\System32\\drivers\\tavport.sys");
  EXPECT_EQ(create->Args[1], 0xF01FFu);
  EXPECT_EQ(create->Args[2], 1u);  // kernel driver
  EXPECT_EQ(create->Args[3], 2u);  // automatic start
  EXPECT_EQ(create->Args[4], 1u);  // normal error control
  EXPECT_EQ(create->Args[5], 1u);  // a tag receiver is passed ...
  EXPECT_EQ(create->Args[6], 2u);  // ... holding 2 before the call
  EXPECT_EQ(create->Args[7], 0u);  // no account, no password
  ASSERT_EQ(create->DataLength, 9u);
  EXPECT_EQ(std::string((const char*)create->Data, 9), std::string("Parport\0\0", 9));

  const FakeService* service = FakeFindService("tavport");
  ASSERT_NE(service, nullptr);
  EXPECT_STREQ(service->DisplayName, "tavport");
  EXPECT_STREQ(service->LoadOrderGroup, "Extended base");
  EXPECT_EQ(service->StartType, 2u);
  // The image path names the file that the driver copy placed.
  EXPECT_STREQ(service->ImagePath, "D:\\WINNT\\System32\\drivers\\tavport.sys");
  EXPECT_TRUE(FakeFileExists("D:\\WINNT\\System32\\drivers\\tavport.sys"));
  EXPECT_TRUE(FakeFileExists("D:\\WINNT\\system32\\tavapi32.dll"));

  // UseLpt: REG_DWORD, 4 bytes, under Parameters of the service key.
  DWORD type = 0;
  uint8_t data[8] = {0};
  unsigned size = sizeof data;
  ASSERT_TRUE(FakeRegGetValue(PARAMETERS_KEY, "UseLpt", &type, data, &size));
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(data[0], 2);
  const FakeCall* open = FakeLastCall("RegOpenKeyExA");
  EXPECT_STREQ(open->Text, SERVICE_KEY);
  EXPECT_EQ(open->Args[0], (uintptr_t)HKEY_LOCAL_MACHINE);
  EXPECT_EQ(open->Args[2], 0xF003Fu);
  const FakeCall* createKey = FakeLastCall("RegCreateKeyExA");
  EXPECT_STREQ(createKey->Text, "Parameters");
  EXPECT_FALSE(createKey->Text2Null);
  EXPECT_STREQ(createKey->Text2, "");
  EXPECT_EQ(FakeCountCalls("RegFlushKey"), 2u);

  // The driver started from its registry: only link 2 appears, and the
  // probe still tries all three.
  EXPECT_EQ(run.Output.substr(run.Output.find("StartService")),
            "StartService SUCCESS\nCreateFile '\\\\.\\TAV2' SUCCESS\n");
  EXPECT_EQ(FakeCountCalls("CreateFileA"), 3u);
  const FakeCall* probe = FakeNthCall("CreateFileA", 0);
  EXPECT_STREQ(probe->Text, "\\\\.\\TAV1");
  EXPECT_EQ(probe->Args[0], 0xC0000000u);
  EXPECT_EQ(probe->Args[1], 0u);
  EXPECT_EQ(probe->Args[3], 3u);
  EXPECT_EQ(probe->Args[4], 0x80u);
  const FakeCall* start = FakeLastCall("StartServiceA");
  EXPECT_EQ(start->Args[1], 0u);
  EXPECT_EQ(start->Args[2], 0u);
}

TEST(TavsetupInstall, ExistingFilesAndParametersAreOverwritten) {
  FreshMachineWithKit();
  FakeWriteFile("C:\\windows\\system32\\tavapi32.dll", "old library");
  FakeRegSetValue(PARAMETERS_KEY, "UseLpt", REG_DWORD, "\x03\0\0\0", 4);
  SetupRun run = RunSetup({"install", "lpt1"});
  EXPECT_EQ(run.Status, 0) << run.Output;
  char text[64];
  FakeReadFile("C:\\windows\\system32\\tavapi32.dll", text, sizeof text);
  EXPECT_STREQ(text, "32-bit library");
  EXPECT_EQ(FakeLastCall("CopyFileA")->Args[0], 0u);  // replace what is there
  EXPECT_EQ(FakeRegDword(PARAMETERS_KEY, "UseLpt", 99), 1u);
}

// An existing service is never changed: the files are overwritten, then
// the creation stops the run before the registry, the start and the probe.
TEST(TavsetupInstall, InstallOverAnExistingServiceStopsAtCreation) {
  for (bool running : {false, true}) {
    FreshMachineWithKit();
    FakeAddService("tavport", running);
    FakeRegSetValue(PARAMETERS_KEY, "UseLpt", REG_DWORD, "\x03\0\0\0", 4);
    FakeWriteFile("C:\\windows\\system\\tavapi16.dll", "old");
    SetupRun run = RunSetup({"install", "lpt1"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Output, std::string(COPIED_16) + COPIED_BRIDGE + COPIED_32 + COPIED_DRIVER +
                              "Creating tavport service\n"
                              "failure: CreateService, ERROR_SERVICE_EXISTS\n");
    char text[64];
    FakeReadFile("C:\\windows\\system\\tavapi16.dll", text, sizeof text);
    EXPECT_STREQ(text, "16-bit library");
    EXPECT_EQ(FakeRegDword(PARAMETERS_KEY, "UseLpt", 99), 3u);
    EXPECT_EQ(FakeFindService("tavport")->Running, running);
    EXPECT_EQ(FakeCountCalls("StartServiceA"), 0u);
    EXPECT_EQ(FakeCountCalls("CreateFileA"), 0u);
    EXPECT_EQ(OpenKitHandles(), 0u);
  }
}

// Install, remove, install again: the deletion takes effect and the next
// install creates the service anew.
TEST(TavsetupInstall, RemoveThenInstallAgain) {
  FreshMachineWithKit();
  ASSERT_EQ(RunSetup({"install", "lpt3"}).Status, 0);
  SetupRun remove = RunSetup({"remove"});
  EXPECT_EQ(remove.Status, 0);
  EXPECT_EQ(FakeFindService("tavport"), nullptr);
  EXPECT_FALSE(FakeRegKeyExists(SERVICE_KEY));
  // The files stay.
  EXPECT_TRUE(FakeFileExists("C:\\windows\\system32\\drivers\\tavport.sys"));
  SetupRun again = RunSetup({"install"});
  EXPECT_EQ(again.Status, 0) << again.Output;
  EXPECT_EQ(FakeRegDword(PARAMETERS_KEY, "UseLpt", 99), 0u);
}

struct ProbeCase {
  unsigned Links;
  const char* Output;
  int Result;
};

const ProbeCase PROBES[] = {
    {0xE, "CreateFile '\\\\.\\TAV1' SUCCESS\nCreateFile '\\\\.\\TAV2' SUCCESS\n"
          "CreateFile '\\\\.\\TAV3' SUCCESS\n", 1},
    {0xA, "CreateFile '\\\\.\\TAV1' SUCCESS\nCreateFile '\\\\.\\TAV3' SUCCESS\n", 1},
    {0x8, "CreateFile '\\\\.\\TAV3' SUCCESS\n", 1},
    {0x0, "Unable to open any links to driver\n", 0},
    {0x1, "Unable to open any links to driver\n", 0},  // link 0 is not probed
};

TEST(TavsetupInstall, LinkProbe) {
  for (const ProbeCase& c : PROBES) {
    for (DWORD option : {0u, 2u}) {
      FakeReset();
      FakeSetLinks(c.Links);
      int result = -1;
      std::string output = Captured([&] { return TestDeviceOpen("tavport", option); }, &result);
      EXPECT_EQ(output, c.Output) << c.Links;
      EXPECT_EQ(result, c.Result) << c.Links;
      EXPECT_EQ(FakeCountCalls("CreateFileA"), 3u);
      EXPECT_EQ(FakeOpenHandleCount(FAKE_DEVICE), 0u);
    }
  }
}

}  // namespace
