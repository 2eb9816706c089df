// Fake registry: a tree of keys under HKEY_LOCAL_MACHINE in fixed tables.
// A key handle names its key by path, so a handle to a key deleted since
// it was opened is recognised (ERROR_KEY_DELETED), as on Windows.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "fake_system.h"

enum { KEYS = 64, VALUES = 128, KEY_PATH = 256, VALUE_DATA = 300 };
enum { ERROR_KEY_DELETED = 1018 };

struct Key {
  bool Used;
  char Path[KEY_PATH];
};
struct Value {
  bool Used;
  unsigned KeyIndex;
  char Name[64];
  DWORD Type;
  BYTE Data[VALUE_DATA];
  unsigned Size;
};
static Key Keys[KEYS];
static Value Values[VALUES];

void FakeResetRegistry(void) {
  memset(Keys, 0, sizeof Keys);
  memset(Values, 0, sizeof Values);
  FakeRegCreateKey("System\\CurrentControlSet\\Services");
}

static int FindKey(const char* path) {
  for (unsigned i = 0; i < KEYS; i++)
    if (Keys[i].Used && strcasecmp(Keys[i].Path, path) == 0) return (int)i;
  return -1;
}

static int AddKey(const char* path) {
  int found = FindKey(path);
  if (found >= 0) return found;
  for (unsigned i = 0; i < KEYS; i++) {
    if (Keys[i].Used) continue;
    Keys[i].Used = true;
    strncpy(Keys[i].Path, path, KEY_PATH - 1);
    Keys[i].Path[KEY_PATH - 1] = 0;
    return (int)i;
  }
  return -1;
}

bool FakeRegKeyExists(const char* path) { return FindKey(path) >= 0; }

void FakeRegCreateKey(const char* path) {
  char level[KEY_PATH];
  strncpy(level, path, KEY_PATH - 1);
  level[KEY_PATH - 1] = 0;
  for (char* c = level; *c != 0; c++) {
    if (*c != '\\') continue;
    *c = 0;
    AddKey(level);
    *c = '\\';
  }
  AddKey(level);
}

void FakeRegDeleteTree(const char* path) {
  size_t length = strlen(path);
  for (unsigned i = 0; i < KEYS; i++) {
    if (!Keys[i].Used) continue;
    const char* p = Keys[i].Path;
    if (strncasecmp(p, path, length) != 0 || (p[length] != 0 && p[length] != '\\')) continue;
    Keys[i].Used = false;
    for (unsigned v = 0; v < VALUES; v++)
      if (Values[v].Used && Values[v].KeyIndex == i) Values[v].Used = false;
  }
}

static Value* FindValue(int key, const char* name) {
  for (unsigned v = 0; v < VALUES; v++)
    if (Values[v].Used && Values[v].KeyIndex == (unsigned)key &&
        strcasecmp(Values[v].Name, name) == 0)
      return &Values[v];
  return 0;
}

static bool SetValue(int key, const char* name, DWORD type, const void* data, unsigned size) {
  Value* value = FindValue(key, name);
  for (unsigned v = 0; value == 0 && v < VALUES; v++)
    if (!Values[v].Used) value = &Values[v];
  if (value == 0 || size > VALUE_DATA) return false;
  value->Used = true;
  value->KeyIndex = (unsigned)key;
  strncpy(value->Name, name, sizeof value->Name - 1);
  value->Name[sizeof value->Name - 1] = 0;
  value->Type = type;
  if (size) memcpy(value->Data, data, size);
  value->Size = size;
  return true;
}

void FakeRegSetValue(const char* path, const char* name, DWORD type, const void* data,
                     unsigned size) {
  FakeRegCreateKey(path);
  SetValue(FindKey(path), name, type, data, size);
}

bool FakeRegGetValue(const char* path, const char* name, DWORD* type, void* data,
                     unsigned* size) {
  int key = FindKey(path);
  Value* value = key < 0 ? 0 : FindValue(key, name);
  if (value == 0) return false;
  if (type) *type = value->Type;
  if (data && size) memcpy(data, value->Data, value->Size < *size ? value->Size : *size);
  if (size) *size = value->Size;
  return true;
}

DWORD FakeRegDword(const char* path, const char* name, DWORD missing) {
  DWORD type = 0, data = 0;
  unsigned size = sizeof data;
  if (!FakeRegGetValue(path, name, &type, &data, &size) || type != REG_DWORD || size != 4)
    return missing;
  return data;
}

