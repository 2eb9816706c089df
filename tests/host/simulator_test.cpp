// The instrument model and the simulated driver's link: answers, error
// statuses, malformed frames, full tables, scripts and the frame log.
#include "simulator.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

struct Answer {
  int Outcome;
  uint8_t Status;
  std::vector<uint8_t> Payload;
};

// One exchange on link 1 with the frame ':' code n payload.
Answer Ask(uint8_t code, std::vector<uint8_t> payload) {
  std::vector<uint8_t> frame = {SIM_START_MARK, code, (uint8_t)payload.size()};
  frame.insert(frame.end(), payload.begin(), payload.end());
  uint8_t out[270];
  uint32_t written = 0;
  Answer answer;
  answer.Outcome = SimDeviceControl(1, IOCTL_TAV_EXCHANGE, frame.data(), (uint32_t)frame.size(),
                                    out, sizeof out, &written);
  answer.Status = written >= 2 ? out[1] : 0xEE;
  if (written >= 3) {
    EXPECT_EQ(out[0], SIM_START_MARK);
    EXPECT_EQ(out[2], (uint8_t)(written - 3));
    answer.Payload.assign(out + 3, out + written);
  }
  return answer;
}

std::vector<uint8_t> Text(const char* text) {
  std::vector<uint8_t> bytes(text, text + strlen(text) + 1);
  return bytes;
}

uint8_t Define(uint8_t channel, const char* formula) {
  std::vector<uint8_t> payload = {channel};
  std::vector<uint8_t> text = Text(formula);
  payload.insert(payload.end(), text.begin(), text.end());
  return Ask(3, payload).Status;
}

int32_t Value(const Answer& answer) {
  EXPECT_EQ(answer.Payload.size(), 4u);
  if (answer.Payload.size() != 4) return 0;
  return (int32_t)((uint32_t)answer.Payload[0] | (uint32_t)answer.Payload[1] << 8 |
                   (uint32_t)answer.Payload[2] << 16 | (uint32_t)answer.Payload[3] << 24);
}

class Simulator : public ::testing::Test {
 protected:
  void SetUp() override { SimPowerOn(); }
};

TEST_F(Simulator, FormulasAreStoredAndReadBack) {
  Answer empty = Ask(13, {5});
  EXPECT_EQ(empty.Status, 0);
  EXPECT_EQ(empty.Payload, std::vector<uint8_t>{0});

  EXPECT_EQ(Define(5, "P1 + P2 - 250"), 0);
  Answer back = Ask(13, {5});
  EXPECT_EQ(back.Status, 0);
  EXPECT_EQ(back.Payload, Text("P1 + P2 - 250"));

  EXPECT_EQ(Define(5, "GOR(P1,P3)"), 0);  // redefined in place
  EXPECT_EQ(Ask(13, {5}).Payload, Text("GOR(P1,P3)"));
  EXPECT_EQ(Ask(6, {5}).Status, 0);
  EXPECT_EQ(Ask(13, {5}).Payload, std::vector<uint8_t>{0});

  EXPECT_EQ(Define(1, "P1"), 0);
  EXPECT_EQ(Define(2, "c1+p2"), 0);
  EXPECT_EQ(Ask(5, {0}).Status, 0);
  EXPECT_EQ(Ask(13, {1}).Payload, std::vector<uint8_t>{0});
  EXPECT_EQ(Ask(13, {2}).Payload, std::vector<uint8_t>{0});
}

