// The simulated TAV-8: what the instrument does with each request.
//
// ReplyFrame bytes 0 and 2 are the link's (link.cpp): byte 0 is the start
// mark ':' and byte 2 the payload length (low 8 bits). This file decides
// byte 1, the status, and the payload.
//
// The model, small but coherent:
//   - Channels 1 to 32. Up to 16 of them hold a formula at a time, with
//     512 characters of formula text in all; a 17th channel gets 14
//     "Table full", text beyond the 512 characters 21 "Memory full".
//     Redefining a channel replaces its formula in place.
//   - Formula: terms joined by '+' or '-', at most 8 terms, spaces
//     ignored. A term is a whole number (micrometres, at most 1000000),
//     a probe P1..P8, another channel C1..C32, or GOR(...) / LOR(...),
//     the largest / smallest of a set of two or more distinct probes.
//     Letters are not case sensitive. A formula may not reach its own
//     channel, directly or through others (20).
//   - Scanning: started by CMD_START_SCAN, stopped by CMD_STOP_SCAN and
//     CMD_RESET_MM. Readings need a running scan (status 4 otherwise).
//     Every reading answered advances the sweep by one, so the n-th
//     reading after the start is taken at sweep n: probe and LVDT p read
//     SIM_PROBE_VALUE(p, n), analog input a SIM_ANALOG_VALUE(a, n), a
//     channel its formula over the probes at that sweep.
//   - Six 4-byte calibration values per channel (zero at power on) and
//     the byte settings FpIn, FpOut, FpPrec read back what was set; the
//     16-bit settings are taken as they come.
//   - CMD_MEMORY reads `count` (second word) bytes from `address` (first
//     word) of a 4 KB memory whose byte at a is (a ^ (a >> 8)) & 0xFF.
//   - CMD_READ_DIRECT echoes each raw byte followed by its complement, so
//     the reply holds 2 x n bytes (n at most 133).
//
// Freestanding: no C library, fixed-size tables only; it runs inside the
// simulated driver.
#include "simulator.h"

// Command codes, as the library sends them.
enum Command {
  C_MEMORY = 1,
  C_READ_DIRECT = 2,
  C_DEFINE_CHANNEL = 3,
  C_READ_CHANNEL = 4,
  C_CLEAR_ALL_CHANNELS = 5,
  C_CLEAR_CHANNEL = 6,
  C_START_SCAN = 7,
  C_STOP_SCAN = 8,
  C_RESET_MM = 9,
  C_SET_SCAN_TIME = 10,
  C_READ_LVDT = 11,
  C_READ_ANALOG = 12,
  C_READ_FORMULA = 13,
  C_SET_TFSV = 21,
  C_READ_TFSV = 22,
  C_SET_AFSV = 23,
  C_READ_AFSV = 24,
  C_SET_TZERO = 32,
  C_READ_TZERO = 33,
  C_SET_AZERO = 42,
  C_READ_AZERO = 43,
  C_SET_CZERO = 52,
  C_READ_CZERO = 53,
  C_SET_CSCALE = 54,
  C_READ_CSCALE = 55,
  C_SET_FP_IN = 80,
  C_SET_FP_OUT = 81,
  C_SET_MUX_TIME = 82,
  C_SET_FP_PREC = 83,
  C_GET_FP_IN = 84,
  C_GET_FP_OUT = 85,
  C_GET_FP_PREC = 87,
  C_SET_ADC_AVG = 90,
  C_SET_RUN_AVG = 91,
};

#define CAL_VALUES 6
#define FORMULA_TEXT_MAX 254  // the longest text a 255-byte payload can carry

struct FormulaSlot {
  uint8_t Channel;  // 0 when the slot is free
  uint8_t Length;
  char Text[FORMULA_TEXT_MAX];
};

static FormulaSlot Slots[SIM_FORMULA_SLOTS];
static uint8_t Calibration[SIM_CHANNELS + 1][CAL_VALUES][4];
static int Scanning;
static uint32_t Sweep;
static uint8_t FpIn, FpOut, FpPrec;
static uint16_t ScanTime, MuxTime, AdcAvg, RunAvg;

