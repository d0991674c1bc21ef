// A TCP server on 127.0.0.1 for the tests: it accepts one connection and plays a script of
// sends, reads, pauses and closes on a thread of its own, recording all it receives.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pellam_test {

class ScriptedServer {
 public:
  // receiveBuffer > 0 shrinks the receive buffer of the connection (a small one lets a
  // server that stops reading stall its client quickly).
  explicit ScriptedServer(int receiveBuffer = 0);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int Port() const { return port_; }
  // A port on 127.0.0.1 where nothing listens.
  static int UnusedPort();

  // Script steps, played in order once Start is called.
  ScriptedServer& Send(std::string text);
  ScriptedServer& SendRepeated(std::string chunk, std::size_t times);
  ScriptedServer& ReadLine();                         // up to and including an LF
  ScriptedServer& ReadUntil(std::string terminator);  // up to and including the terminator
  ScriptedServer& ReadBytes(std::size_t count);
  // Reads a line and sends what `answer` makes of it (the line with its LF).
  ScriptedServer& Answer(std::function<std::string(std::string_view line)> answer);
  ScriptedServer& Pause(std::chrono::milliseconds duration);
  ScriptedServer& Close();        // closes the connection gracefully
  ScriptedServer& StopReading();  // keeps the connection open and reads nothing more

  // Accepts one connection and plays the script. After the last step the server goes on
  // reading (and recording) until the peer closes, unless the script closed or stopped.
  void Start();
  // Waits (at most a few seconds) until every step has been played.
  bool WaitScriptDone();
  // Everything received so far, after the script has been played.
  std::string Received();
  // Waits (at most a few seconds) until the peer has closed its end; true if it did.
  bool WaitPeerClosed();

 private:
  using Step = std::function<bool()>;  // false: the connection is gone, stop playing

  void Play();
  bool ReadMore();  // one read into the record; false when the peer closed or on stop
  bool ReadWhile(const std::function<bool(std::string_view unread)>& wanting);
  bool SendAll(const std::string& text);
  bool Readable(int milliseconds);

  std::intptr_t listener_ = -1;
  std::atomic<std::intptr_t> connection_{-1};
  int port_ = 0;
  std::vector<Step> steps_;
  std::size_t consumed_ = 0;  // bytes of received_ taken by read steps
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string received_;
  bool scriptDone_ = false;
  bool peerClosed_ = false;
};

// A port on 127.0.0.1 where connections are never completed: its listener's queue is kept
// full by one connection of its own, so the system drops every further connection request.
class StalledListener {
 public:
  StalledListener();
  ~StalledListener();
  StalledListener(const StalledListener&) = delete;
  StalledListener& operator=(const StalledListener&) = delete;

  int Port() const { return port_; }

 private:
  std::intptr_t listener_ = -1;
  std::intptr_t filler_ = -1;
  int port_ = 0;
};

}  // namespace pellam_test