TEST_F(Simulator, FormulaStatuses) {
  ASSERT_EQ(Define(3, "P3"), 0);
  ASSERT_EQ(Define(4, "C3 + 1"), 0);
  struct Case {
    uint8_t Channel;
    const char* Formula;
    uint8_t Status;
  } cases[] = {
      {1, "P1+P2", 0},
      {1, "  P8 - 1000000 + LOR( P1 , P2 ,P3)", 0},
      {0, "P1", SIM_STATUS_BAD_CHANNEL},
      {33, "P1", SIM_STATUS_BAD_CHANNEL},
      {1, "C33", SIM_STATUS_BAD_CHANNEL},
      {1, "C", SIM_STATUS_BAD_CHANNEL},
      {1, "P1+", SIM_STATUS_BAD_FORMULA},
      {1, "+P1", SIM_STATUS_BAD_FORMULA},
      {1, "P1 P2", SIM_STATUS_BAD_FORMULA},
      {1, "GOR P1", SIM_STATUS_BAD_FORMULA},
      {1, "P0", SIM_STATUS_BAD_PROBE},
      {1, "P9", SIM_STATUS_BAD_PROBE},
      {1, "P", SIM_STATUS_BAD_PROBE},
      {1, "GOR(P1,P12)", SIM_STATUS_BAD_PROBE},
      {1, "GOR(P1,P2", SIM_STATUS_UNBALANCED_FORMULA},
      {1, "P1)", SIM_STATUS_UNBALANCED_FORMULA},
      {1, "(P1)", SIM_STATUS_UNBALANCED_FORMULA},
      {1, "12x", SIM_STATUS_BAD_NUMBER},
      {1, "1.5", SIM_STATUS_BAD_NUMBER},
      {1, "1000001", SIM_STATUS_BAD_NUMBER},
      {1, "99999999999999", SIM_STATUS_BAD_NUMBER},
      {1, "abc", SIM_STATUS_BAD_SYMBOL},
      {1, "P1*2", SIM_STATUS_BAD_SYMBOL},
      {1, "#", SIM_STATUS_BAD_SYMBOL},
      {1, "P1+P2+P3+P4+P5+P6+P7+P8", 0},
      {1, "P1+P2+P3+P4+P5+P6+P7+P8+1", SIM_STATUS_TOO_COMPLEX},
      {1, "C1", SIM_STATUS_CIRCULAR},
      {3, "C4", SIM_STATUS_CIRCULAR},  // C4 reaches C3
      {1, "GOR(P1)", SIM_STATUS_BAD_SET},
      {1, "LOR(P1,P1)", SIM_STATUS_BAD_SET},
      {1, "GOR(P1,C2)", SIM_STATUS_BAD_SET},
      {1, "GOR(P1;P2)", SIM_STATUS_BAD_SET},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Define(c.Channel, c.Formula), c.Status) << c.Formula;
  }
  // A refused formula leaves the stored one as it was.
  EXPECT_EQ(Ask(13, {3}).Payload, Text("P3"));
}

TEST_F(Simulator, MalformedDefineRequests) {
  EXPECT_EQ(Ask(3, {1}).Status, SIM_STATUS_SHORT_PAYLOAD);
  EXPECT_EQ(Ask(3, {1, 0}).Status, SIM_STATUS_EMPTY_FORMULA);
  EXPECT_EQ(Ask(3, {1, 'P', '1'}).Status, SIM_STATUS_UNTERMINATED_FORMULA);
  EXPECT_EQ(Ask(3, {1, 'P', '1', 0, 'x', 'y'}).Status, 0);  // bytes behind the zero ignored
  EXPECT_EQ(Ask(13, {1}).Payload, Text("P1"));
}

TEST_F(Simulator, FullTables) {
  for (uint8_t channel = 1; channel <= SIM_FORMULA_SLOTS; channel++)
    ASSERT_EQ(Define(channel, "P1"), 0);
  EXPECT_EQ(Define(SIM_FORMULA_SLOTS + 1, "P1"), SIM_STATUS_TABLE_FULL);
  EXPECT_EQ(Define(1, "P2"), 0);  // a defined channel can still be redefined
  EXPECT_EQ(Ask(6, {2}).Status, 0);
  EXPECT_EQ(Define(SIM_FORMULA_SLOTS + 1, "P1"), 0);

  // Memory: 512 characters of formula text in all.
  SimPowerOn();
  std::string spaces(246, ' ');
  std::string formula = spaces + "P1+P2";  // 251 characters
  ASSERT_EQ(Define(1, formula.c_str()), 0);
  ASSERT_EQ(Define(2, formula.c_str()), 0);
  EXPECT_EQ(Define(3, "P1+P2+P3+P4+P5"), SIM_STATUS_MEMORY_FULL);  // 502 + 14 > 512
  EXPECT_EQ(Define(3, "P1+P2+P3"), 0);                             // 502 + 8 fits
  EXPECT_EQ(Define(3, "P1+P2+P3+P4"),
            SIM_STATUS_MEMORY_FULL);  // replacing counts the new text only
  EXPECT_EQ(Ask(13, {3}).Payload, Text("P1+P2+P3"));
  EXPECT_EQ(Ask(5, {0}).Status, 0);
  EXPECT_EQ(Define(3, "P1+P2+P3+P4+P5"), 0);
}

