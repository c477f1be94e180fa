// qelhost's stream verb as a person uses it: a TCP client and a server on
// loopback, a file of the terminal, Ctrl-C, and what it says about bad input.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

#include "host_test.h"
#include "loopback_peer.h"

namespace {

using namespace qeltest;

class QelhostStream : public HostTest {
 protected:
  std::string Input(const std::string& bytes) {
    const auto path = terminal.root() / "input";
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
};

TEST_F(QelhostStream, ATcpClientSendsItsInputAndPrintsTheReplyUntilThePeerCloses) {
  LoopbackPeer listener = LoopbackPeer::TcpListener();
  std::string request;
  std::thread server([&] {
    LoopbackPeer peer = listener.Accept(20000);
    request = peer.ReceiveAll(7, 20000);
    peer.Send(std::string(1000, 'r'));
    peer.Close();
  });
  const HostRun r = Host({"stream", "SOCKET", "TCP", "0", "127.0.0.1:" + std::to_string(listener.port())},
                         {.stdinFrom = Input("request")});
  server.join();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(request, "request");
  EXPECT_EQ(r.out, std::string(1000, 'r'));
  EXPECT_NE(r.err.find("7 bytes written, 1000 read; the far side closed the connection"), std::string::npos)
      << r.err;
}

TEST_F(QelhostStream, AFileIsPrintedAndTheInputAppended) {
  const std::vector<std::string> args = {"stream", "FILE", "\\Temp\\notes.txt"};
  HostRun r = Host(args, {.stdinFrom = Input("first\n")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  r = Host(args, {.stdinFrom = Input("second\n")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "first\n");
  r = Host({"--json", "stream", "file", "\\temp\\NOTES.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "first\nsecond\n");
  EXPECT_NE(r.err.find("\"bytes_read\":13"), std::string::npos) << r.err;
}

TEST_F(QelhostStream, CtrlCEndsAServerWaitingForAClient) {
  const HostRun r = Host({"stream", "SOCKET", "TCPSERVER", std::to_string(UnusedPort())},
                         // Late enough that qelhost holds its end signals even on a loaded
                         // machine under the sanitizers; before that a SIGINT ends it at once.
                         {.prefix = "timeout --preserve-status -s INT 8 "});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
}

struct BadCase {
  const char* what;
  std::vector<std::string> args;
  int status;
  const char* says;
};

TEST_F(QelhostStream, BadInputIsNamed) {
  const std::string refused = "127.0.0.1:" + std::to_string(UnusedPort());
  const BadCase cases[] = {
      {"unknown_type", {"stream", "PIPE"}, 2, "no stream factory of the module makes this type"},
      {"bad_protocol", {"stream", "SOCKET", "SCTP", "0", "a:1"}, 2, "refused its values: give PROTOCOL"},
      {"client_without_address", {"stream", "SOCKET", "TCP", "0"}, 2, "refused its values"},
      {"server_without_port",
       {"stream", "SOCKET", "TCPSERVER", "0"},
       2,
       "needs the local port it listens on"},
      {"server_port_no_number", {"stream", "SOCKET", "TCPSERVER", "http"}, 2, "needs the local port"},
      {"bad_speed", {"stream", "COM1", "1199", "8", "N", "1", "N"}, 2, "SPEED (1200 to 115200)"},
      {"lower_case_parity", {"stream", "COM1", "9600", "8", "e", "1", "N"}, 2, "PARITY (N, O or E)"},
      {"no_such_port", {"stream", "COM7", "9600", "8", "N", "1", "N"}, 1, "COM7:: there is no such device"},
      {"not_a_port_name",
       {"stream", "COMX", "9600", "8", "N", "1", "N"},
       1,
       "the name is no file's or port's name"},
      {"file_without_name", {"stream", "FILE"}, 2, "give the file's device path"},
      {"file_in_no_folder", {"stream", "FILE", "\\Nowhere\\x.txt"}, 1, "its folder does not exist"},
      {"refused", {"stream", "--timeout", "2000", "SOCKET", "TCP", "0", refused}, 1, "could not be opened"},
      {"zero_timeout", {"stream", "--timeout", "0", "SOCKET", "TCP", "0", refused}, 2, "--timeout"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.what);
    const HostRun r = Host(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

}  // namespace
