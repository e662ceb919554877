// The developer server over a real socket: message decoding and failure
// replies, the design's commands, clients coming and going, the socket's
// mode and ownership, the tools' input commands and the module's commands.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>

#include "render/camera.h"
#include "core/input.h"
#include "core/temp_folders.h"
#include "devtools/dev_commands_local.h"
#include "devtools/dev_server.h"
#include "devtools/dev_test_client.h"

namespace {

using Client = DevTestClient;

class DevServerTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(server.start(path.c_str())); }
  // Sends one command from the text form, lets the server answer, returns the reply.
  std::string ask(Client& c, const char* line)
  {
    c.sendText(line);
    server.poll();
    return c.reply();
  }
  std::string askRaw(Client& c, const std::string& bytes)
  {
    c.sendRaw(bytes);
    server.poll();
    return c.reply();
  }

  TempDir dir{"rh-devserver"};
  std::string path = dir / "dev.sock";
  DevServer server;
};

std::string short_string(const std::string& s) { return std::string(1, (char)s.size()) + s; }

TEST_F(DevServerTest, MalformedAndOversizedMessagesAreAnsweredAndTheServerCarriesOn)
{
  Client c(path);
  ASSERT_TRUE(c.connected());
  // A string parameter whose declared length (200) runs past the message's end.
  std::string past_end = short_string("setWorldPalColor") + short_string("name") + "s" + std::string(1, (char)200) + "abc";
  EXPECT_EQ(askRaw(c, past_end), "eBad message format");
  // A command length byte beyond the message, an unknown type, a cut int, an empty message.
  EXPECT_EQ(askRaw(c, std::string(1, (char)9) + "abc"), "eBad message format");
  EXPECT_EQ(askRaw(c, short_string("checkServer") + short_string("x") + "q"), "eBad message format");
  EXPECT_EQ(askRaw(c, short_string("forceDevMap") + short_string("show") + "i" + std::string(3, '\0')), "eBad message format");
  EXPECT_EQ(askRaw(c, std::string()), "eBad message format");
  // Larger than any message the server takes.
  EXPECT_EQ(askRaw(c, std::string(LocalServer::MAX_MESSAGE_SIZE + 100, 'x')), "eBad message format");
  // Missing and mistyped parameters.
  EXPECT_EQ(ask(c, "forceDevMap"), "eBad message format");
  EXPECT_EQ(ask(c, "forceDevMap show=1.5"), "eBad message format");
  EXPECT_EQ(ask(c, "setWorldPalColor name:i=3 color=1"), "eBad message format");
  EXPECT_EQ(ask(c, "noSuchCommand a=1"), "eUnknown command");
  // Still the same connection, still answering.
  EXPECT_EQ(ask(c, "checkServer"), "k0.26 DEMO");
}

TEST_F(DevServerTest, SetCameraTakesIntegersLikeDoublesAndRefusesNonFiniteValues)
{
  Client c(path);
  EXPECT_EQ(ask(c, "setCamera x=10 y=20 z=30 ha=90 va=-45"), "k");
  EXPECT_FLOAT_EQ(camera.pos.x, 10);
  EXPECT_FLOAT_EQ(camera.pos.y, 20);
  EXPECT_FLOAT_EQ(camera.pos.z, 30);
  EXPECT_FLOAT_EQ(camera.prev_pos.z, 30); // placed, not interpolated towards
  EXPECT_NEAR(camera.yaw, M_PI / 2, 1e-6);
  EXPECT_NEAR(camera.pitch, -M_PI / 4, 1e-6);
  EXPECT_EQ(ask(c, "setCamera x=1.5 y=2.5 z=3.5 ha=0.0 va=0.0"), "k");
  EXPECT_FLOAT_EQ(camera.pos.x, 1.5f);
  EXPECT_FLOAT_EQ(camera.yaw, 0);

  // A NaN would reach every later frame: refused before the camera moves.
  EXPECT_EQ(ask(c, "setCamera x:d=nan y=0 z=0 ha=0 va=0"), "eBad message format");
  EXPECT_FLOAT_EQ(camera.pos.x, 1.5f);
  // The design's order: the position is placed before "ha" is looked up.
  EXPECT_EQ(ask(c, "setCamera x=7 y=8 z=9"), "eBad message format");
  EXPECT_FLOAT_EQ(camera.pos.x, 7);
  EXPECT_EQ(ask(c, "setSunDir x=0 y=0 z=0"), "eBad message format");
}

