// A local message server for developer tools: a non-blocking Unix-domain
// socket of type SOCK_SEQPACKET (each send is one message, boundaries kept),
// polled from the main thread once per update step, serving one client at a
// time. A client that disconnects is dropped at the next poll; the next one
// waiting is then accepted.
//
// The socket file is created mode 0600. `start` never takes over a socket a
// running program is serving: an existing file is connected to first, and
// removed only when nobody answers (left behind by a program that crashed).
// `stop` removes the file only while it is still the one this server made.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

class LocalServer {
public:
  // Messages above this size are not handed on (see handleOversizedMessage).
  static constexpr int MAX_MESSAGE_SIZE = 65536;

  LocalServer() = default;
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  virtual ~LocalServer(); // stops the server
  // Listens on the socket file `path`; false (logged) when already started,
  // when a live server owns the path, or when the socket cannot be made.
  virtual bool start(const char* path);
  virtual void stop();
  virtual bool isStarted();
  // One whole message from the client.
  virtual void handleMessage(const char* data, int length) = 0;
  // Sends one message to the connected client (nothing without one).
  virtual void send(const char* data, int length);
  // Accepts a waiting client and hands each waiting message to handleMessage.
  virtual void poll();
  // A message longer than MAX_MESSAGE_SIZE arrived and was dropped.
  virtual void handleOversizedMessage(int length) {}
  // The client went away (or was dropped after an error).
  virtual void clientDisconnected() {}

  bool hasClient() const { return client_fd >= 0; }
  const std::string& path() const { return socket_path; }

private:
  void dropClient();
  void readMessages();

  int listen_fd = -1; // the design's pipe handle: -1 while stopped
  int client_fd = -1;
  std::string socket_path;
  dev_t socket_dev = 0; // identity of the file this server made
  ino_t socket_ino = 0;
  std::vector<char> buffer;
};