void InstrumentPowerOn(void) {
  for (unsigned i = 0; i < SIM_FORMULA_SLOTS; i++) Slots[i].Channel = 0;
  for (unsigned c = 0; c <= SIM_CHANNELS; c++)
    for (unsigned v = 0; v < CAL_VALUES; v++)
      for (unsigned b = 0; b < 4; b++) Calibration[c][v][b] = 0;
  Scanning = 0;
  Sweep = 0;
  FpIn = 0;
  FpOut = 0;
  FpPrec = 3;
  ScanTime = 100;
  MuxTime = 10;
  AdcAvg = 1;
  RunAvg = 1;
}

uint8_t InstrumentInitialize(const uint8_t*, uint32_t) { return SIM_STATUS_OK; }

static int ChannelInRange(uint32_t channel) { return channel >= 1 && channel <= SIM_CHANNELS; }

static FormulaSlot* SlotOf(uint32_t channel) {
  for (unsigned i = 0; i < SIM_FORMULA_SLOTS; i++)
    if (Slots[i].Channel != 0 && Slots[i].Channel == channel) return &Slots[i];
  return 0;
}

// --- Formulas ------------------------------------------------------------

static int IsDigit(char c) { return c >= '0' && c <= '9'; }
static int IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
static char Upper(char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c; }

// A walk over one formula text. With Evaluate set it also computes the
// value at sweep Sweep; it always collects the channels referred to.
struct FormulaWalk {
  const char* Text;
  uint32_t Length;
  uint32_t At;
  int Evaluate;
  uint32_t Depth;
  uint32_t References;  // bit c-1 for channel c
  int32_t Value;
};

static int Evaluate(uint32_t channel, uint32_t depth, int32_t* value);

static void SkipSpaces(FormulaWalk* w) {
  while (w->At < w->Length && w->Text[w->At] == ' ') w->At++;
}

// Reads an unsigned decimal number; 0 when no digit is there.
static int ReadNumber(FormulaWalk* w, uint32_t* number) {
  if (w->At >= w->Length || !IsDigit(w->Text[w->At])) return 0;
  uint32_t n = 0;
  while (w->At < w->Length && IsDigit(w->Text[w->At])) {
    if (n <= 10000000) n = n * 10 + (uint32_t)(w->Text[w->At] - '0');
    w->At++;
  }
  *number = n;
  return 1;
}

// A probe number right after 'P': 1 to SIM_PROBES, else 15.
static int ReadProbe(FormulaWalk* w, uint32_t* probe) {
  if (!ReadNumber(w, probe) || *probe < 1 || *probe > SIM_PROBES) return SIM_STATUS_BAD_PROBE;
  if (w->At < w->Length && IsLetter(w->Text[w->At])) return SIM_STATUS_BAD_PROBE;
  return SIM_STATUS_OK;
}

// The set of GOR(...) or LOR(...), from just behind the '('.
static int ReadSet(FormulaWalk* w, int largest, int32_t* value) {
  uint32_t members = 0;
  uint32_t seen = 0;
  int32_t best = 0;
  for (;;) {
    SkipSpaces(w);
    if (w->At >= w->Length) return SIM_STATUS_UNBALANCED_FORMULA;
    if (Upper(w->Text[w->At]) != 'P') return SIM_STATUS_BAD_SET;
    w->At++;
    uint32_t probe;
    int status = ReadProbe(w, &probe);
    if (status != SIM_STATUS_OK) return status;
    if (seen & (1u << probe)) return SIM_STATUS_BAD_SET;
    seen |= 1u << probe;
    int32_t reading = SIM_PROBE_VALUE(probe, Sweep);
    if (members == 0 || (largest ? reading > best : reading < best)) best = reading;
    members++;
    SkipSpaces(w);
    if (w->At >= w->Length) return SIM_STATUS_UNBALANCED_FORMULA;
    char c = w->Text[w->At++];
    if (c == ')') break;
    if (c != ',') return SIM_STATUS_BAD_SET;
  }
  if (members < 2) return SIM_STATUS_BAD_SET;
  *value = best;
  return SIM_STATUS_OK;
}