TEST_F(DevServerTest, AClientThatLeavesIsFollowedByTheNextOne)
{
  {
    Client first(path);
    EXPECT_EQ(ask(first, "checkServer"), "k0.26 DEMO");
    // A second client waits while the first is served.
    Client waiting(path);
    ASSERT_TRUE(waiting.connected());
    waiting.sendText("checkServer");
    server.poll();
    EXPECT_EQ(waiting.reply(), "<none>");
    first.disconnect();
    server.poll(); // notices the first one has gone
    EXPECT_FALSE(server.hasClient());
    server.poll(); // takes the waiting one and its message
    EXPECT_EQ(waiting.reply(), "k0.26 DEMO");
  }
  server.poll();
  Client third(path);
  EXPECT_EQ(ask(third, "checkServer"), "k0.26 DEMO");
}

TEST_F(DevServerTest, SocketIsPrivateAndALiveOneIsNeverTakenOver)
{
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  DevServer second;
  EXPECT_FALSE(second.start(path.c_str()));
  EXPECT_FALSE(second.isStarted());
  // The first one still serves; its first poll takes the second's probe and sees it gone.
  Client c(path);
  c.sendText("checkServer");
  server.poll();
  server.poll();
  EXPECT_EQ(c.reply(), "k0.26 DEMO");
  EXPECT_FALSE(server.start(path.c_str()));        // "server already started"

  // A file that is not a socket is left alone.
  std::string plain = dir / "plain";
  fclose(fopen(plain.c_str(), "w"));
  EXPECT_FALSE(second.start(plain.c_str()));
  EXPECT_EQ(access(plain.c_str(), F_OK), 0);

  // Stopping removes the file; a socket left by a program that died is replaced.
  c.disconnect();
  server.stop();
  EXPECT_NE(access(path.c_str(), F_OK), 0);
  int stale = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  memcpy(addr.sun_path, path.c_str(), path.size());
  ASSERT_EQ(bind(stale, (const sockaddr*)&addr, sizeof addr), 0);
  close(stale); // the file stays, nobody listens
  ASSERT_TRUE(second.start(path.c_str()));
  Client d(path);
  d.sendText("checkServer");
  second.poll();
  EXPECT_EQ(d.reply(), "k0.26 DEMO");
}

TEST(DevServerStart, NoSocketWithoutTheCommandLineSwitch)
{
  TempDir dir("rh-devserver");
  std::string path = dir / "dev.sock";
  setenv("RUNEHOLM_DEV_SOCKET", path.c_str(), 1);
  const char* plain[] = {"runeholm", "-win", nullptr};
  const char* with[] = {"runeholm", "-win", "-devserver", nullptr};
  EXPECT_FALSE(dev_server_wanted(2, (char**)plain));
  EXPECT_TRUE(dev_server_wanted(3, (char**)with));
  EXPECT_EQ(dev_socket_path(), path);
  dev_server_start(false);
  EXPECT_FALSE(dev_server.isStarted());
  EXPECT_NE(access(path.c_str(), F_OK), 0);
  unsetenv("RUNEHOLM_DEV_SOCKET");
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  std::string saved = runtime ? runtime : "";
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  EXPECT_EQ(dev_socket_path(), dir / "runeholm-dev.sock");
  if (runtime)
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
}

TEST_F(DevServerTest, KeysAreSeenByTheInputLayerForOneStepOrUntilReleased)
{
  Client c(path);
  discard_input_events();
  EXPECT_EQ(ask(c, "key name=F9"), "k");
  EXPECT_TRUE(keyDown(120));
  EXPECT_TRUE(getKeyState(120));
  InputEvent e;
  ASSERT_TRUE(getEvent(&e));
  EXPECT_EQ(e.type, INPUT_KEY_DOWN);
  EXPECT_EQ(e.key, 120);
  discard_input_events(); // the end of the step
  dev_input_begin_step(); // the next step: released
  EXPECT_TRUE(keyUp(120));
  EXPECT_FALSE(getKeyState(120));
  discard_input_events();

  // A control button by its settings name, held until released; a key name in any case.
  EXPECT_EQ(ask(c, "key name=B_forward down=1"), "k");
  dev_input_begin_step();
  EXPECT_TRUE(button_state(0));
  EXPECT_TRUE(getKeyState('W'));
  EXPECT_EQ(ask(c, "key name=w down=0"), "k");
  EXPECT_FALSE(button_state(0));
  EXPECT_EQ(ask(c, "key name=NoSuchKey"), "eUnknown key 'NoSuchKey'");
  discard_input_events();

  // The mouse: a move, the wheel and a held right button; all released when the tool leaves.
  EXPECT_EQ(ask(c, "mouse x=0 y=0 button=2 down=1"), "k");
  EXPECT_EQ(ask(c, "wheel steps=-2"), "k");
  EXPECT_EQ(getMouseWheel(), -2);
  EXPECT_TRUE(keyDown(VK_RBUTTON));
  EXPECT_TRUE(getKeyState(VK_RBUTTON));
  EXPECT_EQ(ask(c, "mouse x=0 y=0 button=5"), "eUnknown mouse button 5 (1 left, 2 right, 3 middle)");
  discard_input_events();
  c.disconnect();
  server.poll();
  EXPECT_FALSE(getKeyState(VK_RBUTTON));
  EXPECT_TRUE(keyUp(VK_RBUTTON));
  discard_input_events();
}

