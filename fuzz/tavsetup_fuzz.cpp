// Fuzz target for tavsetup: one run of the installer with a fuzzed command
// line on a fuzzed machine (kit files present or not, directory lookups
// that answer, fail or overflow, destinations in use, a tavport service
// already there, running or not, links that the started driver exposes),
// with failures of fuzzed platform calls at fuzzed points.
//
// Checked after every run:
//   - every console line is one of the installer's own texts, its %s and
//     %02x filled in;
//   - every handle opened (service manager, service, registry key, device)
//     is closed;
//   - the exit status matches the outcome: 1 for a refused command line, a
//     failed directory lookup or a failed library copy, with nothing done
//     after; otherwise 0 only when the operation succeeded (install: the
//     service exists as registered, runs, and a link opened; remove: the
//     service is gone or marked for deletion) and 2 when it did not.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake.h"
#include "fuzz/require.h"
#include "fake_system.h"

int TavSetupMain(int argc, char** argv);


static const char SERVICE_KEY[] = "System\\CurrentControlSet\\Services\\tavport";
static const char PARAMETERS_KEY[] = "System\\CurrentControlSet\\Services\\tavport\\Parameters";

static const char* const USAGE_LINES[] = {
    "The TAVSETUP program can be used to either install or remove the required\n",
    " files for using the Quorvane Tav with Windows NT\n",
    "\n",
    "use:\n",
    "  tavsetup install <options>\n",
    "    to install tav device driver and required files for both 16 and 32 bit API\n",
    "    <options> may be:\n",
    "      LPTx = only LPTx will be used, x=1,2 or 3\n",
    "              - or -\n",
    "  tavsetup install16 <options>\n",
    "    to install tav device driver and required files for only 16 bit API\n",
    "              - or -\n",
    "  tavsetup install32 <options>\n",
    "    to install tav device driver and required files for only 32 bit API\n",
    "              - or -\n",
    "  tavsetup remove\n",
    "    to remove tav device driver\n",
};

// --- The installer's lines ---------------------------------------------------------

// Every line the installer may write in a run past its command line, with
// the %s filled in from this run's directories; "%x" stands for %02x.
static std::vector<std::string> Lines(const std::string& windows, const std::string& system) {
  std::vector<std::string> lines = {
      "failure: GetWindowsDirectory (0x%x)\n",
      "failure: GetSystemDirectory (0x%x)\n",
      "Error copying DLL's\n",
      "Creating tavport service\n",
      "failure: CreateService, ERROR_SERVICE_EXISTS\n",
      "failure: CreateService (0x%x)\n",
      "Service tavport created\n",
      "Updating registry entries for tavport service\n",
      std::string("key '") + SERVICE_KEY + "' open failure\n",
      "key 'Parameters' create failure\n",
      "key value 'UseLpt' set failure\n",
      "Registry updated ok\n",
      "failure: OpenService (0x%x)\n",
      "StartService SUCCESS\n",
      "failure: StartService, ERROR_SERVICE_ALREADY_RUNNING\n",
      "failure: StartService (0x%x)\n",
      "ControlService(SERVICE_CONTROL_STOP) SUCCESS\n",
      "failure: ControlService(SERVICE_CONTROL_STOP) (0x%x)\n",
      "DeleteService SUCCESS\n",
      "failure: DeleteService (0x%x)\n",
      "CreateFile '\\\\.\\TAV1' SUCCESS\n",
      "CreateFile '\\\\.\\TAV2' SUCCESS\n",
      "CreateFile '\\\\.\\TAV3' SUCCESS\n",
      "Unable to open any links to driver\n",
  };
  struct Copy {
    const char* Kind;
    const char* File;
    const std::string* Dir;
    const char* Middle;
  } copies[] = {{"File", "tavapi16.dll", &windows, "\\system\\"},
                {"File", "tavbridge.dll", &windows, "\\system32\\"},
                {"File", "tavapi32.dll", &windows, "\\system32\\"},
                {"Driver", "tavport.sys", &system, "\\drivers\\"}};
  for (const Copy& c : copies) {
    std::string to = *c.Dir + c.Middle + c.File;
    lines.push_back(std::string(c.Kind) + " " + c.File + " copied to " + to + "\n");
    lines.push_back(std::string(c.Kind) + " " + c.File + " copy to " + to + " FAILED\n");
  }
  return lines;
}