// The path that a key handle and a subkey name; false for a handle that
// is neither the root nor an open key.
static bool JoinPath(HKEY key, const char* subKey, char* out) {
  const char* base;
  if (key == HKEY_LOCAL_MACHINE)
    base = "";
  else if (FakeHandleKindOf(key) == FAKE_REGISTRY_KEY)
    base = FakeHandleName(key);
  else
    return false;
  if (subKey == 0) subKey = "";
  if (base[0] != 0 && subKey[0] != 0)
    snprintf(out, KEY_PATH, "%s\\%s", base, subKey);
  else
    snprintf(out, KEY_PATH, "%s%s", base, subKey);
  return true;
}

// Registry calls return their error code; the last error is left alone.
static LONG Fail(FakeCall* call, LONG code) {
  call->Failed = true;
  return code;
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  FakeCall* call = FakeLogCall("RegOpenKeyExA");
  FakeCopyText(call->Text, subKey);
  call->Args[0] = (uintptr_t)key;
  call->Args[1] = options;
  call->Args[2] = access;
  DWORD error;
  if (FakeInjectedFailure("RegOpenKeyExA", &error)) return Fail(call, (LONG)error);
  char path[KEY_PATH];
  if (!JoinPath(key, subKey, path)) return Fail(call, ERROR_INVALID_HANDLE);
  if (FindKey(path) < 0) return Fail(call, ERROR_FILE_NOT_FOUND);
  *result = (HKEY)FakeOpenHandle(FAKE_REGISTRY_KEY, 0, path);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition) {
  FakeCall* call = FakeLogCall("RegCreateKeyExA");
  FakeCopyText(call->Text, subKey);
  FakeCopyText(call->Text2, keyClass);
  call->Text2Null = keyClass == 0;
  call->Args[0] = (uintptr_t)key;
  call->Args[1] = reserved;
  call->Args[2] = options;
  call->Args[3] = access;
  call->Args[4] = (uintptr_t)security;
  DWORD error;
  if (FakeInjectedFailure("RegCreateKeyExA", &error)) return Fail(call, (LONG)error);
  char path[KEY_PATH];
  if (!JoinPath(key, subKey, path)) return Fail(call, ERROR_INVALID_HANDLE);
  if (key != HKEY_LOCAL_MACHINE && FindKey(FakeHandleName(key)) < 0)
    return Fail(call, ERROR_KEY_DELETED);
  bool existed = FindKey(path) >= 0;
  FakeRegCreateKey(path);
  if (FindKey(path) < 0) return Fail(call, ERROR_NOT_ENOUGH_MEMORY);
  *result = (HKEY)FakeOpenHandle(FAKE_REGISTRY_KEY, 0, path);
  if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size) {
  FakeCall* call = FakeLogCall("RegSetValueExA");
  FakeCopyText(call->Text, FakeHandleName(key));
  FakeCopyText(call->Text2, valueName);
  call->Args[0] = (uintptr_t)key;
  call->Args[1] = reserved;
  call->Args[2] = type;
  call->Args[3] = size;
  call->DataLength = size;
  if (data) memcpy(call->Data, data, size < (DWORD)FAKE_DATA ? size : (DWORD)FAKE_DATA);
  DWORD error;
  if (FakeInjectedFailure("RegSetValueExA", &error)) return Fail(call, (LONG)error);
  if (FakeHandleKindOf(key) != FAKE_REGISTRY_KEY) return Fail(call, ERROR_INVALID_HANDLE);
  int index = FindKey(FakeHandleName(key));
  if (index < 0) return Fail(call, ERROR_KEY_DELETED);
  if (!SetValue(index, valueName ? valueName : "", type, data, size))
    return Fail(call, ERROR_NOT_ENOUGH_MEMORY);
  return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY key) {
  FakeCall* call = FakeLogCall("RegFlushKey");
  FakeCopyText(call->Text, FakeHandleName(key));
  call->Args[0] = (uintptr_t)key;
  DWORD error;
  if (FakeInjectedFailure("RegFlushKey", &error)) return Fail(call, (LONG)error);
  if (FakeHandleKindOf(key) != FAKE_REGISTRY_KEY) return Fail(call, ERROR_INVALID_HANDLE);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  FakeCall* call = FakeLogCall("RegCloseKey");
  FakeCopyText(call->Text, FakeHandleName(key));
  call->Args[0] = (uintptr_t)key;
  DWORD error;
  if (FakeInjectedFailure("RegCloseKey", &error)) return Fail(call, (LONG)error);
  if (FakeHandleKindOf(key) != FAKE_REGISTRY_KEY) return Fail(call, ERROR_INVALID_HANDLE);
  FakeCloseHandleEntry(key);
  return ERROR_SUCCESS;
}
