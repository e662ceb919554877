// "gridCheck" over a real socket: a world with water, lava and one cell that went bad in each
// grid is reported by count and place, and the counts come back to clean once it is repaired.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "core/temp_folders.h"
#include "devtools/dev_message.h"
#include "devtools/dev_server.h"
#include "world/heightmap.h"

namespace {

std::string ask(DevServer& server, const std::string& path, const char* line)
{
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  memcpy(addr.sun_path, path.c_str(), path.size());
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  std::string msg, error, reply = "<none>";
  if (connect(fd, (const sockaddr*)&addr, sizeof addr) == 0 && dev_encode_text_command(line, msg, error) &&
      send(fd, msg.data(), msg.size(), MSG_NOSIGNAL) == (ssize_t)msg.size()) {
    server.poll();
    pollfd p{fd, POLLIN, 0};
    char buf[512];
    ssize_t n = ::poll(&p, 1, 1000) > 0 ? recv(fd, buf, sizeof buf, 0) : 0;
    if (n > 0) reply.assign(buf, (size_t)n);
  }
  close(fd);
  server.poll(); // sees the client leave
  return reply;
}

} // namespace

TEST(DevGridCheck, CountsNonFiniteCellsOfEveryGridAndTheFluidCells)
{
  using namespace HeightmapData;
  if (!hmap) allocate_heightmap_grids();
  reset();
  TempDir dir{"rh-gridcheck"};
  std::string path = dir / "dev.sock";
  DevServer server;
  ASSERT_TRUE(server.start(path.c_str()));

  for (int i = 0; i < 10; i++) waterCells()[i].depth = 0.5f;
  for (int i = 100; i < 103; i++) waterCells()[i].depth = -0.2f;
  EXPECT_EQ(ask(server, path, "gridCheck"), "knan=0 water_cells=10 lava_cells=3");

  const float nan = std::numeric_limits<float>::quiet_NaN();
  hmap[hmap_index(7, 3)] = nan;
  target_hmap[hmap_index(1, 200)] = std::numeric_limits<float>::infinity();
  waterCells()[hmap_index(255, 255)].flow_z = nan;
  EXPECT_EQ(ask(server, path, "gridCheck"), "knan=3 water_cells=10 lava_cells=3 first=hmap@7,3");

  // The first in cell order is named; a NaN depth is neither water nor lava.
  target_hmap[hmap_index(1, 200)] = 0;
  waterCells()[hmap_index(255, 255)].flow_z = 0;
  waterCells()[5].depth = nan;
  EXPECT_EQ(ask(server, path, "gridCheck"), "knan=2 water_cells=9 lava_cells=3 first=water@5,0");
  reset();
  EXPECT_EQ(ask(server, path, "gridCheck"), "knan=0 water_cells=0 lava_cells=0");
  server.stop();
}