static int ReadTerm(FormulaWalk* w, int32_t* value) {
  SkipSpaces(w);
  if (w->At >= w->Length) return SIM_STATUS_BAD_FORMULA;
  char c = w->Text[w->At];
  if (IsDigit(c)) {
    uint32_t number;
    ReadNumber(w, &number);
    if (number > 1000000) return SIM_STATUS_BAD_NUMBER;
    if (w->At < w->Length && (IsLetter(w->Text[w->At]) || w->Text[w->At] == '.'))
      return SIM_STATUS_BAD_NUMBER;
    *value = (int32_t)number;
    return SIM_STATUS_OK;
  }
  if (c == '(' || c == ')') return SIM_STATUS_UNBALANCED_FORMULA;
  if (c == '+' || c == '-') return SIM_STATUS_BAD_FORMULA;
  if (!IsLetter(c)) return SIM_STATUS_BAD_SYMBOL;

  uint32_t start = w->At;
  while (w->At < w->Length && IsLetter(w->Text[w->At])) w->At++;
  uint32_t letters = w->At - start;
  char first = Upper(w->Text[start]);
  if (letters == 1 && first == 'P') {
    uint32_t probe;
    int status = ReadProbe(w, &probe);
    if (status == SIM_STATUS_OK) *value = SIM_PROBE_VALUE(probe, Sweep);
    return status;
  }
  if (letters == 1 && first == 'C') {
    uint32_t channel;
    if (!ReadNumber(w, &channel) || !ChannelInRange(channel)) return SIM_STATUS_BAD_CHANNEL;
    w->References |= 1u << (channel - 1);
    *value = 0;
    if (w->Evaluate) return Evaluate(channel, w->Depth + 1, value);
    return SIM_STATUS_OK;
  }
  if (letters == 3 && Upper(w->Text[start + 1]) == 'O' && Upper(w->Text[start + 2]) == 'R' &&
      (first == 'G' || first == 'L')) {
    SkipSpaces(w);
    if (w->At >= w->Length || w->Text[w->At] != '(') return SIM_STATUS_BAD_FORMULA;
    w->At++;
    return ReadSet(w, first == 'G', value);
  }
  return SIM_STATUS_BAD_SYMBOL;
}

static int WalkFormula(FormulaWalk* w) {
  uint32_t terms = 0;
  int32_t total = 0;
  int sign = 1;
  for (;;) {
    int32_t value = 0;
    int status = ReadTerm(w, &value);
    if (status != SIM_STATUS_OK) return status;
    if (++terms > SIM_FORMULA_TERMS) return SIM_STATUS_TOO_COMPLEX;
    total = (int32_t)((uint32_t)total + (uint32_t)(sign * value));
    SkipSpaces(w);
    if (w->At >= w->Length) break;
    char c = w->Text[w->At++];
    if (c == '+') {
      sign = 1;
    } else if (c == '-') {
      sign = -1;
    } else if (c == '(' || c == ')') {
      return SIM_STATUS_UNBALANCED_FORMULA;
    } else if (c == ' ' || IsLetter(c) || IsDigit(c)) {
      return SIM_STATUS_BAD_FORMULA;  // two terms with no operator between
    } else {
      return SIM_STATUS_BAD_SYMBOL;
    }
  }
  w->Value = total;
  return SIM_STATUS_OK;
}

// The value of a channel's formula at the current sweep.
static int Evaluate(uint32_t channel, uint32_t depth, int32_t* value) {
  const FormulaSlot* slot = SlotOf(channel);
  if (slot == 0) return SIM_STATUS_NO_FORMULA;
  if (depth > SIM_CHANNELS) return SIM_STATUS_CIRCULAR;  // cannot happen: definitions are acyclic
  FormulaWalk w = {slot->Text, slot->Length, 0, 1, depth, 0, 0};
  int status = WalkFormula(&w);
  if (status == SIM_STATUS_OK) *value = w.Value;
  return status;
}

