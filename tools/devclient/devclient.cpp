// devclient: talks to a running game's developer server.
//
//   devclient [-s SOCKET] [-t SECONDS] [COMMAND...]
//
// Each COMMAND argument, or else each line of standard input, is one command
// in the text form (see docs/devserver.md), e.g.
//   setCamera x=128 y=40 z=128 ha=0 va=-20
//   key name=F1
// A line "wait SECONDS" pauses without sending anything, so a script can hold
// a key for a while on its one connection. Each reply is printed on its own line. The socket is SOCKET, else
// $RUNEHOLM_DEV_SOCKET, else runeholm-dev.sock in $XDG_RUNTIME_DIR. Exit code:
// 0 when every reply starts with "k", 1 when one failed ("e..."), 2 when the
// server cannot be reached, a line cannot be encoded or a reply times out.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "devtools/dev_message.h"

namespace {

std::string default_socket()
{
  const char* env = getenv("RUNEHOLM_DEV_SOCKET");
  if (env && *env) return env;
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/runeholm-dev.sock";
  return "";
}

int connect_to(const std::string& path)
{
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    fprintf(stderr, "devclient: no usable socket path ('%s'); use -s or RUNEHOLM_DEV_SOCKET\n", path.c_str());
    return -1;
  }
  memcpy(addr.sun_path, path.data(), path.size());
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, (const sockaddr*)&addr, sizeof addr) != 0) {
    fprintf(stderr, "devclient: can't connect to '%s': %s\n", path.c_str(), strerror(errno));
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

// Sends one command and prints its reply; 0 ok, 1 failed reply, 2 error.
int run_command(int fd, const std::string& line, int timeout_ms)
{
  std::string message, error;
  if (!dev_encode_text_command(line.c_str(), message, error)) {
    fprintf(stderr, "devclient: can't encode '%s': %s\n", line.c_str(), error.c_str());
    return 2;
  }
  if (send(fd, message.data(), message.size(), MSG_NOSIGNAL) != (ssize_t)message.size()) {
    fprintf(stderr, "devclient: send failed: %s\n", strerror(errno));
    return 2;
  }
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) <= 0) {
    fprintf(stderr, "devclient: no reply to '%s' within %d ms\n", line.c_str(), timeout_ms);
    return 2;
  }
  std::vector<char> reply(65536);
  ssize_t n = recv(fd, reply.data(), reply.size(), 0);
  if (n <= 0) {
    fprintf(stderr, "devclient: the server closed the connection\n");
    return 2;
  }
  fwrite(reply.data(), 1, (size_t)n, stdout);
  fputc('\n', stdout);
  fflush(stdout);
  return reply[0] == 'k' ? 0 : 1;
}

bool skip_line(const std::string& line)
{
  size_t at = line.find_first_not_of(" \t\r");
  return at == std::string::npos || line[at] == '#';
}

} // namespace

int main(int argc, char** argv)
{
  std::string path = default_socket();
  double timeout_s = 10;
  std::vector<std::string> commands;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "-s" || a == "-t") && i + 1 < argc) {
      if (a == "-s") path = argv[++i];
      else timeout_s = atof(argv[++i]);
    } else if (a == "-h" || a == "--help") {
      printf("usage: devclient [-s SOCKET] [-t SECONDS] [COMMAND...]\n"
             "Sends each COMMAND (or each line of standard input) to the game's developer server\n"
             "and prints the reply. Example: devclient 'setCamera x=10 y=40 z=10 ha=0 va=-30'\n");
      return 0;
    } else {
      commands.push_back(a);
    }
  }
  int fd = connect_to(path);
  if (fd < 0) return 2;
  const int timeout_ms = timeout_s > 0 ? int(timeout_s * 1000) : 10000;
  int result = 0;
  auto run = [&](const std::string& line) {
    if (skip_line(line)) return true;
    // "wait SECONDS" pauses here without a message: keys held by this
    // connection stay held (the server releases them when it closes).
    double pause = 0;
    if (sscanf(line.c_str(), " wait %lf", &pause) == 1) {
      if (pause > 0) usleep(useconds_t(std::min(pause, 3600.0) * 1e6));
      return true;
    }
    int r = run_command(fd, line, timeout_ms);
    result = std::max(result, r);
    return r != 2;
  };
  if (!commands.empty()) {
    for (const std::string& c : commands)
      if (!run(c)) break;
  } else {
    std::string line;
    while (std::getline(std::cin, line))
      if (!run(line)) break;
  }
  close(fd);
  return result;
}