// Length of `text` at `at` that the pattern matches (whole), or 0.
static size_t Match(const std::string& text, size_t at, const std::string& pattern) {
  size_t t = at;
  for (size_t p = 0; p < pattern.size(); p++) {
    if (pattern.compare(p, 2, "%x") == 0) {
      // printf's %02x of an unsigned: 2 to 8 lowercase hexadecimal digits.
      size_t digits = 0;
      while (t < text.size() && digits < 8 &&
             ((text[t] >= '0' && text[t] <= '9') || (text[t] >= 'a' && text[t] <= 'f'))) {
        t++;
        digits++;
      }
      if (digits < 2) return 0;
      p++;
      continue;
    }
    if (t >= text.size() || text[t] != pattern[p]) return 0;
    t++;
  }
  return t - at;
}

// Splits the output into the installer's lines; false when some text is
// none of them.
static bool SplitLines(const std::string& output, const std::vector<std::string>& lines,
                       std::vector<std::string>* found) {
  size_t at = 0;
  while (at < output.size()) {
    size_t length = 0;
    for (const std::string& line : lines)
      if ((length = Match(output, at, line)) != 0) break;
    if (length == 0) return false;
    found->push_back(output.substr(at, length));
    at += length;
  }
  return true;
}

static bool Has(const std::vector<std::string>& found, const char* start) {
  for (const std::string& line : found)
    if (line.compare(0, strlen(start), start) == 0) return true;
  return false;
}

static bool IsFailureLine(const std::string& line) {
  return line.compare(0, 8, "failure:") == 0 || line.find(" FAILED\n") != std::string::npos ||
         line.find("' open failure\n") != std::string::npos ||
         line.find("' create failure\n") != std::string::npos ||
         line.find("' set failure\n") != std::string::npos ||
         line == "Unable to open any links to driver\n" || line == "Error copying DLL's\n";
}

// --- The log -------------------------------------------------------------------------

static unsigned CallsSince(unsigned start, const char* name) {
  unsigned count = 0;
  for (unsigned i = start; i < FakeCallCount(); i++)
    if (strcmp(FakeCallAt(i)->Name, name) == 0) count++;
  return count;
}

static bool SucceededSince(unsigned start, const char* name) {
  for (unsigned i = start; i < FakeCallCount(); i++)
    if (strcmp(FakeCallAt(i)->Name, name) == 0 && !FakeCallAt(i)->Failed) return true;
  return false;
}

// --- Fuzzed machine and command line ------------------------------------------------

// A word of the command line: one the installer knows, in any letter
// case, one beside it, or any bytes.
static std::string FuzzWord(FuzzedDataProvider& in, const char* const* words, size_t count) {
  int mode = in.ConsumeIntegralInRange<int>(0, 5);
  if (mode == 5) return in.ConsumeRandomLengthString(300);
  std::string word = words[in.ConsumeIntegralInRange<size_t>(0, count - 1)];
  for (char& c : word)
    if (in.ConsumeBool() && c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  if (mode == 4 && !word.empty()) {
    // One character changed, dropped or added.
    size_t at = in.ConsumeIntegralInRange<size_t>(0, word.size() - 1);
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
      case 0:
        word[at] = (char)in.ConsumeIntegralInRange<int>(1, 255);
        break;
      case 1:
        word.erase(at, 1);
        break;
      default:
        word.insert(at, 1, (char)in.ConsumeIntegralInRange<int>(1, 255));
        break;
    }
  }
  return word;
}

// A directory lookup's answer: the usual one, one that does not exist, or
// one at the lookup's limits (259 characters fit, 260 do not).
static std::string FuzzDirectory(FuzzedDataProvider& in, const char* usual) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      return "D:\\WINNT";
    case 1:
      return std::string("C:\\") + std::string(256, 'w');
    case 2:
      return std::string("C:\\") + std::string(257, 'w');
    case 3:
      return "";
    default:
      return usual;
  }
}

static const char* const CALLS[] = {
    "GetWindowsDirectoryA", "GetSystemDirectoryA", "CopyFileA",        "OpenSCManagerA",
    "CreateServiceW",       "OpenServiceA",        "StartServiceA",    "ControlService",
    "DeleteService",        "CloseServiceHandle",  "RegOpenKeyExA",    "RegCreateKeyExA",
    "RegSetValueExA",       "RegFlushKey",         "RegCloseKey",      "CreateFileA",
    "CloseHandle"};