// The channels that `channel`'s stored formula reaches, directly or not.
static uint32_t ReachedChannels(uint32_t references) {
  uint32_t reached = 0;
  while (references & ~reached) {
    uint32_t next = 0;
    for (uint32_t c = 1; c <= SIM_CHANNELS; c++) {
      uint32_t bit = 1u << (c - 1);
      if (!(references & bit) || (reached & bit)) continue;
      reached |= bit;
      const FormulaSlot* slot = SlotOf(c);
      if (slot == 0) continue;
      FormulaWalk w = {slot->Text, slot->Length, 0, 0, 0, 0, 0};
      WalkFormula(&w);
      next |= w.References;
    }
    references |= next;
  }
  return reached;
}

static int DefineChannel(const uint8_t* payload, uint32_t length) {
  if (length < 2) return SIM_STATUS_SHORT_PAYLOAD;
  uint32_t channel = payload[0];
  if (!ChannelInRange(channel)) return SIM_STATUS_BAD_CHANNEL;
  const char* text = (const char*)payload + 1;
  uint32_t textLength = 0;
  while (textLength < length - 1 && text[textLength] != 0) textLength++;
  if (textLength == length - 1) return SIM_STATUS_UNTERMINATED_FORMULA;
  if (textLength == 0) return SIM_STATUS_EMPTY_FORMULA;

  FormulaWalk w = {text, textLength, 0, 0, 0, 0, 0};
  int status = WalkFormula(&w);
  if (status != SIM_STATUS_OK) return status;
  if (ReachedChannels(w.References) & (1u << (channel - 1))) return SIM_STATUS_CIRCULAR;

  FormulaSlot* slot = SlotOf(channel);
  uint32_t used = 0;
  for (unsigned i = 0; i < SIM_FORMULA_SLOTS; i++)
    if (Slots[i].Channel != 0 && &Slots[i] != slot) used += Slots[i].Length;
  if (slot == 0) {
    for (unsigned i = 0; i < SIM_FORMULA_SLOTS && slot == 0; i++)
      if (Slots[i].Channel == 0) slot = &Slots[i];
    if (slot == 0) return SIM_STATUS_TABLE_FULL;
  }
  if (used + textLength > SIM_FORMULA_MEMORY) return SIM_STATUS_MEMORY_FULL;
  slot->Channel = (uint8_t)channel;
  slot->Length = (uint8_t)textLength;
  for (uint32_t i = 0; i < textLength; i++) slot->Text[i] = text[i];
  return SIM_STATUS_OK;
}

// --- Readings ------------------------------------------------------------

static void PutValue(uint8_t* payload, int32_t value) {
  uint32_t v = (uint32_t)value;
  for (unsigned i = 0; i < 4; i++) payload[i] = (uint8_t)(v >> (8 * i));
}

// One reading of `command` for channel or input `number`; 4 bytes out.
static int Reading(uint8_t command, uint32_t number, uint8_t* payload) {
  uint32_t limit = command == C_READ_CHANNEL ? SIM_CHANNELS : SIM_PROBES;
  if (number < 1 || number > limit) return SIM_STATUS_BAD_CHANNEL;
  if (!Scanning) return SIM_STATUS_NOT_SCANNING;
  Sweep++;
  int32_t value = 0;
  int status = SIM_STATUS_OK;
  if (command == C_READ_CHANNEL) {
    status = Evaluate(number, 0, &value);
  } else if (command == C_READ_LVDT) {
    value = SIM_PROBE_VALUE(number, Sweep);
  } else {
    value = SIM_ANALOG_VALUE(number, Sweep);
  }
  if (status != SIM_STATUS_OK) {
    Sweep--;  // nothing was read
    return status;
  }
  PutValue(payload, value);
  return SIM_STATUS_OK;
}