TEST_F(Simulator, ReadingsWhileScanning) {
  ASSERT_EQ(Define(1, "P1+P2"), 0);
  ASSERT_EQ(Define(2, "C1-100"), 0);
  ASSERT_EQ(Define(3, "GOR(P1,P5,P2) + LOR(P3,P4)"), 0);
  ASSERT_EQ(Define(4, "C9"), 0);

  EXPECT_EQ(Ask(4, {1}).Status, SIM_STATUS_NOT_SCANNING);
  EXPECT_EQ(Ask(11, {1}).Status, SIM_STATUS_NOT_SCANNING);
  EXPECT_EQ(Ask(12, {1}).Status, SIM_STATUS_NOT_SCANNING);
  ASSERT_EQ(Ask(7, {0}).Status, 0);

  // The n-th reading after the start is taken at sweep n.
  EXPECT_EQ(Value(Ask(4, {1})), SIM_PROBE_VALUE(1, 1) + SIM_PROBE_VALUE(2, 1));
  EXPECT_EQ(Value(Ask(4, {2})), SIM_PROBE_VALUE(1, 2) + SIM_PROBE_VALUE(2, 2) - 100);
  EXPECT_EQ(Value(Ask(4, {3})), SIM_PROBE_VALUE(5, 3) + SIM_PROBE_VALUE(3, 3));
  EXPECT_EQ(Value(Ask(11, {4})), SIM_PROBE_VALUE(4, 4));
  EXPECT_EQ(Value(Ask(12, {8})), SIM_ANALOG_VALUE(8, 5));
  EXPECT_EQ(Value(Ask(4, {1})), SIM_PROBE_VALUE(1, 6) + SIM_PROBE_VALUE(2, 6));

  // Errors do not advance the sweep.
  EXPECT_EQ(Ask(4, {5}).Status, SIM_STATUS_NO_FORMULA);
  EXPECT_EQ(Ask(4, {4}).Status, SIM_STATUS_NO_FORMULA);  // refers to an empty channel
  EXPECT_EQ(Ask(4, {0}).Status, SIM_STATUS_BAD_CHANNEL);
  EXPECT_EQ(Ask(4, {33}).Status, SIM_STATUS_BAD_CHANNEL);
  EXPECT_EQ(Ask(11, {9}).Status, SIM_STATUS_BAD_CHANNEL);
  EXPECT_EQ(Ask(12, {0}).Status, SIM_STATUS_BAD_CHANNEL);
  EXPECT_EQ(Value(Ask(11, {1})), SIM_PROBE_VALUE(1, 7));

  // Stop, reset and restart.
  EXPECT_EQ(Ask(8, {0}).Status, 0);
  EXPECT_EQ(Ask(4, {1}).Status, SIM_STATUS_NOT_SCANNING);
  EXPECT_EQ(Ask(7, {0}).Status, 0);
  EXPECT_EQ(Value(Ask(11, {2})), SIM_PROBE_VALUE(2, 1));
  EXPECT_EQ(Ask(9, {0}).Status, 0);
  EXPECT_EQ(Ask(11, {2}).Status, SIM_STATUS_NOT_SCANNING);
  EXPECT_EQ(Ask(13, {1}).Payload, Text("P1+P2"));  // the reset keeps the formulas
}