static DWORD FuzzError(FuzzedDataProvider& in) {
  static const DWORD errors[] = {ERROR_FILE_NOT_FOUND,
                                 ERROR_ACCESS_DENIED,
                                 ERROR_INVALID_HANDLE,
                                 ERROR_SHARING_VIOLATION,
                                 ERROR_SERVICE_EXISTS,
                                 ERROR_SERVICE_ALREADY_RUNNING,
                                 ERROR_SERVICE_MARKED_FOR_DELETE,
                                 ERROR_SERVICE_DOES_NOT_EXIST,
                                 ERROR_SERVICE_NOT_ACTIVE,
                                 433};
  DWORD error = in.ConsumeBool() ? in.PickValueInArray(errors) : in.ConsumeIntegral<DWORD>();
  // A failure reports a code; 0 would read as success.
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

// Handles whose close failed stay in the fake's table; the installer has
// let go of them either way, so they are dropped before the leak count.
static void DropFailedCloses(unsigned start) {
  for (unsigned i = start; i < FakeCallCount(); i++) {
    const FakeCall* call = FakeCallAt(i);
    if (!call->Failed) continue;
    if (strcmp(call->Name, "CloseServiceHandle") != 0 && strcmp(call->Name, "RegCloseKey") != 0 &&
        strcmp(call->Name, "CloseHandle") != 0)
      continue;
    // A close that failed of itself (not by injection) was of no handle.
    REQUIRE(FakeHandleKindOf((const void*)(uintptr_t)call->Args[0]) != 0);
    FakeCloseHandleEntry((const void*)(uintptr_t)call->Args[0]);
  }
}

static bool SameWord(const std::string& text, const char* word) {
  return strcasecmp(text.c_str(), word) == 0 && text.size() == strlen(word);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  FakeReset();

  // The command line.
  static const char* const operations[] = {"install", "install16", "install32", "remove"};
  static const char* const options[] = {"lpt1", "lpt2", "lpt3", "lpt4", "lpt0", "lpt"};
  int argc = in.ConsumeIntegralInRange<int>(1, 4);
  std::vector<std::string> args;
  args.push_back("tavsetup");
  if (argc >= 2) args.push_back(FuzzWord(in, operations, 4));
  if (argc >= 3) args.push_back(FuzzWord(in, options, 6));
  if (argc >= 4) args.push_back(in.ConsumeRandomLengthString(40));
  // Arguments are C strings: they end at the first zero byte.
  for (std::string& arg : args) arg = std::string(arg.c_str());

  // The machine.
  static const char* const kit[] = {"tavapi16.dll", "tavbridge.dll", "tavapi32.dll", "tavport.sys"};
  for (const char* file : kit)
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0) FakeWriteFile(file, file);
  std::string windows = FuzzDirectory(in, "C:\\windows");
  std::string system = FuzzDirectory(in, "C:\\windows\\system32");
  FakeSetWindowsDirectory(windows.c_str());
  FakeSetSystemDirectory(system.c_str());
  static const char* const destinations[] = {
      "C:\\windows\\system\\tavapi16.dll", "C:\\windows\\system32\\tavbridge.dll",
      "C:\\windows\\system32\\tavapi32.dll", "C:\\windows\\system32\\drivers\\tavport.sys"};
  if (in.ConsumeIntegralInRange<int>(0, 3) == 0) FakeLockFile(in.PickValueInArray(destinations));
  bool existed = false;
  if (in.ConsumeIntegralInRange<int>(0, 2) == 0) {
    FakeAddService("tavport", in.ConsumeBool());
    existed = true;
  }
  if (in.ConsumeBool()) FakeSetStartedLinks(in.ConsumeIntegralInRange<int>(-1, 0x3FF));
  if (in.ConsumeBool()) FakeSetLinks(in.ConsumeIntegralInRange<unsigned>(0, 0xF));
  unsigned rules = in.ConsumeIntegralInRange<unsigned>(0, 3);
  for (unsigned i = 0; i < rules; i++) {
    const char* call = in.PickValueInArray(CALLS);
    unsigned nth = in.ConsumeIntegralInRange<unsigned>(1, 4);
    FakeFailCall(call, nth, FuzzError(in));
  }
  if (in.ConsumeBool())
    FakeFailNthPlatformCall(in.ConsumeIntegralInRange<unsigned>(1, 40), FuzzError(in));

  // The run, its console output captured.
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(NULL);
  unsigned start = FakeCallCount();
  char* buffer = NULL;
  size_t length = 0;
  FILE* console = stdout;
  FILE* captured = open_memstream(&buffer, &length);
  REQUIRE(captured != NULL);
  stdout = captured;
  int status = TavSetupMain(argc, argv.data());
  stdout = console;
  fclose(captured);
  std::string output(buffer, length);
  free(buffer);

  // No handle of any kind is left open.
  DropFailedCloses(start);
  REQUIRE(FakeOpenHandleCount(0) == 0);

  // A refused command line: the usage, the reason, nothing done.
  std::string usage;
  for (const char* line : USAGE_LINES) usage += line;
  bool knownOperation = false;
  for (const char* operation : operations)
    if (argc >= 2 && SameWord(args[1], operation)) knownOperation = true;
  bool knownOption = argc != 3 || SameWord(args[2], "lpt1") || SameWord(args[2], "lpt2") ||
                     SameWord(args[2], "lpt3");
  if (argc < 2) {
    REQUIRE(status == 1 && output == usage && FakeCallCount() == start);
    return 0;
  }
  if (!knownOperation) {
    REQUIRE(status == 1 && FakeCallCount() == start);
    REQUIRE(output ==
            usage + "'" + args[1] + "' is not 'remove' 'install' 'install16' or 'install32'");
    return 0;
  }
  if (!knownOption) {
    REQUIRE(status == 1 && FakeCallCount() == start);
    REQUIRE(output == usage + "'" + args[2] + "' is not a valid option");
    return 0;
  }

  std::vector<std::string> found;
  REQUIRE(SplitLines(output, Lines(windows, system), &found));
  REQUIRE(!found.empty());
  bool failed = false;
  for (const std::string& line : found) failed = failed || IsFailureLine(line);
  const FakeService* service = FakeFindService("tavport");

  // A failed lookup or library copy: status 1, and nothing after it.
  if (Has(found, "failure: GetWindowsDirectory") || Has(found, "failure: GetSystemDirectory")) {
    REQUIRE(status == 1 && found.size() == 1);
    REQUIRE(CallsSince(start, "CopyFileA") == 0 && CallsSince(start, "OpenSCManagerA") == 0);
    return 0;
  }
  if (Has(found, "Error copying DLL's")) {
    REQUIRE(status == 1 && found.back() == "Error copying DLL's\n");
    REQUIRE(CallsSince(start, "CreateServiceW") == 0 && CallsSince(start, "OpenServiceA") == 0);
    REQUIRE((service != NULL) == existed);
    return 0;
  }

  REQUIRE(status == 0 || status == 2);
  REQUIRE((status == 0) == !failed || SameWord(args[1], "remove"));
  if (SameWord(args[1], "remove")) {
    // The stop may fail (a driver not running); the deletion decides.
    REQUIRE((status == 0) == Has(found, "DeleteService SUCCESS"));
    if (status == 0) REQUIRE(service == NULL || service->MarkedForDelete);
    if (status != 0 && existed) REQUIRE(service != NULL && !service->MarkedForDelete);
    REQUIRE(CallsSince(start, "CopyFileA") == 0 && CallsSince(start, "CreateServiceW") == 0);
    return 0;
  }

  // An install.
  if (status == 0) {
    REQUIRE(service != NULL && service->Running && !service->MarkedForDelete);
    REQUIRE(service->ServiceType == SERVICE_KERNEL_DRIVER &&
            service->StartType == SERVICE_AUTO_START);
    REQUIRE(std::string(service->ImagePath) == system + "\\drivers\\tavport.sys");
    REQUIRE(SucceededSince(start, "CreateFileA"));
    DWORD option = argc == 3 ? (DWORD)(args[2][3] - '0') : 0;
    REQUIRE(FakeRegDword(PARAMETERS_KEY, "UseLpt", 99) == option);
    REQUIRE(FakeFileExists((system + "\\drivers\\tavport.sys").c_str()));
    bool api16 = !SameWord(args[1], "install32"), api32 = !SameWord(args[1], "install16");
    if (api16) REQUIRE(FakeFileExists((windows + "\\system\\tavapi16.dll").c_str()));
    if (api16) REQUIRE(FakeFileExists((windows + "\\system32\\tavbridge.dll").c_str()));
    if (api32) REQUIRE(FakeFileExists((windows + "\\system32\\tavapi32.dll").c_str()));
  } else {
    // The first failing step ends the install: it is the last line.
    REQUIRE(IsFailureLine(found.back()));
  }
  return 0;
}
