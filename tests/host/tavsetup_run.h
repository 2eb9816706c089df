// Runs the installer in-process over the fake platform and captures what
// it writes, for the installer's host suites.
#ifndef TAV_TAVSETUP_RUN_H
#define TAV_TAVSETUP_RUN_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake.h"
#include "fake_system.h"

// The installer's entry point and steps (tavsetup/tavsetup.cpp; its main
// is renamed on the host build).
int TavSetupMain(int argc, char** argv);
int CopyDriver(const char* SysDir, const char* DriverFileName);
int CopyDll16(const char* WinDir, const char* DllFileName);
int CopyDll32(const char* WinDir, const char* DllFileName);
int InstallDriver(SC_HANDLE SchSCManager, const char* DriverName, const char* SysDir,
                  const char* DriverFileName, const char* LoadOrder, DWORD Tag,
                  const char* Dependencies, DWORD LptOption);
int StartDriver(SC_HANDLE SchSCManager, const char* DriverName);
int StopDriver(SC_HANDLE SchSCManager, const char* DriverName);
int RemoveDriver(SC_HANDLE SchSCManager, const char* DriverName);
int TestDeviceOpen(const char* DriverName, DWORD LptOption);

struct SetupRun {
  int Status;
  std::string Output;
};

// tavsetup with these arguments (the program name is added).
inline SetupRun RunSetup(std::vector<std::string> args) {
  std::vector<char*> argv;
  static char program[] = "tavsetup";
  argv.push_back(program);
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  int status = TavSetupMain((int)args.size() + 1, argv.data());
  SetupRun run;
  run.Output = testing::internal::GetCapturedStdout();
  run.Status = status;
  return run;
}

// Output of a step called directly.
template <typename Step>
inline std::string Captured(Step step, int* result) {
  testing::internal::CaptureStdout();
  *result = step();
  return testing::internal::GetCapturedStdout();
}

// A machine as an administrator meets it: no tavport service, no links
// (the driver is not loaded), the kit's four files in the current folder.
inline void FreshMachineWithKit() {
  FakeReset();
  FakeSetLinks(0);
  FakeWriteFile("tavapi16.dll", "16-bit library");
  FakeWriteFile("tavbridge.dll", "bridge");
  FakeWriteFile("tavapi32.dll", "32-bit library");
  FakeWriteFile("tavport.sys", "driver");
}

static const char SERVICE_KEY[] = "System\\CurrentControlSet\\Services\\tavport";
static const char PARAMETERS_KEY[] = "System\\CurrentControlSet\\Services\\tavport\\Parameters";

inline unsigned OpenKitHandles() {
  return FakeOpenHandleCount(FAKE_SC_MANAGER) + FakeOpenHandleCount(FAKE_SERVICE) +
         FakeOpenHandleCount(FAKE_REGISTRY_KEY) + FakeOpenHandleCount(FAKE_DEVICE);
}

static const char USAGE[] =
    "The TAVSETUP program can be used to either install or remove the required\n"
    " files for using the Quorvane Tav with Windows NT\n"
    "\n"
    "use:\n"
    "  tavsetup install <options>\n"
    "    to install tav device driver and required files for both 16 and 32 bit API\n"
    "    <options> may be:\n"
    "      LPTx = only LPTx will be used, x=1,2 or 3\n"
    "              - or -\n"
    "  tavsetup install16 <options>\n"
    "    to install tav device driver and required files for only 16 bit API\n"
    "              - or -\n"
    "  tavsetup install32 <options>\n"
    "    to install tav device driver and required files for only 32 bit API\n"
    "              - or -\n"
    "  tavsetup remove\n"
    "    to remove tav device driver\n";

static const char COPIED_16[] = "File tavapi16.dll copied to C:\\windows\\system\\tavapi16.dll\n";
static const char COPIED_BRIDGE[] =
    "File tavbridge.dll copied to C:\\windows\\system32\\tavbridge.dll\n";
static const char COPIED_32[] = "File tavapi32.dll copied to C:\\windows\\system32\\tavapi32.dll\n";
static const char COPIED_DRIVER[] =
    "Driver tavport.sys copied to C:\\windows\\system32\\drivers\\tavport.sys\n";
static const char SERVICE_STEPS[] =
    "Creating tavport service\n"
    "Service tavport created\n"
    "Updating registry entries for tavport service\n"
    "Registry updated ok\n"
    "StartService SUCCESS\n";

#endif
