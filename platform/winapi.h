// The one Win32 header of the kit.
//
// On Windows it is <windows.h>. Elsewhere (the host build) it declares, in
// our own words, just the types, constants and functions that the kit
// uses; the host build links them from the fake platform in this folder.
#ifndef TAV_WINAPI_H
#define TAV_WINAPI_H

#ifdef _WIN32

#include <windows.h>

#else  // host build

#include <stddef.h>
#include <stdint.h>

// Calling conventions mean nothing on the host; the Wine tests check them.
#define WINAPI
#define WINAPIV
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned short USHORT;
typedef unsigned int UINT;
typedef unsigned int DWORD;   // 32 bits, as on Windows
typedef unsigned int ULONG;
typedef int LONG;
typedef char CHAR;
typedef uint16_t WCHAR;
typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* PBYTE;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef DWORD* LPDWORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* HANDLE;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef struct SC_HANDLE__* SC_HANDLE;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef struct SecurityAttributes* LPSECURITY_ATTRIBUTES;
typedef struct Overlapped* LPOVERLAPPED;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x80

#define MB_OK 0x0000
#define MB_ICONEXCLAMATION 0x0030
#define MB_TASKMODAL 0x2000
#define IDOK 1

// Error codes, as Windows numbers them.
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MORE_DATA 234
#define ERROR_INVALID_FUNCTION 1
#define ERROR_SERVICE_REQUEST_TIMEOUT 1053
#define ERROR_SERVICE_ALREADY_RUNNING 1056
#define ERROR_INVALID_SERVICE_CONTROL 1052
#define ERROR_SERVICE_DISABLED 1058
#define ERROR_SERVICE_DOES_NOT_EXIST 1060
#define ERROR_SERVICE_CANNOT_ACCEPT_CTRL 1061
#define ERROR_SERVICE_NOT_ACTIVE 1062
#define ERROR_SERVICE_MARKED_FOR_DELETE 1072
#define ERROR_SERVICE_EXISTS 1073
#define ERROR_SERVICE_DEPENDENCY_FAIL 1068
#define ERROR_SERVICE_DEPENDENCY_DELETED 1075
#define ERROR_DLL_INIT_FAILED 1114

// Service control manager.
#define SC_MANAGER_ALL_ACCESS 0xF003F
#define SERVICE_ALL_ACCESS 0xF01FF
#define SERVICE_KERNEL_DRIVER 0x1
#define SERVICE_AUTO_START 0x2
#define SERVICE_DEMAND_START 0x3
#define SERVICE_ERROR_NORMAL 0x1
#define SERVICE_CONTROL_STOP 0x1
#define SERVICE_STOPPED 0x1
#define SERVICE_START_PENDING 0x2
#define SERVICE_STOP_PENDING 0x3
#define SERVICE_RUNNING 0x4

typedef struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

// Registry.
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_ALL_ACCESS 0xF003F
#define REG_OPTION_NON_VOLATILE 0
#define REG_SZ 1
#define REG_DWORD 4
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

// File and device I/O (fake_device.cpp).
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inLength, LPVOID out,
                     DWORD outLength, LPDWORD bytesReturned, LPOVERLAPPED overlapped);
DWORD GetLastError(void);
void SetLastError(DWORD error);

// User interface (fake_ui.cpp).
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
int wsprintfA(LPSTR out, LPCSTR format, ...);

// Files and directories (fake_files.cpp).
BOOL CopyFileA(LPCSTR existing, LPCSTR destination, BOOL failIfExists);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);

// Service control manager (fake_services.cpp).
SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access);
SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl,
                         LPCSTR imagePath, LPCSTR loadOrderGroup, LPDWORD tagId,
                         LPCSTR dependencies, LPCSTR account, LPCSTR password);
SC_HANDLE CreateServiceW(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl,
                         LPCWSTR imagePath, LPCWSTR loadOrderGroup, LPDWORD tagId,
                         LPCWSTR dependencies, LPCWSTR account, LPCWSTR password);
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access);
BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv);
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
BOOL DeleteService(SC_HANDLE service);
BOOL CloseServiceHandle(SC_HANDLE handle);

// Registry (fake_registry.cpp).
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegFlushKey(HKEY key);
LONG RegCloseKey(HKEY key);

#endif  // _WIN32

#endif  // TAV_WINAPI_H
