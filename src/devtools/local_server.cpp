// The developer tools' socket server (see local_server.h). Errors are logged
// with the errno value in the design's "%08X" form and never stop the game.
#include "devtools/local_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/log.h"

namespace {

// A flood of messages must not hold the update step forever; the rest waits
// for the next poll.
constexpr int MAX_MESSAGES_PER_POLL = 256;
// How long a reply may wait for room in the client's receive queue.
constexpr int SEND_TIMEOUT_MS = 1000;

bool fill_address(const char* path, sockaddr_un& addr)
{
  memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (!path || !*path || strlen(path) >= sizeof addr.sun_path) return false;
  memcpy(addr.sun_path, path, strlen(path));
  return true;
}

void log_create_error(int code, const char* path, const char* why)
{
  debug("LocalServer: error %08X creating named pipe '%s' (%s)", (unsigned)code, path ? path : "", why);
}

// True when a program accepts connections on `path`. A full backlog still
// means a live server; a refused connection means a file left behind.
bool socket_is_live(const sockaddr_un& addr)
{
  int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (probe < 0) return true; // cannot tell: do not touch the file
  int r = connect(probe, (const sockaddr*)&addr, sizeof addr);
  int err = errno;
  close(probe);
  return r == 0 || (err != ECONNREFUSED && err != ENOENT);
}

} // namespace

LocalServer::~LocalServer()
{
  stop();
}

bool LocalServer::isStarted()
{
  return listen_fd >= 0;
}

bool LocalServer::start(const char* path)
{
  if (isStarted()) {
    debug("LocalServer: server already started");
    return false;
  }
  sockaddr_un addr;
  if (!fill_address(path, addr)) {
    log_create_error(ENAMETOOLONG, path, "the path is empty or too long for a socket");
    return false;
  }
  struct stat st;
  if (lstat(path, &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      log_create_error(EEXIST, path, "a file that is not a socket is in the way; left alone");
      return false;
    }
    if (socket_is_live(addr)) {
      log_create_error(EADDRINUSE, path, "another running program serves it; left alone");
      return false;
    }
    debug("LocalServer: removing the stale socket '%s' (nobody answers on it)", path);
    if (unlink(path) != 0 && errno != ENOENT) {
      log_create_error(errno, path, strerror(errno));
      return false;
    }
  }

  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    log_create_error(errno, path, strerror(errno));
    return false;
  }
  // The file gets its mode at bind time; a mask makes it 0600 from the start,
  // so there is no moment in which others could connect.
  mode_t old_mask = umask(0177);
  int r = bind(fd, (const sockaddr*)&addr, sizeof addr);
  int bind_err = errno;
  umask(old_mask);
  if (r != 0) {
    log_create_error(bind_err, path, strerror(bind_err));
    close(fd);
    return false;
  }
  if (stat(path, &st) != 0 || listen(fd, 4) != 0) {
    int err = errno;
    log_create_error(err, path, strerror(err));
    close(fd);
    unlink(path);
    return false;
  }
  socket_dev = st.st_dev;
  socket_ino = st.st_ino;
  socket_path = path;
  listen_fd = fd;
  return true;
}

void LocalServer::dropClient()
{
  if (client_fd < 0) return;
  close(client_fd);
  client_fd = -1;
  clientDisconnected();
}

void LocalServer::stop()
{
  if (!isStarted()) return;
  dropClient();
  close(listen_fd);
  listen_fd = -1;
  // Only our own file: another program may have replaced it since.
  struct stat st;
  if (lstat(socket_path.c_str(), &st) == 0 && st.st_dev == socket_dev && st.st_ino == socket_ino)
    unlink(socket_path.c_str());
  socket_path.clear();
}

void LocalServer::send(const char* data, int length)
{
  if (client_fd < 0 || length < 0) return;
  for (;;) {
    ssize_t n = ::send(client_fd, data, (size_t)length, MSG_NOSIGNAL);
    if (n == length) return;
    int err = n < 0 ? errno : EMSGSIZE;
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EWOULDBLOCK) {
      pollfd p{client_fd, POLLOUT, 0};
      if (::poll(&p, 1, SEND_TIMEOUT_MS) > 0 && (p.revents & POLLOUT)) continue;
      err = ETIMEDOUT;
    }
    debug("LocalServer: pipe write error %08X", (unsigned)err);
    // A client that cannot take its replies is of no use; the next may connect.
    dropClient();
    return;
  }
}

void LocalServer::readMessages()
{
  if ((int)buffer.size() < MAX_MESSAGE_SIZE) buffer.resize(MAX_MESSAGE_SIZE);
  for (int count = 0; client_fd >= 0 && count < MAX_MESSAGES_PER_POLL; ++count) {
    iovec iov{buffer.data(), buffer.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    // MSG_TRUNC: the result is the message's real length even when it is cut.
    ssize_t n = recvmsg(client_fd, &msg, MSG_TRUNC);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      if (errno != ECONNRESET) debug("LocalServer: pipe read error %08X", (unsigned)errno);
      dropClient();
      return;
    }
    if (n == 0) {
      // The end of the stream and an empty message both read as 0 bytes.
      pollfd p{client_fd, POLLIN | POLLRDHUP, 0};
      if (::poll(&p, 1, 0) >= 0 && (p.revents & (POLLHUP | POLLRDHUP))) {
        dropClient();
        return;
      }
    }
    if ((msg.msg_flags & MSG_TRUNC) || n > MAX_MESSAGE_SIZE)
      handleOversizedMessage((int)(n > 0x7fffffff ? 0x7fffffff : n));
    else
      handleMessage(buffer.data(), (int)n);
  }
}

void LocalServer::poll()
{
  if (!isStarted()) return;
  if (client_fd < 0) {
    int c = accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (c < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) return;
      debug("LocalServer: connection error %08X, closing", (unsigned)errno);
      stop();
      return;
    }
    client_fd = c;
  }
  readMessages();
}