int cast_calls = 0;
void cast_command(const DevMessage& msg, DevReply& reply)
{
  ++cast_calls;
  reply.add("%s", msg.getString("spell").c_str());
}
void module_state(DevReply& reply) { reply.add(" mana=12"); }

TEST_F(DevServerTest, ModuleCommandsWorkUntilTheModuleIsUnlinked)
{
  Client c(path);
  EXPECT_FALSE(register_dev_command("", cast_command));
  EXPECT_FALSE(register_dev_command("cast", nullptr));
  ASSERT_TRUE(register_dev_command("cast", cast_command));
  register_dev_state(module_state);
  register_dev_state(module_state); // once only
  EXPECT_EQ(ask(c, "cast spell=\"Fireball\""), "kFireball");
  EXPECT_EQ(ask(c, "cast"), "eBad message format");
  std::string state = ask(c, "getState");
  EXPECT_EQ(state.rfind("kmode=", 0), 0u) << state;
  for (const char* key : {"cam=", " yaw=", " pitch=", " world_time=", " frame_ms=", " update_ms=", " objects=0"})
    EXPECT_NE(state.find(key), std::string::npos) << key << " in " << state;
  EXPECT_EQ(state.find(" mana=12"), state.rfind(" mana=12")) << state;
  EXPECT_EQ(state.substr(state.size() - 8), " mana=12");

  drop_module_dev_commands(); // what unlinking the module does
  EXPECT_EQ(ask(c, "cast spell=\"Fireball\""), "eUnknown command");
  EXPECT_EQ(cast_calls, 2); // the two calls before the unlink
  EXPECT_EQ(ask(c, "getState").find("mana"), std::string::npos);
  EXPECT_EQ(ask(c, "count class=\"TreeObject\""), "k0");
  EXPECT_EQ(ask(c, "count class=\"Tree\""), "eUnknown class 'Tree'");
}

TEST_F(DevServerTest, SpeedRunsThatManyStepsPerLoopStepWithinItsRange)
{
  Client c(path);
  auto steps = [](int loops) {
    int n = 0;
    for (int i = 0; i < loops; ++i) n += dev_server_steps_due();
    return n;
  };
  EXPECT_EQ(steps(10), 10);
  EXPECT_EQ(ask(c, "speed factor=4"), "k");
  EXPECT_EQ(steps(10), 40);
  EXPECT_EQ(ask(c, "speed factor=0.25"), "k");
  EXPECT_EQ(steps(8), 2);
  EXPECT_EQ(ask(c, "speed factor=17"), "eSpeed factor 17 is outside 0.25 to 16");
  EXPECT_EQ(ask(c, "speed factor=0.1"), "eSpeed factor 0.1 is outside 0.25 to 16");
  EXPECT_EQ(ask(c, "speed factor:d=nan"), "eSpeed factor nan is outside 0.25 to 16");
  dev_server_stop();
  EXPECT_EQ(steps(3), 3);
}

TEST(DevMessageText, EncodesTypesAsTheServerReadsThem)
{
  std::string msg, error;
  ASSERT_TRUE(dev_encode_text_command("cmd a=5 b=2.5 c=word d=\"two words\" e:d=3 f:s=7", msg, error)) << error;
  DevMessage m;
  m.decode(msg.data(), (int)msg.size());
  EXPECT_EQ(m.command(), "cmd");
  EXPECT_EQ(m.getInt("a"), 5);
  EXPECT_DOUBLE_EQ(m.getDouble("a"), 5.0); // an int where a double is expected
  EXPECT_DOUBLE_EQ(m.getDouble("b"), 2.5);
  EXPECT_EQ(m.getString("c"), "word");
  EXPECT_EQ(m.getString("d"), "two words");
  EXPECT_EQ(m.params()[4].type, 'd');
  EXPECT_EQ(m.getString("f"), "7");
  EXPECT_THROW(m.getInt("b"), DevMessageError);
  EXPECT_THROW(m.getDouble("c"), DevMessageError);
  EXPECT_FALSE(dev_encode_text_command("cmd a", msg, error));
  EXPECT_FALSE(dev_encode_text_command("cmd a:i=x", msg, error));
  EXPECT_FALSE(dev_encode_text_command("cmd s=\"open", msg, error));
  EXPECT_FALSE(dev_encode_text_command(("cmd s=" + std::string(256, 'x')).c_str(), msg, error));
}

} // namespace
