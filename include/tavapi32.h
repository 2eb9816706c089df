/* tavapi32.h - the TAV-8 instrument access library for 32-bit programs.
 *
 * Call TavCommInit(1, 0) once, then the command functions; TavClose at
 * the end (unloading the library closes the link too).
 *
 * Results. TavOpen, TavCommInit and TavClose return 0 for success and 1
 * for any failure. Command functions return the status of their exchange
 * with the instrument:
 *     0         success
 *     1 .. 255  an error reported by the instrument (10 "Bad channel number",
 *               12 "Bad formula", 14 "Table full", ...)
 *     -1        no reply: the device call failed (no link open, link lost),
 *               or the library refused the call before sending anything
 *               (see "Refused calls" below).
 * While messages are on (TavCommInit, TavMsgBox(1)) a failed exchange is
 * shown in a message box in the instrument's wording.
 *
 * Limits and refused calls. A command that cannot be sent exactly as the
 * caller gave it is refused: it returns -1, sends nothing, shows no
 * message and leaves the caller's storage untouched. That is the case for
 *   - a formula longer than TAV_MAX_FORMULA (253) characters;
 *   - TavReadDirect with a count below 0 or above TAV_MAX_DIRECT (255);
 *   - TavReadDirectCopy with a count below 0 or above TAV_MAX_DIRECT_COPY
 *     (133: it copies out 2 x count bytes of the reply);
 *   - a NULL address that the call would read from or write to (formula,
 *     value, storage, source with a count above 0, destination with a
 *     count above 0, address variable).
 * TavDLL and TavFirmware with a NULL variable store nothing and return 0.
 *
 * Addresses handed out by TavReadFormula, TavReadDirect and TavMemory
 * point into the library's reply buffer: valid until the next command of
 * any thread, never freed by the caller. A formula text read there always
 * ends inside the library's storage.
 *
 * Calls into the library must not overlap; it has no locks.
 */
#ifndef TAVAPI32_H
#define TAVAPI32_H

#ifdef _WIN32
#define TAVAPI __stdcall
#else
#define TAVAPI
#endif

#define TAV_MAX_FORMULA 253
#define TAV_MAX_DIRECT 255
#define TAV_MAX_DIRECT_COPY 133

#ifdef __cplusplus
extern "C" {
#endif

/* Link */
int TAVAPI TavOpen(int link);
int TAVAPI TavCommInit(int link, int reserved);
int TAVAPI TavClose(void);
void TAVAPI TavMsgBox(int on);

/* Channels, formulas, readings */
int TAVAPI TavDefineChannel(int channel, const char* formula);
int TAVAPI TavReadFormula(int channel, char** formula);
int TAVAPI TavClearChannel(int channel);
int TAVAPI TavClearAllChannels(void);
int TAVAPI TavReadChannel(int channel, void* value);
int TAVAPI TavReadLvdt(int channel, void* value);
int TAVAPI TavReadAnalog(int channel, void* value);
int TAVAPI TavResetMM(void);
int TAVAPI TavStartScan(void);
int TAVAPI TavStopScan(void);
int TAVAPI TavReadDirect(int count, const void* source, unsigned char** reply);
int TAVAPI TavReadDirectCopy(int count, const void* source, void* destination);
int TAVAPI TavMemory(int firstWord, int secondWord, unsigned char** reply);
int TAVAPI TavDLL(char** version);
int TAVAPI TavFirmware(char** version);

/* Calibration values: 4 bytes each, copied byte for byte */
int TAVAPI TavSetTfsv(int channel, const void* value);
int TAVAPI TavReadTfsv(int channel, void* value);
int TAVAPI TavSetAfsv(int channel, const void* value);
int TAVAPI TavReadAfsv(int channel, void* value);
int TAVAPI TavSetTzero(int channel, const void* value);
int TAVAPI TavReadTzero(int channel, void* value);
int TAVAPI TavSetAzero(int channel, const void* value);
int TAVAPI TavReadAzero(int channel, void* value);
int TAVAPI TavSetCzero(int channel, const void* value);
int TAVAPI TavReadCzero(int channel, void* value);
int TAVAPI TavSetCscale(int channel, const void* value);
int TAVAPI TavReadCscale(int channel, void* value);

/* Acquisition settings */
int TAVAPI TavSetScanTime(int value);
int TAVAPI TavSet_muxTime(int value);
int TAVAPI TavSetAdcAvg(int value);
int TAVAPI TavSetRunAvg(int value);
int TAVAPI TavSetFpIn(int value);
int TAVAPI TavSetFpOut(int value);
int TAVAPI TavSetFpPrec(int value);
int TAVAPI TavGetFpIn(unsigned short* value);
int TAVAPI TavGetFpOut(unsigned short* value);
int TAVAPI TavGetFpPrec(unsigned short* value);

#ifdef __cplusplus
}
#endif

#endif /* TAVAPI32_H */