TEST_F(Simulator, CalibrationValuesReadBack) {
  const uint8_t setCodes[] = {21, 23, 32, 42, 52, 54};
  for (unsigned i = 0; i < 6; i++) {
    uint8_t set = setCodes[i], read = (uint8_t)(setCodes[i] + 1);
    Answer zero = Ask(read, {7});
    EXPECT_EQ(zero.Status, 0);
    EXPECT_EQ(zero.Payload, (std::vector<uint8_t>{0, 0, 0, 0})) << (int)read;
    EXPECT_EQ(Ask(set, {7, 1, 2, 3, (uint8_t)i}).Status, 0);
    EXPECT_EQ(Ask(read, {7}).Payload, (std::vector<uint8_t>{1, 2, 3, (uint8_t)i})) << (int)read;
    EXPECT_EQ(Ask(read, {8}).Payload, (std::vector<uint8_t>{0, 0, 0, 0}));  // per channel
    EXPECT_EQ(Ask(set, {0, 1, 2, 3, 4}).Status, SIM_STATUS_BAD_CHANNEL);
    EXPECT_EQ(Ask(read, {33}).Status, SIM_STATUS_BAD_CHANNEL);
    EXPECT_EQ(Ask(set, {7, 1, 2, 3}).Status, SIM_STATUS_SHORT_PAYLOAD);
  }
  // The six values of one channel are separate.
  EXPECT_EQ(Ask(22, {7}).Payload, (std::vector<uint8_t>{1, 2, 3, 0}));
  EXPECT_EQ(Ask(55, {7}).Payload, (std::vector<uint8_t>{1, 2, 3, 5}));
}

TEST_F(Simulator, Settings) {
  EXPECT_EQ(Ask(84, {0}).Payload, std::vector<uint8_t>{0});
  EXPECT_EQ(Ask(87, {0, 0}).Payload, std::vector<uint8_t>{3});
  EXPECT_EQ(Ask(80, {0x11}).Status, 0);
  EXPECT_EQ(Ask(81, {0xFF}).Status, 0);
  EXPECT_EQ(Ask(83, {5}).Status, 0);
  EXPECT_EQ(Ask(84, {0}).Payload, std::vector<uint8_t>{0x11});
  EXPECT_EQ(Ask(85, {0}).Payload, std::vector<uint8_t>{0xFF});
  EXPECT_EQ(Ask(87, {0, 0}).Payload, std::vector<uint8_t>{5});

  EXPECT_EQ(Ask(10, {0x34, 0x12}).Status, 0);
  EXPECT_EQ(Ask(82, {0xFE, 0xFF}).Status, 0);
  EXPECT_EQ(Ask(90, {8, 0}).Status, 0);
  EXPECT_EQ(Ask(91, {0, 1}).Status, 0);
  EXPECT_EQ(InstrumentScanTime(), 0x1234u);
  EXPECT_EQ(InstrumentMuxTime(), 0xFFFEu);
  EXPECT_EQ(InstrumentAdcAvg(), 8u);
  EXPECT_EQ(InstrumentRunAvg(), 256u);
  EXPECT_EQ(Ask(10, {0x34}).Status, SIM_STATUS_SHORT_PAYLOAD);
  EXPECT_EQ(InstrumentScanTime(), 0x1234u);
}

TEST_F(Simulator, MemoryAndRawRequests) {
  Answer memory = Ask(1, {0, 4, 0, 0xFE, 0x01});  // 4 bytes from 0x1FE
  EXPECT_EQ(memory.Status, 0);
  EXPECT_EQ(memory.Payload, (std::vector<uint8_t>{0xFF, 0xFE, 0x02, 0x03}));
  EXPECT_EQ(Ask(1, {0, 0, 1, 0, 0}).Status, SIM_STATUS_BAD_VALUE);        // 256 bytes
  EXPECT_EQ(Ask(1, {0, 2, 0, 0xFF, 0x0F}).Status, SIM_STATUS_BAD_VALUE);  // past 4 KB
  EXPECT_EQ(Ask(1, {0, 1, 0, 0xFF, 0x0F}).Payload, std::vector<uint8_t>{0xF0});

  EXPECT_EQ(Ask(2, {}).Payload, std::vector<uint8_t>{});
  EXPECT_EQ(Ask(2, {0x00, 0x5A}).Payload, (std::vector<uint8_t>{0x00, 0xFF, 0x5A, 0xA5}));
  EXPECT_EQ(Ask(2, std::vector<uint8_t>(133, 1)).Payload.size(), 266u);
  EXPECT_EQ(Ask(2, std::vector<uint8_t>(134, 1)).Status, SIM_STATUS_BAD_VALUE);
}

