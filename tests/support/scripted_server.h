// A scripted IRC server for tests: one listening socket on 127.0.0.1 with an ephemeral port and
// at most one accepted client at a time. The test plays the server by hand: it sends exact bytes
// or lines and reads what the client sent, either as lines or as the raw byte log.
//
// Every wait is bounded by the timeout given to it; nothing blocks longer. Because the listening
// socket has a backlog, a client may connect (even block in connect and then send its whole
// registration) before Accept is called: the bytes wait in the socket until they are read.
//
//   ScriptedServer server;
//   client.ConnectServer("127.0.0.1", server.port(), false);
//   ASSERT_TRUE(server.Accept(2000));
//   EXPECT_TRUE(server.WaitForLine("USER ", 2000));
//   server.SendLine(":irc.test 001 Wolf :Welcome");
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

class ScriptedServer {
 public:
  ScriptedServer();  // starts listening
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  bool connected() const { return client_fd_ >= 0; }

  // Accepts the next connection, waiting at most timeout_ms. A client already accepted is closed
  // first. False on time-out.
  bool Accept(int timeout_ms);
  // Accepts the door's connection, waits for its registration (its USER line) and sends it the
  // echo of its own JOIN of channel as Wolf, each wait at most timeout_ms; false when one ran out.
  bool AcceptIntoChannel(std::string_view channel, int timeout_ms);

  // Sends bytes exactly as given; SendLine appends CR LF. Lost silently when no client is there.
  void Send(std::string_view raw);
  void SendLine(std::string_view line);
  // Sends what the connection takes within timeout_ms and returns how many bytes that was: for a
  // server that must not be held up by a client that stops reading. 0 when no client is there.
  size_t SendWithin(std::string_view raw, int timeout_ms);

  // The receive buffer of connections accepted from now on (set before the client connects): a
  // small one fills soon once the test stops reading.
  void SetReceiveBuffer(int bytes);

  // Waits up to timeout_ms for at least one new complete line, then also takes whatever else has
  // already arrived, and returns the lines not returned before, without their CR LF (a line ends
  // at LF; a CR before it is dropped). Empty on time-out. 0 looks only at what is there now.
  std::vector<std::string> ReadLines(int timeout_ms);

  // Reads lines until one starts with prefix, waiting at most timeout_ms in all; returns it.
  // The lines before it are used up (they stay in lines()).
  std::optional<std::string> WaitForLine(std::string_view prefix, int timeout_ms);

  // Waits up to timeout_ms for the client to close its end; true when it did.
  bool WaitForClose(int timeout_ms);

  // Every byte received from the current client, CR LF included, and every complete line so far.
  const std::string& received() const { return received_; }
  const std::vector<std::string>& lines() const { return lines_; }

  // Closes the connection to the client; the listening socket stays open for another Accept.
  void Close();
  // Drops the connection with a reset (RST) instead of an orderly close.
  void Reset();
  // Closes the listening socket too: new connections to port() are refused from now on.
  void StopListening();

 private:
  // Reads what can be read within timeout_ms; false when the client closed or failed.
  bool ReadSome(int timeout_ms);
  void SplitNewLines();

  int listen_fd_ = -1;
  int client_fd_ = -1;
  int port_ = 0;
  bool peer_closed_ = false;
  std::string received_;
  size_t scanned_ = 0;  // bytes of received_ already cut into lines_
  std::vector<std::string> lines_;
  size_t returned_ = 0;  // lines_ already handed out by ReadLines or WaitForLine
};

}  // namespace testsupport