// The calibration value (0 to 5) that a setting or reading code names.
static int CalibrationIndex(uint8_t command) {
  switch (command) {
    case C_SET_TFSV: case C_READ_TFSV: return 0;  // Tfsv
    case C_SET_AFSV: case C_READ_AFSV: return 1;  // Afsv
    case C_SET_TZERO: case C_READ_TZERO: return 2;  // Tzero
    case C_SET_AZERO: case C_READ_AZERO: return 3;  // Azero
    case C_SET_CZERO: case C_READ_CZERO: return 4;  // Czero
    case C_SET_CSCALE: case C_READ_CSCALE: return 5;  // Cscale
    default: return -1;
  }
}
static int IsCalibrationSetting(uint8_t command) {
  return command == C_SET_TFSV || command == C_SET_AFSV || command == C_SET_TZERO || command == C_SET_AZERO || command == C_SET_CZERO ||
         command == C_SET_CSCALE;
}

static uint8_t MemoryByte(uint32_t address) { return (uint8_t)(address ^ (address >> 8)); }

// --- Requests ------------------------------------------------------------

uint32_t InstrumentAnswer(const uint8_t* request, uint32_t requestLength, uint8_t* status,
                          uint8_t* payloadOut) {
  *status = SIM_STATUS_BAD_FRAME;
  if (request == 0 || requestLength < 3 || request[0] != SIM_START_MARK) return 0;
  uint8_t command = request[1];
  uint32_t n = request[2];
  if (3 + n > requestLength) return 0;
  const uint8_t* p = request + 3;

  // Payload bytes each command needs at least.
  uint32_t needed = 1;
  if (command == C_MEMORY || IsCalibrationSetting(command)) needed = 5;
  if (command == C_SET_SCAN_TIME || command == C_SET_MUX_TIME || command == C_SET_ADC_AVG || command == C_SET_RUN_AVG) needed = 2;
  if (command == C_DEFINE_CHANNEL) needed = 2;
  if (command == C_READ_DIRECT) needed = 0;

  *status = SIM_STATUS_OK;
  uint32_t out = 0;
  int result = SIM_STATUS_OK;
  int cal = CalibrationIndex(command);
  switch (command) {
    case C_MEMORY: case C_READ_DIRECT: case C_DEFINE_CHANNEL:
    case C_READ_CHANNEL: case C_CLEAR_ALL_CHANNELS: case C_CLEAR_CHANNEL: case C_START_SCAN: case C_STOP_SCAN: case C_RESET_MM: case C_SET_SCAN_TIME:
    case C_READ_LVDT: case C_READ_ANALOG: case C_READ_FORMULA:
    case C_SET_TFSV: case C_READ_TFSV: case C_SET_AFSV: case C_READ_AFSV: case C_SET_TZERO: case C_READ_TZERO: case C_SET_AZERO: case C_READ_AZERO:
    case C_SET_CZERO: case C_READ_CZERO: case C_SET_CSCALE: case C_READ_CSCALE:
    case C_SET_FP_IN: case C_SET_FP_OUT: case C_SET_MUX_TIME: case C_SET_FP_PREC: case C_GET_FP_IN: case C_GET_FP_OUT: case C_GET_FP_PREC: case C_SET_ADC_AVG: case C_SET_RUN_AVG:
      break;
    default:
      *status = SIM_STATUS_UNKNOWN_COMMAND;
      return 0;
  }
  if (n < needed) {
    *status = SIM_STATUS_SHORT_PAYLOAD;
    return 0;
  }

  if (cal >= 0) {
    uint32_t channel = p[0];
    if (!ChannelInRange(channel)) {
      result = SIM_STATUS_BAD_CHANNEL;
    } else if (IsCalibrationSetting(command)) {
      for (unsigned i = 0; i < 4; i++) Calibration[channel][cal][i] = p[1 + i];
    } else {
      for (unsigned i = 0; i < 4; i++) payloadOut[i] = Calibration[channel][cal][i];
      out = 4;
    }
    *status = (uint8_t)result;
    return out;
  }

  switch (command) {
    case C_MEMORY: {
      uint32_t count = (uint32_t)p[1] | (uint32_t)p[2] << 8;
      uint32_t address = (uint32_t)p[3] | (uint32_t)p[4] << 8;
      if (count > 255 || address + count > SIM_MEMORY_SIZE) {
        result = SIM_STATUS_BAD_VALUE;
        break;
      }
      for (uint32_t i = 0; i < count; i++) payloadOut[i] = MemoryByte(address + i);
      out = count;
      break;
    }
    case C_READ_DIRECT:
      if (2 * n > SIM_REPLY_PAYLOAD_MAX) {
        result = SIM_STATUS_BAD_VALUE;
        break;
      }
      for (uint32_t i = 0; i < n; i++) {
        payloadOut[2 * i] = p[i];
        payloadOut[2 * i + 1] = (uint8_t)~p[i];
      }
      out = 2 * n;
      break;
    case C_DEFINE_CHANNEL:
      result = DefineChannel(p, n);
      break;
    case C_READ_CHANNEL: case C_READ_LVDT: case C_READ_ANALOG:
      result = Reading(command, p[0], payloadOut);
      if (result == SIM_STATUS_OK) out = 4;
      break;
    case C_CLEAR_ALL_CHANNELS:
      for (unsigned i = 0; i < SIM_FORMULA_SLOTS; i++) Slots[i].Channel = 0;
      break;
    case C_CLEAR_CHANNEL: {
      if (!ChannelInRange(p[0])) {
        result = SIM_STATUS_BAD_CHANNEL;
        break;
      }
      FormulaSlot* slot = SlotOf(p[0]);
      if (slot != 0) slot->Channel = 0;
      break;
    }
    case C_START_SCAN:
      Scanning = 1;
      Sweep = 0;
      break;
    case C_STOP_SCAN:
      Scanning = 0;
      break;
    case C_RESET_MM:  // scan stopped, sweep count restarted
      Scanning = 0;
      Sweep = 0;
      break;
    case C_READ_FORMULA: {  // with its terminating zero
      if (!ChannelInRange(p[0])) {
        result = SIM_STATUS_BAD_CHANNEL;
        break;
      }
      const FormulaSlot* slot = SlotOf(p[0]);
      uint32_t length = slot ? slot->Length : 0;
      for (uint32_t i = 0; i < length; i++) payloadOut[i] = (uint8_t)slot->Text[i];
      payloadOut[length] = 0;
      out = length + 1;
      break;
    }
    case C_SET_SCAN_TIME: ScanTime = (uint16_t)(p[0] | p[1] << 8); break;
    case C_SET_MUX_TIME: MuxTime = (uint16_t)(p[0] | p[1] << 8); break;
    case C_SET_ADC_AVG: AdcAvg = (uint16_t)(p[0] | p[1] << 8); break;
    case C_SET_RUN_AVG: RunAvg = (uint16_t)(p[0] | p[1] << 8); break;
    case C_SET_FP_IN: FpIn = p[0]; break;
    case C_SET_FP_OUT: FpOut = p[0]; break;
    case C_SET_FP_PREC: FpPrec = p[0]; break;
    case C_GET_FP_IN: payloadOut[0] = FpIn; out = 1; break;
    case C_GET_FP_OUT: payloadOut[0] = FpOut; out = 1; break;
    case C_GET_FP_PREC: payloadOut[0] = FpPrec; out = 1; break;
  }
  *status = (uint8_t)result;
  return out;
}

uint32_t InstrumentScanTime(void) { return ScanTime; }
uint32_t InstrumentMuxTime(void) { return MuxTime; }
uint32_t InstrumentAdcAvg(void) { return AdcAvg; }
uint32_t InstrumentRunAvg(void) { return RunAvg; }