TEST_F(Simulator, MalformedFrames) {
  struct Case {
    const char* What;
    std::vector<uint8_t> Bytes;
    uint8_t Status;
  } cases[] = {
      {"nothing", {}, SIM_STATUS_BAD_FRAME},
      {"start mark only", {0x3A}, SIM_STATUS_BAD_FRAME},
      {"no length byte", {0x3A, 0x07}, SIM_STATUS_BAD_FRAME},
      {"no start mark", {0x3B, 0x07, 0x01, 0x00}, SIM_STATUS_BAD_FRAME},
      {"length beyond the bytes sent", {0x3A, 0x04, 0x02, 0x01}, SIM_STATUS_BAD_FRAME},
      {"length 255, 3 bytes sent", {0x3A, 0x03, 0xFF}, SIM_STATUS_BAD_FRAME},
      {"unknown command", {0x3A, 0x56, 0x01, 0x00}, SIM_STATUS_UNKNOWN_COMMAND},
      {"command 0", {0x3A, 0x00, 0x00}, SIM_STATUS_UNKNOWN_COMMAND},
      {"channel reading without payload", {0x3A, 0x04, 0x00}, SIM_STATUS_SHORT_PAYLOAD},
      {"memory with 4 bytes", {0x3A, 0x01, 0x04, 0, 1, 0, 0}, SIM_STATUS_SHORT_PAYLOAD},
      {"bytes behind the frame are ignored", {0x3A, 0x08, 0x01, 0x00, 0x99}, 0},
  };
  for (const Case& c : cases) {
    uint8_t out[270];
    uint32_t written = 0;
    EXPECT_EQ(SimDeviceControl(1, IOCTL_TAV_EXCHANGE, c.Bytes.data(), (uint32_t)c.Bytes.size(), out,
                               sizeof out, &written),
              SIM_DONE)
        << c.What;
    ASSERT_EQ(written, 3u) << c.What;
    EXPECT_EQ(out[0], SIM_START_MARK) << c.What;
    EXPECT_EQ(out[1], c.Status) << c.What;
    EXPECT_EQ(out[2], 0) << c.What;
  }
  uint32_t written = 7;
  uint8_t out[4];
  EXPECT_EQ(SimDeviceControl(1, IOCTL_TAV_EXCHANGE, nullptr, 100, out, sizeof out, &written),
            SIM_DONE);
  EXPECT_EQ(out[1], SIM_STATUS_BAD_FRAME);
}

// The driver's side: the output length, scripts and the frame log.
TEST_F(Simulator, OutputBufferAndScripts) {
  const uint8_t read[] = {0x3A, 0x0D, 0x01, 0x01};
  ASSERT_EQ(Define(1, "P1+P2"), 0);  // reply: 3 + 6 bytes
  uint8_t out[16];
  memset(out, 0xEE, sizeof out);
  uint32_t written = 0;
  EXPECT_EQ(SimDeviceControl(1, IOCTL_TAV_EXCHANGE, read, 4, out, 8, &written),
            SIM_OUTPUT_TOO_SMALL);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(out[0], 0xEE);
  EXPECT_EQ(SimDeviceControl(1, IOCTL_TAV_EXCHANGE, read, 4, out, 9, &written), SIM_DONE);
  EXPECT_EQ(written, 9u);
  EXPECT_EQ(out[9], 0xEE);
  EXPECT_EQ(SimDeviceControl(1, 0x22200C, read, 4, out, 9, &written), SIM_UNKNOWN_CODE);
  EXPECT_EQ(SimDeviceControl(1, IOCTL_TAV_INITIALIZE, nullptr, 0, nullptr, 0, &written), SIM_DONE);

  SimScript script = {};
  script.Action = SIM_SCRIPT_REPLY;
  script.Status = 0x42;
  script.PayloadLength = 3;
  script.ByteCount = 2;
  memcpy(script.Payload, "abc", 3);
  ASSERT_TRUE(SimQueueScript(&script));
  script.Action = SIM_SCRIPT_FAIL;
  ASSERT_TRUE(SimQueueScript(&script));
  memset(out, 0xEE, sizeof out);
  EXPECT_EQ(SimDeviceControl(2, IOCTL_TAV_EXCHANGE, read, 4, out, 16, &written), SIM_DONE);
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(out[1], 0x42);
  EXPECT_EQ(out[2], 0xEE);
  EXPECT_EQ(SimDeviceControl(2, IOCTL_TAV_EXCHANGE, read, 4, out, 16, &written), SIM_DEVICE_FAILED);
  EXPECT_EQ(SimDeviceControl(2, IOCTL_TAV_EXCHANGE, read, 4, out, 16, &written), SIM_DONE);
  EXPECT_EQ(written, 9u);  // the model again

  script.Action = 3;
  EXPECT_FALSE(SimQueueScript(&script));
  script.Action = SIM_SCRIPT_REPLY;
  script.PayloadLength = SIM_REPLY_PAYLOAD_MAX + 1;
  EXPECT_FALSE(SimQueueScript(&script));
  script.PayloadLength = 0;
  for (int i = 0; i < SIM_SCRIPT_QUEUE; i++) EXPECT_TRUE(SimQueueScript(&script));
  EXPECT_FALSE(SimQueueScript(&script));
  SimClearScripts();

  SimFrame frame;
  uint32_t count = SimFrameCount();
  EXPECT_EQ(count, 7u);  // the unknown code is not logged
  ASSERT_TRUE(SimReadFrame(count - 1, &frame));
  EXPECT_EQ(frame.Link, 2u);
  EXPECT_EQ(frame.Code, IOCTL_TAV_EXCHANGE);
  EXPECT_EQ(frame.InLength, 4u);
  EXPECT_EQ(frame.OutLength, 16u);
  EXPECT_EQ(memcmp(frame.In, read, 4), 0);
  EXPECT_FALSE(SimReadFrame(count, &frame));
  SimClearFrames();
  EXPECT_EQ(SimFrameCount(), 0u);
}

