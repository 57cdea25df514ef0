#include "link/comstream.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

using nimbrel::comstream;
using nimbrel::LineSettings;
using nimbrel::ParseModeText;
using nimbrel::test::Pty;
using nimbrel::test::TempDir;

namespace {

class ComStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        nimbrel::test::UsePort(pty.Slave(), 3);
    }

    static void WaitQueued(const comstream& s, int count) {
        nimbrel::test::WaitFor([&] {
            int queued = 0;
            ::ioctl(s.GetHandle(), FIONREAD, &queued);
            return queued >= count;
        });
    }

    TempDir dir;
    Pty pty;
};

TEST(ComStreamPorts, PortsThatCannotOpenStayNotOpenForGood) {
    TempDir dir;
    // "" stands for a port number outside 1 to 4.
    for (const std::string& device :
         {std::string(), dir.File("missing"), dir.Write("plain", "not a tty")}) {
        comstream s(device);
        EXPECT_EQ(s.GetPortErrorState(), nimbrel::kPortNotOpen) << device;
        EXPECT_EQ(s.GetPortErrorState(), nimbrel::kPortNotOpen) << "sticky";
        EXPECT_FALSE(s.good());
        EXPECT_EQ(s.GetHandle(), -1);
        char c;
        EXPECT_EQ(s.ReadQueued(&c, 1), 0);
        EXPECT_EQ(s.WriteBytes("x", 1), 0);
        EXPECT_FALSE(s.SetBaud(9600));
    }
}

TEST_F(ComStreamTest, OpensTheConfiguredDeviceExclusively) {
    auto first = std::make_unique<comstream>(pty.Slave());
    ASSERT_EQ(first->GetPortErrorState(), 0u);
    EXPECT_EQ(comstream(pty.Slave()).GetPortErrorState(), nimbrel::kPortNotOpen) << "held";
    first.reset();
    EXPECT_EQ(comstream(pty.Slave()).GetPortErrorState(), 0u) << "closing releases the port";
}

TEST_F(ComStreamTest, StaleInputGoesAndTheFirstByteIsASingleZero) {
    ASSERT_TRUE(pty.WriteAll("stale"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    comstream s(pty.Slave());
    ASSERT_TRUE(s.good());
    EXPECT_EQ(s.get(), 0);
    EXPECT_EQ(s.get(), std::char_traits<char>::eof());
    EXPECT_TRUE(s.eof());
    EXPECT_EQ(s.GetPortErrorState(), 0u) << "nothing to read is not the other end gone";
    EXPECT_EQ(s.GoneError(), -1);
}

TEST_F(ComStreamTest, EveryByteValuePassesUnchangedAnd0xFFIsNotEndOfFile) {
    comstream s(pty.Slave());
    s.get(); // the initial 0
    std::string all;
    for (int i = 255; i >= 0; --i)
        all += static_cast<char>(i); // 0xFF first
    ASSERT_TRUE(pty.WriteAll(all));
    WaitQueued(s, 256);

    EXPECT_EQ(s.peek(), 255);
    char buf[300];
    s.read(buf, sizeof buf);
    ASSERT_EQ(s.gcount(), 256);
    EXPECT_EQ(std::string(buf, 256), all);
    EXPECT_TRUE(s.eof()) << "a read stops when nothing more is queued";
}

TEST_F(ComStreamTest, RefillTakesAtMost3000BytesAndTheRestLater) {
    comstream s(pty.Slave());
    s.get();
    std::string sent;
    for (int i = 0; i < 5000; ++i)
        sent += static_cast<char>('a' + i % 26);
    ASSERT_TRUE(pty.WriteAll(sent));
    WaitQueued(s, 3000);

    ASSERT_NE(s.rdbuf()->sgetc(), std::char_traits<char>::eof());
    EXPECT_EQ(s.rdbuf()->in_avail(), 3000);
    std::string got;
    char buf[1000];
    nimbrel::test::WaitFor([&] {
        got.append(buf, static_cast<std::size_t>(s.ReadQueued(buf, sizeof buf)));
        return got.size() >= sent.size();
    });
    EXPECT_EQ(got, sent);
}

TEST_F(ComStreamTest, WritesAndBreaksReachTheOtherEnd) {
    comstream s(pty.Slave());
    const std::string bytes("E01A0FF\0\xff\r\n", 11);
    EXPECT_EQ(s.WriteBytes(bytes.data(), static_cast<std::int32_t>(bytes.size())), 11);
    s << 'Z';
    EXPECT_TRUE(s.SendBreak(5)) << "a no-op on a pseudo-terminal, not a failure";
    s.write("yz", 2);
    EXPECT_TRUE(s.good());
    EXPECT_EQ(pty.Read(14), bytes + "Zyz");
    EXPECT_EQ(s.GetPortErrorState(), 0u);
}

TEST_F(ComStreamTest, WriteToAFullLineGivesUpInTimeAndKeepsTheStreamGood) {
    comstream s(pty.Slave());
    ASSERT_TRUE(s.SetTimeouts(0)); // 10 ms per byte
    const std::string block(4096, 'x');
    for (bool tookSome = true; tookSome;) { // until the line takes no more
        tookSome = false;
        while (::write(s.GetHandle(), block.data(), block.size()) > 0)
            tookSome = true;
        while (::write(s.GetHandle(), "x", 1) == 1)
            tookSome = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(s.WriteBytes("abc", 3), 3);
    const auto elapsed = nimbrel::test::MsSince(start);
    EXPECT_GE(elapsed, 30 - 2);
    EXPECT_LT(elapsed, 1000);
    EXPECT_TRUE(s.good());
    EXPECT_EQ(s.GetPortErrorState(), nimbrel::kPortTxFailed);
    EXPECT_EQ(s.GetPortErrorState(), 0u) << "read and cleared";
}

TEST_F(ComStreamTest, OtherEndGoneIsReportedNotSpunOn) {
    comstream s(pty.Slave());
    s.get();
    pty.CloseMaster();
    char buf[10];
    EXPECT_EQ(s.ReadQueued(buf, sizeof buf), 0);
    EXPECT_EQ(s.GetPortErrorState(), nimbrel::kPortGone);
    EXPECT_EQ(s.GetPortErrorState(), nimbrel::kPortGone) << "stays while the port is gone";
}

// A pseudo-terminal keeps speed and stop bits but forces 8 bits, no parity;
// the rest of the framing is checked on the termios record.
TEST_F(ComStreamTest, LineSettingsAreApplied) {
    comstream s(pty.Slave());
    LineSettings ls;
    ASSERT_TRUE(ParseModeText("com3:2400,n,8,2", ls));
    ASSERT_TRUE(s.SetDcb(ls));
    termios t{};
    ASSERT_EQ(::tcgetattr(s.GetHandle(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B2400));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_FALSE(t.c_cflag & CRTSCTS) << "no flow control";
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO)) << "raw";

    ASSERT_TRUE(s.SetStopBits(0));
    ASSERT_TRUE(s.SetBaud(9600));
    ASSERT_EQ(::tcgetattr(s.GetHandle(), &t), 0);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B9600));
    EXPECT_FALSE(s.SetBaud(12345));
    EXPECT_FALSE(s.SetDataBits(9));

    EXPECT_EQ(s.Settings().dataBits, 8) << "a refused change is not kept";
    EXPECT_TRUE(s.SetParity(0));
    EXPECT_FALSE(s.Settings().parityCheck);
    EXPECT_TRUE(s.good());

    ASSERT_TRUE(ParseModeText("2400,e,7,1.5", ls));
    ASSERT_TRUE(nimbrel::FillTermios(ls, t));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB),
              static_cast<tcflag_t>(CS7 | PARENB | CSTOPB));
    EXPECT_TRUE(t.c_iflag & INPCK);
    ls.parity = 3; // mark
    ASSERT_TRUE(nimbrel::FillTermios(ls, t));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR),
              static_cast<tcflag_t>(PARENB | PARODD | CMSPAR));
}

