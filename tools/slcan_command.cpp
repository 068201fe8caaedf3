#include "tools/slcan_command.h"

#include <cstdio>
#include <iostream>

#include "bridge/slcan_bridge.h"
#include "tools/live_arguments.h"
#include "tools/live_link.h"

namespace velqor::cli {

const char kSlcanUsage[] =
    "usage: velqor-cli slcan [--sim [sim options]] | [--vid HEX --pid HEX] [--link PATH]\n"
    "                        [--timestamps] [--reconnect]\n"
    "\n"
    "Serves the adapter as an slcan (LAWICEL) device on a pseudo-terminal, whose path is the\n"
    "first line printed, until Ctrl-C or SIGTERM; then says on standard error what went each\n"
    "way. Open the path with slcand, python-can's slcan interface, SavvyCAN or cangaroo:\n"
    "  sudo slcand -o -c -s6 /dev/pts/N && sudo ip link set slcan0 up && candump slcan0\n"
    "\n"
    "  --link PATH    also make PATH a symbolic link to the pseudo-terminal\n"
    "  --timestamps   frames carry millisecond timestamps from the start (as after Z1)\n"
    "%s%s"
    "\n"
    "While --reconnect waits for the adapter, the pseudo-terminal stays: the host's frames\n"
    "fail (counted) and none come from the bus.\n"
    "\n"
    "Exit status: 0 stopped by a signal, 1 the adapter went away (with --reconnect: was away\n"
    "at the end), 2 bad arguments or an adapter, pseudo-terminal or link that cannot be made\n"
    "or opened.\n";

namespace {

// The host's frames go out as the adapter's output reports, from the bridge's thread.
class LinkSender : public DeviceSender {
 public:
  explicit LinkSender(LiveLink& link) : m_link(link) {}
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    return m_link.Send(Frame(bytes, bytes + length));
  }

 private:
  LiveLink& m_link;
};

std::string Usage() {
  char text[4096];
  std::snprintf(text, sizeof text, kSlcanUsage, kReconnectUsage, kLinkOptionsUsage);
  return text;
}

}  // namespace

int RunSlcan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  LinkOptions link;
  BridgeOptions options;
  std::string linkPath;
  LiveArguments cli("slcan", args, link, Usage(), out, err);
  auto bad = [&cli](const std::string& what) { return cli.Bad(what); };
  while (cli.Next()) {
    const std::string& a = cli.Arg();
    if (a == "--timestamps") {
      options.session.timestamps = true;
    } else if (a == "--reconnect") {
      link.reconnect = true;
    } else if (a == "--link") {
      const std::string* v = cli.Value();
      if (!v || v->empty()) return bad("--link needs a path");
      linkPath = *v;
    } else {
      return bad("unknown argument '" + a + "'");
    }
  }
  if (cli.Exit()) return *cli.Exit();
  // N answers the adapter's product identifier: the adapter has no serial number of its own.
  char product[8];
  std::snprintf(product, sizeof product, "%04X", link.product);
  options.session.serialNumber = product;

  LiveLink live(link);
  // On this thread, which alone writes to standard error while the bridge runs.
  live.OnStatus = [&err](const std::string& text) { err << "velqor-cli slcan: " << text << "\n"; };
  LinkSender sender(live);
  SlcanBridge bridge(sender, options);
  std::string failure;
  bridge.OnFailure = [&](const std::string& why) {
    failure = why;  // read after the bridge's thread has been joined
    live.Stop();
  };
  std::string error;
  if (!live.Open(bridge, error)) {
    err << "velqor-cli slcan: " << error << "\n";
    return 2;
  }
  // Serving starts once the adapter is open: the bridge's thread sends through it.
  if (!bridge.Start(error) || (!linkPath.empty() && !MakeLink(bridge.Path(), linkPath, error))) {
    live.Close();
    err << "velqor-cli slcan: " << error << "\n";
    return 2;
  }
  out << bridge.Path() << std::endl;

  const LiveLink::End end = live.Run(std::chrono::milliseconds(0));
  live.Close();  // the reader has paused: nothing more reaches the bridge
  const std::string path = bridge.Path();
  bridge.Stop();
  if (!linkPath.empty()) RemoveLink(path, linkPath);

  const BridgeStats s = bridge.Stats();
  err << "velqor-cli slcan: " << s.framesToHost << " frames to the host, " << s.framesDropped
      << " dropped because the host did not read; " << s.framesSent << " frames sent, "
      << s.sendsFailed << " sends failed; " << s.commandsRefused << " commands refused\n";
  if (s.messagesDropped > 0) {
    err << "velqor-cli slcan: " << s.messagesDropped << " adapter messages were lost\n";
  }
  if (!failure.empty()) {
    err << "velqor-cli slcan: " << failure << "\n";
    return 1;
  }
  if (end == LiveLink::End::Removed) {
    err << "velqor-cli slcan: the adapter went away\n";
    return 1;
  }
  if (live.Losses() > live.Reconnects()) {
    err << "velqor-cli slcan: the adapter was away at the end\n";
    return 1;
  }
  return 0;
}

}  // namespace velqor::cli
