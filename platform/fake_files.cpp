// Fake files and directory lookups: Windows paths mapped under a temporary
// folder of this machine, so copies are real copies a test can read back.
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fake_system.h"

enum { HOST_PATH = 1024, LOCKED_FILES = 8 };

static char Root[HOST_PATH];
static char WindowsDirectory[400];
static char SystemDirectory[400];
static const char CURRENT_DIRECTORY[] = "C:\\kit";
static char Locked[LOCKED_FILES][FAKE_TEXT];
static unsigned LockedCount;

static void RemoveTree(const char* path) {
  DIR* dir = opendir(path);
  if (dir != 0) {
    struct dirent* entry;
    while ((entry = readdir(dir)) != 0) {
      if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
      char child[HOST_PATH + 256];
      snprintf(child, sizeof child, "%s/%s", path, entry->d_name);
      RemoveTree(child);
    }
    closedir(dir);
    rmdir(path);
  } else {
    unlink(path);
  }
}

static void RemoveRootAtExit(void) {
  if (Root[0] != 0) RemoveTree(Root);
}

// Host path of a Windows path: "C:\a\b" -> <root>/C/a/b; a bare name is
// taken in the current directory.
static void HostPath(const char* windowsPath, char* out, unsigned size) {
  char full[FAKE_TEXT * 2];
  if (strchr(windowsPath, '\\') == 0 && strchr(windowsPath, ':') == 0)
    snprintf(full, sizeof full, "%s\\%s", CURRENT_DIRECTORY, windowsPath);
  else
    snprintf(full, sizeof full, "%s", windowsPath);
  unsigned n = (unsigned)snprintf(out, size, "%s/", Root);
  for (const char* c = full; *c != 0 && n + 1 < size; c++) {
    if (*c == ':') continue;
    out[n++] = *c == '\\' ? '/' : *c;
  }
  out[n] = 0;
}

const char* FakeHostPath(const char* windowsPath) {
  static char path[HOST_PATH];
  HostPath(windowsPath, path, sizeof path);
  return path;
}

void FakeMakeDirectory(const char* windowsPath) {
  char path[HOST_PATH];
  HostPath(windowsPath, path, sizeof path);
  for (char* c = path + strlen(Root) + 1; *c != 0; c++) {
    if (*c != '/') continue;
    *c = 0;
    mkdir(path, 0700);
    *c = '/';
  }
  mkdir(path, 0700);
}

void FakeResetFiles(void) {
  if (Root[0] == 0) {
    const char* base = getenv("TMPDIR");
    if (base == 0 || base[0] == 0) base = P_tmpdir;
    snprintf(Root, sizeof Root, "%s/tavfake.XXXXXX", base);
    if (mkdtemp(Root) == 0) {
      perror("fake files: mkdtemp");
      abort();
    }
    atexit(RemoveRootAtExit);
  } else {
    DIR* dir = opendir(Root);
    if (dir != 0) {
      struct dirent* entry;
      while ((entry = readdir(dir)) != 0) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        char child[HOST_PATH + 256];
        snprintf(child, sizeof child, "%s/%s", Root, entry->d_name);
        RemoveTree(child);
      }
      closedir(dir);
    }
  }
  strcpy(WindowsDirectory, "C:\\windows");
  strcpy(SystemDirectory, "C:\\windows\\system32");
  FakeMakeDirectory("C:\\windows\\system");
  FakeMakeDirectory("C:\\windows\\system32\\drivers");
  FakeMakeDirectory(CURRENT_DIRECTORY);
  LockedCount = 0;
}

void FakeSetWindowsDirectory(const char* path) {
  snprintf(WindowsDirectory, sizeof WindowsDirectory, "%s", path);
}

void FakeSetSystemDirectory(const char* path) {
  snprintf(SystemDirectory, sizeof SystemDirectory, "%s", path);
}

void FakeWriteFile(const char* windowsPath, const char* content) {
  FILE* file = fopen(FakeHostPath(windowsPath), "wb");
  if (file == 0) {
    perror("fake files: write");
    abort();
  }
  fputs(content, file);
  fclose(file);
}

int FakeReadFile(const char* windowsPath, char* to, unsigned size) {
  FILE* file = fopen(FakeHostPath(windowsPath), "rb");
  if (file == 0) return -1;
  size_t length = fread(to, 1, size - 1, file);
  to[length] = 0;
  fclose(file);
  return (int)length;
}

bool FakeFileExists(const char* windowsPath) {
  struct stat info;
  return stat(FakeHostPath(windowsPath), &info) == 0 && S_ISREG(info.st_mode);
}

void FakeLockFile(const char* windowsPath) {
  if (LockedCount < LOCKED_FILES) FakeCopyText(Locked[LockedCount++], windowsPath);
}

static bool IsLocked(const char* windowsPath) {
  for (unsigned i = 0; i < LockedCount; i++)
    if (strcasecmp(Locked[i], windowsPath) == 0) return true;
  return false;
}

BOOL CopyFileA(LPCSTR existing, LPCSTR destination, BOOL failIfExists) {
  FakeCall* call = FakeLogCall("CopyFileA");
  FakeCopyText(call->Text, existing);
  FakeCopyText(call->Text2, destination);
  call->TextNull = existing == 0;
  call->Text2Null = destination == 0;
  call->Args[0] = (uint64_t)failIfExists;
  DWORD error;
  if (FakeInjectedFailure("CopyFileA", &error)) {
    call->Failed = true;
    return FALSE;
  }
  if (existing == 0 || destination == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    call->Failed = true;
    return FALSE;
  }
  char from[HOST_PATH], to[HOST_PATH];
  HostPath(existing, from, sizeof from);
  HostPath(destination, to, sizeof to);
  struct stat info;
  DWORD failure = 0;
  if (stat(from, &info) != 0 || !S_ISREG(info.st_mode)) {
    failure = ERROR_FILE_NOT_FOUND;
  } else if (stat(to, &info) == 0 && failIfExists) {
    failure = 80;  // ERROR_FILE_EXISTS
  } else if (IsLocked(destination)) {
    failure = ERROR_SHARING_VIOLATION;
  }
  FILE* in = 0;
  FILE* out = 0;
  if (failure == 0) {
    in = fopen(from, "rb");
    out = in ? fopen(to, "wb") : 0;
    if (in == 0) failure = ERROR_ACCESS_DENIED;
    else if (out == 0) failure = errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
  }
  if (failure == 0) {
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, in)) > 0) fwrite(block, 1, n, out);
  }
  if (in) fclose(in);
  if (out) fclose(out);
  if (failure != 0) {
    SetLastError(failure);
    call->Failed = true;
    return FALSE;
  }
  return TRUE;
}

// The real lookups: the length without the NUL when it fits, else the
// size needed (with the NUL) and nothing written; 0 on failure.
static UINT LookUp(const char* name, const char* answer, LPSTR buffer, UINT size) {
  FakeCall* call = FakeLogCall(name);
  call->Args[0] = size;
  DWORD error;
  if (FakeInjectedFailure(name, &error)) {
    call->Failed = true;
    return 0;
  }
  UINT length = (UINT)strlen(answer);
  if (length + 1 > size) return length + 1;
  memcpy(buffer, answer, length + 1);
  FakeCopyText(call->Text, answer);
  return length;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  return LookUp("GetWindowsDirectoryA", WindowsDirectory, buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  return LookUp("GetSystemDirectoryA", SystemDirectory, buffer, size);
}