TEST(ComStreamPorts, PermissionAdviceNamesTheDevicesOwnerAndGroup) {
    TempDir dir;
    const std::string device = dir.Write("ttyUSB0", "");
    const std::string owner = ::getpwuid(::geteuid())->pw_name;
    const struct {
        gid_t group;
        mode_t mode;
        const char* advice; // the group to join; "" for the administrator
    } cases[] = {
        {20, 0660, "dialout"}, {10, 0660, "uucp"}, {20, 0600, ""}, {0, 0660, ""}, {0, 0600, ""},
    };
    for (const auto& c : cases) {
        const group* g = ::getgrgid(c.group);
        if (g == nullptr || ::chown(device.c_str(), ::geteuid(), c.group) != 0) continue;
        ::chmod(device.c_str(), c.mode);
        const std::string text = nimbrel::OpenErrorText(EACCES, device);
        SCOPED_TRACE(text);
        EXPECT_EQ(text.rfind("permission denied — the device belongs to user " + owner +
                                 " and group " + g->gr_name + "; ",
                             0),
                  0u);
        const std::string advice = *c.advice == '\0'
                                       ? "ask your administrator for access"
                                       : std::string("add yourself to the ") + c.advice +
                                             " group (sudo adduser $USER " + c.advice +
                                             "), then log in again";
        EXPECT_NE(text.find(advice), std::string::npos);
        EXPECT_EQ(text.find("dialout") != std::string::npos, std::string(g->gr_name) == "dialout");
    }
    EXPECT_EQ(nimbrel::OpenErrorText(EACCES, dir.File("gone")), "permission denied");
}

TEST(ModeText, FieldsBecomeLineSettings) {
    LineSettings ls;
    ASSERT_TRUE(ParseModeText("com2:9600,n,8,1", ls));
    EXPECT_EQ(ls.baud, 9600u);
    EXPECT_EQ(ls.parity, 0);
    EXPECT_EQ(ls.dataBits, 8);
    EXPECT_EQ(ls.stopBits, 0);
    EXPECT_FALSE(ls.parityCheck);

    ASSERT_TRUE(ParseModeText("COM1:48,O,7,1.5", ls));
    EXPECT_EQ(ls.baud, 4800u);
    EXPECT_EQ(ls.parity, 1);
    EXPECT_TRUE(ls.parityCheck);
    EXPECT_EQ(ls.dataBits, 7);
    EXPECT_EQ(ls.stopBits, 1);

    ASSERT_TRUE(ParseModeText("19200,s", ls));
    EXPECT_EQ(ls.parity, 4);
    EXPECT_EQ(ls.dataBits, 8) << "left-out fields take the usual defaults";

    ls.baud = 1200;
    for (const char* bad :
         {"", "com2:", "com2:9601,n,8,1", "com2:9600,x,8,1", "com2:9600,n,9,1", "com2:9600,n,8,3",
          "com2:9600,n,8,1,p", "comx:9600,n,8,1", "com2:-9600,n,8,1", "com2:9600,no,8,1"}) {
        EXPECT_FALSE(ParseModeText(bad, ls)) << bad;
    }
    EXPECT_EQ(ls.baud, 1200u) << "unchanged after a refusal";
}

} // namespace
