// tamsu-sim: one simulated transmitter, or a bus of several, on a virtual serial port, until
// interrupted.
#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "modbus/frame_text.h"
#include "modbus/frames.h"
#include "modbus/line_record.h"
#include "sim/profile.h"
#include "sim/simulator.h"

namespace {

constexpr const char* kUsage =
    "usage: tamsu-sim --profile NAME [--address N] [--baud B] [--protocol legacy|any255|any0|modbus]\n"
    "                 [--fault KIND[:PARAM][@N|@always]]... [--mismatch garbage|silence] [--no-drift]\n"
    "                 [--pace] [--turnaround MS] [--frame-by-silence]\n"
    "                 [--port-dir DIR] [--link NAME] [--listen tcp:[HOST:]PORT] [-v|--verbose]\n"
    "       tamsu-sim --device PROFILE@ADDRESS[:BAUD[:PROTOCOL]]... [the options above but --profile]\n"
    "       tamsu-sim --list-profiles\n"
    "--device, repeated, puts several transmitters on the line; --baud and --protocol are their\n"
    "defaults. Each answers its own address at its own rate; answers at once collide.\n"
    "fault kinds: silence, badcrc, wrongaddress, exception[:CODE], split[:GAP_MS], delay[:MS], garbage,\n"
    "             twice[:GAP_MS], endless[:MS]\n";

bool ParseNumber(std::string_view s, long& out) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size();
}

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "tamsu-sim: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tamsu::sim;
  SimulatorOptions options;
  options.publish = true;
  std::vector<Fault> faults;
  bool profileGiven = false;
  bool mismatchGiven = false;
  std::vector<std::string> devices;  // --device, read once the defaults are known

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--list-profiles") {
      for (const Profile& p : AllProfiles()) std::printf("%-20s %s\n", p.name.c_str(), p.description.c_str());
      return 0;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--profile") {
      const char* v = value();
      if (!v) return Usage("--profile needs a name");
      if (!FindProfile(v)) return Usage((std::string("unknown profile: ") + v + " (see --list-profiles)").c_str());
      options.profile = v;
      profileGiven = true;
    } else if (arg == "--device") {
      const char* v = value();
      if (!v) return Usage("--device needs PROFILE@ADDRESS[:BAUD[:PROTOCOL]]");
      devices.push_back(v);
    } else if (arg == "--address") {
      const char* v = value();
      long n = 0;
      if (!v || !ParseNumber(v, n) || n < 1 || n > 247) return Usage("--address takes 1..247");
      options.device.address = static_cast<uint8_t>(n);
    } else if (arg == "--baud") {
      const char* v = value();
      long n = 0;
      if (!v || !ParseNumber(v, n) || n <= 0 || tamsu::BaudCodeOf(static_cast<uint32_t>(n)) < 0) {
        return Usage("--baud takes 1200, 2400, 4800, 9600, 19200 or 38400");
      }
      options.device.baud = static_cast<uint32_t>(n);
    } else if (arg == "--protocol") {
      const char* v = value();
      auto p = v ? ParseProtocol(v) : std::nullopt;
      if (!p) return Usage("--protocol takes legacy, any255, any0 or modbus");
      options.device.protocol = *p;
    } else if (arg == "--fault") {
      const char* v = value();
      auto f = v ? ParseFault(v) : std::nullopt;
      if (!f) return Usage("bad --fault");
      faults.push_back(*f);
    } else if (arg == "--mismatch") {
      const char* v = value();
      mismatchGiven = true;
      if (v && std::strcmp(v, "garbage") == 0) {
        options.mismatch = Mismatch::Garbage;
      } else if (v && std::strcmp(v, "silence") == 0) {
        options.mismatch = Mismatch::Silence;
      } else {
        return Usage("--mismatch takes garbage or silence");
      }
    } else if (arg == "-v" || arg == "--verbose") {
      // Each exchange as the tool's line traffic view shows it, from the device's side.
      options.onExchange = [](const LogEntry& e) {
        std::string lines = tamsu::LineRecord::Format("received", e.lineBaud,
                                                      tamsu::HexBytes(e.request.data(), e.request.size()),
                                                      e.rateMatched ? tamsu::DescribeRequest(e.request.data(), e.request.size())
                                                                    : "heard at another rate than the device's");
        if (!e.reply.empty()) {
          // Appended in two steps: "\n" + a temporary string draws GCC 12's false -Wrestrict at -O3.
          lines += '\n';
          lines += tamsu::LineRecord::Format("sent", e.lineBaud, tamsu::HexBytes(e.reply.data(), e.reply.size()),
                                             e.rateMatched ? tamsu::DescribeReply(e.reply.data(), e.reply.size(),
                                                                                  e.request.data(), e.request.size())
                                                           : "noise");
        }
        std::fprintf(stderr, "%s\n", lines.c_str());
      };
    } else if (arg == "--pace") {
      options.pace = true;
    } else if (arg == "--turnaround") {
      const char* v = value();
      long n = 0;
      if (!v || !ParseNumber(v, n) || n < 0 || n > 10000) return Usage("--turnaround takes 0..10000 ms");
      options.turnaround = std::chrono::milliseconds(n);
    } else if (arg == "--frame-by-silence") {
      options.completion = tamsu::Completion::BySilence;
    } else if (arg == "--no-drift") {
      options.drift = false;
    } else if (arg == "--port-dir") {
      const char* v = value();
      if (!v) return Usage("--port-dir needs a directory");
      options.portDirectory = v;
    } else if (arg == "--listen") {
      // tcp:PORT on loopback, or tcp:HOST:PORT with a numeric host ([::1] for IPv6).
      const char* v = value();
      std::string_view where = v ? v : "";
      if (where.substr(0, 4) != "tcp:") return Usage("--listen takes tcp:PORT or tcp:HOST:PORT");
      where.remove_prefix(4);
      const size_t colon = where.rfind(':');
      if (colon != std::string_view::npos) {
        std::string_view host = where.substr(0, colon);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        options.listenHost = std::string(host);
        where.remove_prefix(colon + 1);
      }
      long n = 0;
      if (!ParseNumber(where, n) || n < 0 || n > 65535) return Usage("--listen needs a port from 0 to 65535 (0: any free one)");
      options.listenPort = static_cast<uint16_t>(n);
      options.listenAnyPort = n == 0;
    } else if (arg == "--link") {
      const char* v = value();
      if (!v || !*v || std::strchr(v, '/')) return Usage("--link needs a plain name");
      options.linkName = v;
    } else {
      return Usage((std::string("unknown argument: ") + std::string(arg)).c_str());
    }
  }
  if (profileGiven && !devices.empty()) return Usage("--profile and --device do not go together");
  if (!profileGiven && devices.empty()) return Usage("--profile or --device is required");
  for (const std::string& text : devices) {
    std::string problem;
    auto device = ParseBusDevice(text, options.device, &problem);
    if (!device) return Usage(problem.c_str());
    options.bus.push_back(*device);
  }
  if (options.bus.size() == 1) {  // one --device is the --profile form
    options.profile = options.bus.front().profile;
    options.device = options.bus.front().config;
    options.bus.clear();
  }
  if (!options.bus.empty() && !faults.empty()) return Usage("--fault needs a line of one transmitter");
  if (!options.bus.empty() && mismatchGiven && options.mismatch == Mismatch::Garbage)
    return Usage("a bus's transmitters keep quiet at another rate: --mismatch garbage needs one transmitter");

  // Signals are taken by this thread alone, with sigwait, so the link is always removed.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  TransmitterSimulator sim(options);
  std::string error;
  if (!sim.Start(&error)) {
    std::fprintf(stderr, "tamsu-sim: %s\n", error.c_str());
    return 1;
  }
  for (const Fault& f : faults) sim.AddFault(f);
  std::printf("%s\n", sim.PortPath().c_str());
  if (sim.ListenPort() != 0) {
    const bool v6 = options.listenHost.find(':') != std::string::npos;
    std::printf("tcp://%s%s%s:%u\n", v6 ? "[" : "", options.listenHost.c_str(), v6 ? "]" : "", sim.ListenPort());
  }
  for (size_t i = 0; i < sim.DeviceCount(); ++i) {
    const DeviceConfig d = sim.ConfigOf(i);
    std::fprintf(stderr, "tamsu-sim: %s at address %d, %u baud, %s exchange, on %s (%s)\n",
                 options.bus.empty() ? options.profile.c_str() : options.bus[i].profile.c_str(), d.address, d.baud,
                 std::string(ProtocolName(d.protocol)).c_str(), sim.PortPath().c_str(), sim.DevicePath().c_str());
  }
  std::fflush(stdout);

  int sig = 0;
  sigwait(&stop, &sig);
  sim.Stop();
  return 0;
}
