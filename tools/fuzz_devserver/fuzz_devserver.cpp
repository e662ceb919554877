// libFuzzer target for the developer server's message handling: every input
// is one message handed to DevServer::handleMessage, as the socket delivers
// it. Whatever the bytes, the server must answer exactly once with a reply
// starting with 'k' or 'e', never crash, read past the message or leak.
// The commands are stand-ins (fuzz_stubs.cpp) that look their parameters up
// exactly as the real ones do, so every lookup and failure path is reached
// without a window, a world or a camera.
//
// The same bytes, read as one line of the text form, go through the
// client's encoder: whatever it encodes, the server must decode.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devtools/dev_message.h"
#include "devtools/dev_server.h"

namespace {

class CapturingServer : public DevServer {
public:
  void send(const char* data, int length) override
  {
    ++replies;
    if (length < 1 || (data[0] != 'k' && data[0] != 'e')) abort();
  }
  int replies = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (size_t)LocalServer::MAX_MESSAGE_SIZE) return 0;
  CapturingServer server;
  server.handleMessage((const char*)data, (int)size);
  if (server.replies != 1) abort();

  std::string line((const char*)data, size);
  line = line.substr(0, line.find_first_of(std::string("\n\0", 2)));
  std::string message, error;
  if (dev_encode_text_command(line.c_str(), message, error)) {
    DevMessage decoded;
    try {
      decoded.decode(message.data(), (int)message.size());
    } catch (const DevMessageError&) {
      abort(); // the encoder made a message the server cannot read
    }
  }
  return 0;
}
