// A client of the developer server inside a test program: one connection,
// commands in their text form, replies read after the test polls the server.
#pragma once
#include <gtest/gtest.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <map>
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

// A reply's key=value pairs: "k a=1 b=x,y" or "ka=1 ..." -> {a: "1", b: "x,y"}.
inline std::map<std::string, std::string> reply_pairs(std::string reply)
{
  std::map<std::string, std::string> out;
  if (!reply.empty()) reply[0] = ' ';
  size_t i = 0;
  while ((i = reply.find(' ', i)) != std::string::npos) {
    size_t end = reply.find(' ', i + 1);
    std::string item = reply.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
    size_t eq = item.find('=');
    if (eq != std::string::npos) out[item.substr(0, eq)] = item.substr(eq + 1);
    i = end;
  }
  return out;
}
