// The services of the virtual DOS machine (ntvdm.exe) that the bridge uses,
// declared here in our own words.
//
// On Windows they are imported from ntvdm.exe by name (see ntvdm.def); on
// the host build the fake platform provides them (platform/fake_ntvdm.cpp)
// over simulated registers and 16-bit memory.
#ifndef TAV_NTVDM_H
#define TAV_NTVDM_H

#include "winapi.h"

#ifdef __cplusplus
extern "C" {
#endif

// Registers of the 16-bit program whose call is being served; each getter
// gives the 16-bit value, zero-extended.
USHORT WINAPI getBX(void);
USHORT WINAPI getCX(void);
USHORT WINAPI getDX(void);
USHORT WINAPI getSI(void);
USHORT WINAPI getDI(void);
USHORT WINAPI getES(void);
void WINAPI setAX(USHORT value);
void WINAPI setCX(USHORT value);
// 1 sets the carry flag, 0 clears it.
void WINAPI setCF(ULONG value);

// Flat address of 16-bit memory: `address` is selector:offset (selector in
// the high half), `size` the length meant, `protectedMode` TRUE for a
// selector, FALSE for a real-mode segment. NULL when it cannot be translated.
PVOID WINAPI MGetVdmPointer(ULONG address, ULONG size, BOOL protectedMode);

#ifdef __cplusplus
}
#endif

#endif  // TAV_NTVDM_H
