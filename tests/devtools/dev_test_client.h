// A client of the developer server inside a test program: one connection,
// commands in their text form, replies read after the test polls the server.
#pragma once
#include <gtest/gtest.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "devtools/dev_message.h"

class DevTestClient {
public:
  explicit DevTestClient(const std::string& path)
  {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.c_str(), path.size());
    fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (connect(fd, (const sockaddr*)&addr, sizeof addr) != 0) {
      close(fd);
      fd = -1;
    }
  }
  ~DevTestClient() { disconnect(); }
  void disconnect()
  {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  bool connected() const { return fd >= 0; }
  void sendRaw(const std::string& bytes) { ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), (ssize_t)bytes.size()); }
  void sendText(const char* line)
  {
    std::string msg, error;
    ASSERT_TRUE(dev_encode_text_command(line, msg, error)) << error;
    sendRaw(msg);
  }
  // The next reply, or "<none>" when nothing arrives.
  std::string reply()
  {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0) return "<none>";
    char buf[8192];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, (size_t)n) : "<closed>";
  }

private:
  int fd = -1;
};
