// tavsetup_registry: prints the tavport service's key as the installer and
// the service control manager left it, one value a line, in a fixed order
// and a form the installer's Wine tests compare as text:
//   Type REG_DWORD 1
//   ImagePath text C:\windows\system32\drivers\tavport.sys
//   DependOnService REG_MULTI_SZ 18 bytes "Parport\0\0"
//   Parameters\UseLpt REG_DWORD 1
// Values are read with the wide calls, so list data shows exactly what was
// stored. "no service key" when the service's key does not exist.
#include <stdio.h>
#include <windows.h>

static const wchar_t SERVICE_KEY[] = L"System\\CurrentControlSet\\Services\\tavport";

static void PrintValue(HKEY key, const wchar_t* name, const char* label) {
  BYTE data[1024];
  DWORD type = 0, size = sizeof data;
  LONG error = RegQueryValueExW(key, name, NULL, &type, data, &size);
  if (error != ERROR_SUCCESS) {
    printf("%s missing\n", label);
    return;
  }
  if (type == REG_DWORD && size == 4) {
    printf("%s REG_DWORD %lu\n", label, *(DWORD*)data);
  } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
    printf("%s text ", label);
    for (const wchar_t* c = (const wchar_t*)data; *c; c++)
      if (*c < 0x80) putchar((char)*c); else printf("\\u%04x", (unsigned)*c);
    putchar('\n');
  } else {
    printf("%s %s %lu bytes \"", label, type == REG_MULTI_SZ ? "REG_MULTI_SZ" : "other-type",
           size);
    const wchar_t* c = (const wchar_t*)data;
    for (DWORD i = 0; i < size / 2; i++) {
      if (c[i] == 0) printf("\\0");
      else if (c[i] >= 0x20 && c[i] < 0x7f) putchar((char)c[i]);
      else printf("\\u%04x", (unsigned)c[i]);
    }
    printf("\"\n");
  }
}

int main() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SERVICE_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    printf("no service key\n");
    return 0;
  }
  PrintValue(key, L"Type", "Type");
  PrintValue(key, L"Start", "Start");
  PrintValue(key, L"ErrorControl", "ErrorControl");
  PrintValue(key, L"ImagePath", "ImagePath");
  PrintValue(key, L"DisplayName", "DisplayName");
  PrintValue(key, L"Group", "Group");
  PrintValue(key, L"Tag", "Tag");
  PrintValue(key, L"DependOnService", "DependOnService");
  HKEY parameters;
  if (RegOpenKeyExW(key, L"Parameters", 0, KEY_READ, &parameters) == ERROR_SUCCESS) {
    PrintValue(parameters, L"UseLpt", "Parameters\\UseLpt");
    RegCloseKey(parameters);
  } else {
    printf("Parameters missing\n");
  }
  RegCloseKey(key);
  fflush(stdout);
  return 0;
}