TEST_F(Simulator, PowerOnForgetsEverything) {
  ASSERT_EQ(Define(1, "P1"), 0);
  ASSERT_EQ(Ask(52, {1, 9, 9, 9, 9}).Status, 0);
  ASSERT_EQ(Ask(80, {9}).Status, 0);
  ASSERT_EQ(Ask(7, {0}).Status, 0);
  SimPowerOn();
  EXPECT_EQ(SimFrameCount(), 0u);
  EXPECT_EQ(Ask(13, {1}).Payload, std::vector<uint8_t>{0});
  EXPECT_EQ(Ask(53, {1}).Payload, (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(Ask(84, {0}).Payload, std::vector<uint8_t>{0});
  EXPECT_EQ(Ask(11, {1}).Status, SIM_STATUS_NOT_SCANNING);
}

}  // namespace

namespace {

// Random requests of every length into buffers of exactly the lengths
// given (run under AddressSanitizer, an access outside them fails).
TEST_F(Simulator, RandomRequestsStayInsideTheBuffers) {
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  const uint8_t codes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 21, 22, 55, 84, 87, 99};
  for (int round = 0; round < 20000; round++) {
    uint32_t inLength = next() % 300;
    uint32_t outLength = next() % 280;
    std::vector<uint8_t> in(inLength), out(outLength);
    for (uint8_t& b : in) b = (uint8_t)next();
    if (inLength >= 3 && next() % 4 != 0) {
      in[0] = SIM_START_MARK;
      in[1] = codes[next() % sizeof codes];
      if (in[1] == 3 && inLength > 4) {  // a formula from formula characters
        static const char alphabet[] = "PCGLOR0123456789+-(), ";
        for (uint32_t i = 4; i < inLength; i++)
          in[i] = (uint8_t)alphabet[next() % (sizeof alphabet - 1)];
        in[inLength - 1] = 0;
      }
      if (next() % 2) in[2] = (uint8_t)(inLength - 3);
    }
    uint32_t written = 0xFFFF;
    uint32_t code = next() % 8 == 0 ? IOCTL_TAV_INITIALIZE : IOCTL_TAV_EXCHANGE;
    int outcome = SimDeviceControl(1 + next() % 3, code, inLength ? in.data() : nullptr, inLength,
                                   outLength ? out.data() : nullptr, outLength, &written);
    ASSERT_TRUE(outcome == SIM_DONE || outcome == SIM_OUTPUT_TOO_SMALL) << round;
    ASSERT_LE(written, outLength) << round;
    if (round % 500 == 0) SimPowerOn();
  }
}

}  // namespace
