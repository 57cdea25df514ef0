#include "platform/options.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace nimbrel {

void PrintTo(const LinkOptions& o, std::ostream* os) {
    *os << "port " << o.port << " device '" << o.device << "' " << o.LineText() << " display "
        << o.displayIntervalMs;
}

void PrintTo(const TransferOptions& o, std::ostream* os) {
    *os << "verify " << o.readAfterWrite << " start " << o.startWaitMs << " response "
        << o.responseWaitMs << " settle " << o.settleMs << " byte " << o.readByteWaitMs << " stall "
        << o.writeStallMs << " version " << o.versionWaitMs << " quiet " << o.answerQuietMs
        << " exit '" << o.exitString << "'";
}

} // namespace nimbrel

namespace {

using nimbrel::LinkOptions;
using nimbrel::ReadLinkOptions;
using nimbrel::ReadTransferOptions;
using nimbrel::SettingsSnapshot;
using nimbrel::TransferOptions;

struct Case {
    const char* what;
    const char* ini;
    std::function<void(LinkOptions&)> link;
    std::function<void(TransferOptions&)> transfer;
};

TEST(Options, ReadFromTheSettingsWithEachKeysDefault) {
    const Case cases[] = {
        {"no file: the readers' defaults", "", [](LinkOptions& l) { l.device = "/dev/ttyS1"; },
         [](TransferOptions&) {}},
        {"the port's device and line, the seconds keys, a long exit string",
         "[COM]\nport=4\ndevice4=/dev/ttyUSB7\nbaud=4800\nparity=e\nbits=7\nstop=2\n"
         "[USER INTERFACE]\nabort=QQQQQQQQQQ\nwait=5\n"
         "[FILE TRANSFER]\nReadAfterWrite=0\nWaitTimeForResponse=3\n",
         [](LinkOptions& l) {
             l.port = 4;
             l.device = "/dev/ttyUSB7";
             l.baud = "4800";
             l.parity = "e";
             l.dataBits = "7";
             l.stopBits = "2";
         },
         [](TransferOptions& t) {
             t.readAfterWrite = false;
             t.startWaitMs = 5000;
             t.responseWaitMs = 3000;
             t.answerQuietMs = 6; // three characters at 4800 baud
             t.exitString = "QQQQQQQ";
         }},
        {"[TIMING] overrides win over the seconds and the baud rate",
         "[COM]\nport=1\nbaud=300\n[USER INTERFACE]\nwait=-4\n[FILE TRANSFER]\n"
         "WaitTimeForResponse=3\n[TIMING]\nStartWaitMs=0\nResponseWaitMs=40\nAnswerQuietMs=9\n"
         "SettleMs=7\nReadByteWaitMs=8\nWriteStallMs=11\nVersionWaitMs=12\nMonitorPauseMs=2\n",
         [](LinkOptions& l) {
             l.port = 1;
             l.device = "/dev/ttyS0";
             l.baud = "300";
             l.displayIntervalMs = 2;
         },
         [](TransferOptions& t) {
             t.startWaitMs = 0;
             t.responseWaitMs = 40;
             t.answerQuietMs = 9;
             t.settleMs = 7;
             t.readByteWaitMs = 8;
             t.writeStallMs = 11;
             t.versionWaitMs = 12;
         }},
        {"a negative wait counts as none; a port outside 1 to 4 names no device",
         "[COM]\nport=5\ndevice5=/dev/ttyUSB0\nbaud=fast\n[USER INTERFACE]\nwait=-4\nabort=x\n",
         [](LinkOptions& l) {
             l.port = 5;
             l.baud = "fast";
         },
         [](TransferOptions& t) {
             t.startWaitMs = 0;
             t.answerQuietMs = nimbrel::kAnswerQuietMinMs;
             t.exitString = "x";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LinkOptions link;
        TransferOptions transfer;
        c.link(link);
        c.transfer(transfer);
        const SettingsSnapshot settings(c.ini);
        EXPECT_EQ(ReadLinkOptions(settings), link);
        EXPECT_EQ(ReadTransferOptions(settings), transfer);
    }
}

TEST(Options, DefaultReadTakesTheSettingsFileAsItIsNow) {
    nimbrel::test::TempDir dir;
    EXPECT_EQ(ReadLinkOptions().device, "/dev/ttyS1");
    dir.Write("Nimbrel.ini", "[COM]\nport=3\ndevice3=/dev/ttyACM0\n[TIMING]\nSettleMs=1\n");
    EXPECT_EQ(ReadLinkOptions().device, "/dev/ttyACM0");
    EXPECT_EQ(nimbrel::PortDevicePath(4), "/dev/ttyS3");
    EXPECT_EQ(ReadTransferOptions().settleMs, 1);
}

} // namespace
