// tarvo-sim: a fleet of simulated cameras, NVRs, DVRs and decoders on this host's addresses.

#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

extern "C" {
#include <libavutil/log.h>
}

#include "TarvoVersion.h"
#include "sim/DeviceConfig.h"
#include "sim/FleetBuilder.h"
#include "sim/NetworkCheck.h"
#include "sim/Simulator.h"

namespace {

constexpr const char* kFooter = R"(
Device settings (--device, fleet file, and 'set' on the control socket):
  ip (or address), mac, type, name, version, user (admin), password (""),
  port (5505; 5500 for type 181),
  tag (0, put in every reply), replyDelayMs (replies wait this long), jitterMs (plus
  up to this much at random), moveGraceMs (1000: frames to the old address are still taken
  this long after a move), versionDelayMs (the firmware version query's reply waits this
  much longer),
  mask, gateway, dns, httpPort, reserved, dhcp, opaque   (network parameters),
  audio, protocol, overlay, onvifSubStream (1), resolution, outputResolution (NVR, 0..5),
  cloudIdentity, cloudPassword, cloudDeviceId (or cloud.identity, cloud.password,
  cloud.deviceId),
  loginRefused, tcpSilent, noTcp, dropUdp   (true/false),
  stayOnMove (true/false: takes new network parameters but keeps its old address),
  rebootSeconds (0..3600, 0: none): after taking a firmware package (answer tag 1) the device
  restarts: silent on UDP and TCP (its command port closed) for that long, then back, with the
  package's version when uploadInstalls is on,
  uploadRefused, uploadNoAnswer, uploadInstalls (true/false: a package taken whose name
  carries NN.NN.NN.NN from its 12th character becomes the device's version),
  uploadResetAfter, uploadStallAfter (file bytes), uploadReadRate (bytes/s), uploadSaveDir,
  uploadLeftover (hex sent at frame A),
  tcpTrickleMs (every command-port reply and the stream reply go out one byte at a time,
  this many ms apart; 0: whole), tcpReplyLength (the length every command-port reply
  announces; -1: its own), tcpReplyCut (replies cut to this many bytes; -1: whole),
  duplicates (extra discovery replies), duplicateName (the name they carry),
  replyShape: normal | short | noNul | long | empty | foreignTag | stub,
  video.codec (h264 | h265), video.width, video.height (1280x720), video.fps (25),
  video.bitrate (kbit/s, 2000), video.gop (50), video.codecCode (reply byte 26; 1 for h264,
  3 for h265), video.typeOneEvery (1: a type-1 packet after every picture), video.otherTypeEvery,
  video.fault: none | stall | reset | oversize | garbage | partial | partialClose |
  noStartCodes, video.faultAfter (pictures, 50); partial sends a packet header and half the
  payload it announces, then nothing more; partialClose then closes the connection (FIN);
  noStartCodes sends 2 MiB video packets without a start code in place of the pictures,
  video.replyWidth, video.replyHeight (the size the stream reply claims, 0 to 65535; -1: the
  real one), video.startDelayMs (nothing is sent for this long after the reply),
  video.file (a recording played in a loop on every stream instead of the test pattern: an
  H.264 or H.265 elementary stream, or any file FFmpeg opens whose video is H.264 or H.265;
  codec, size and rate are the file's),
  video.replySilent (true: the stream request is taken and never answered),
  video.scene: normal | black | flat | blur | frozen | bright (what the test pattern shows:
  itself, near-black, uniform grey, strongly blurred, its first picture again and again, or
  washed out; not a recording).
  Fleet files may nest them: "video": {"codec": "h265", "width": 3840, ...}.
  In --device and 'set', settings are separated by ',' (write '\,' inside a value).

Stream port (command port + 1, cameras and NVRs): the 12-byte request, the 32-byte reply, then
  one media packet per picture from a looped clip of the test pattern (about two seconds, whole
  GOPs) that libx264/libx265 encode once per format when it is first asked for.

Fleet file: {"devices": [{"ip": "127.0.0.2", "type": 100, "name": "Cam",
  "netParams": {"mask": "255.255.255.0", "gateway": "127.0.0.1", "httpPort": 80},
  "cloud": {"identity": "x", "password": "p", "deviceId": 7}, "dropUdp": false}, ...]}
  (or a bare array). Names and texts are UTF-8; devices send them in GB18030. A name,
  version or cloud text written "hex:1b5dff..." is sent as exactly those bytes.

Control socket (--control PATH): one line per connection, one JSON line back, then close.
  state [IP]                   {"devices":[{settings..., "tcpListening", "reboots",
                               "macResets", "logins":[{"transport","user","password",
                               "accepted"}], "received":[{"transport","command","length",
                               "hex", "sourcePort" (UDP)}], "receivedDropped"}]}
  clear [all]                  forget received frames (all: also logins, reboots, macResets)
  set IP|all key=value[,...]   change settings at run time; 'ip' moves the device,
                               'port'/'noTcp' re-open its command port
  flood [key=value[,...]]      change the discovery flood (a burst in progress ends);
                               {"ok":true,"flood":{settings..., "running", "runs",
                               "generated"},"udp":{"sent","dropped","queued"}}
  ping                         {"ok":true}
  Other answers: {"ok":true} or {"ok":false,"error":"..."}.

Discovery flood (--flood and the 'flood' command): phantom devices that answer every search
  with a burst of discovery replies; a search during a burst starts it again.
  rate (replies a second, 0: off, up to 100000), durationMs (1000), sources (distinct source
  addresses, 1000), base (first source, 127.2.0.1; .0 and .255 are skipped), type (100),
  name (prefix of the names, "Flood-"; the sources are numbered from 1),
  command (the reply code sent, 100; any other code is sprayed as a spoofing host would, with
  the source's own target), payload (hex bytes after the header; for 100 it replaces the name).
  E.g. --flood rate=10000,durationMs=2000,sources=3000. Replies go round the sources, so each
  answers rate x duration / sources times. The phantoms take no commands.

A network-parameters write with a new address of this host (e.g. another 127.x) moves the
device there; any other address is only remembered in its network parameters.
Stops cleanly on SIGINT/SIGTERM. Run it only inside a private network namespace (e.g.
scripts/sandbox, or `unshare --user --map-root-user --net`): where the namespace has a network
card, it refuses to start unless given --allow-real-network.
)";

// Whether this network namespace holds no network card, where simulated devices would answer
// on a real network; says why not on stderr.
bool privateNetwork() {
    std::vector<std::string> cards;
    std::string error;
    if (!tarvo::sim::hardwareInterfaces(cards, error)) {
        std::cerr << "tarvo-sim: " << error
                  << "; not starting (--allow-real-network starts it all the same)\n";
        return false;
    }
    if (cards.empty()) return true;
    std::string list;
    for (const auto& card : cards) list += (list.empty() ? "" : ", ") + card;
    std::cerr << "tarvo-sim: this network namespace has network cards (" << list
              << "): the simulated devices would answer on a real network. Run it in a "
                 "private network namespace (scripts/sandbox), or give "
                 "--allow-real-network.\n";
    return false;
}

}  // namespace

int main(int argc, char** argv) try {
    CLI::App app{
        "tarvo-sim: simulated network video devices answering on UDP 233.0.0.1:5250 "
        "and on their TCP command ports"};
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("tarvo-sim ") + tarvo::kVersion);

    std::vector<std::string> fleetFiles;
    std::vector<std::string> deviceLines;
    int count = 0;
    std::string baseIp = "127.0.1.1";
    int type = 100;
    std::string namePrefix = "IPC";
    tarvo::sim::SimulatorOptions options;

    app.add_option("--fleet", fleetFiles, "fleet file (JSON); repeatable")
        ->check(CLI::ExistingFile);
    app.add_option("--device", deviceLines,
                   "one device, e.g. 'ip=127.0.0.2,type=100,name=Cam,version=v00.00.22.06'; "
                   "repeatable");
    auto* countOption = app.add_option("--count", count, "generate this many devices (1..5000)")
                            ->check(CLI::Range(1, 5000));
    app.add_option("--base-ip", baseIp, "first address of the generated devices")
        ->needs(countOption);
    app.add_option("--type", type, "type code of the generated devices")
        ->needs(countOption)
        ->check(CLI::Range(0, 65535));
    app.add_option("--name-prefix", namePrefix, "name prefix of the generated devices")
        ->needs(countOption);
    app.add_option("--control", options.controlPath, "Unix socket for the control commands");
    app.add_option("--ready-file", options.readyFile,
                   "written once every socket is up (READY is also printed on stdout)");
    app.add_option("--seed", options.seed, "seed for the reply jitter (default: from the clock)");
    std::string flood;
    app.add_option("--flood", flood,
                   "discovery flood, e.g. 'rate=10000,durationMs=2000,sources=3000' (see below)");

    bool listSettings = false;
    app.add_flag("--list-settings", listSettings,
                 "print the name of every device setting, one a line, and exit");

    bool allowRealNetwork = false;
    app.add_flag("--allow-real-network", allowRealNetwork,
                 "start even in a network namespace with a network card (the devices then "
                 "answer on that network)");

    CLI11_PARSE(app, argc, argv);
    if (listSettings) {
        for (const std::string& name : tarvo::sim::DeviceConfig::settingNames())
            std::cout << name << '\n';
        return 0;
    }
    if (!allowRealNetwork && !privateNetwork()) return 2;
    if (!flood.empty()) options.flood = tarvo::sim::FleetBuilder::splitSettings(flood, ',');
    av_log_set_level(AV_LOG_ERROR);

    tarvo::sim::FleetBuilder builder;
    bool ok = true;
    for (const auto& file : fleetFiles) ok = ok && builder.addFile(file);
    for (const auto& line : deviceLines) ok = ok && builder.addDeviceLine(line);
    if (ok && count > 0) ok = builder.generate(count, baseIp, type, namePrefix);
    std::vector<tarvo::sim::DeviceConfig> devices;
    if (!ok || !builder.finish(devices)) {
        std::cerr << "tarvo-sim: " << builder.error() << "\n";
        return 2;
    }

    tarvo::sim::Simulator simulator(std::move(devices));
    return simulator.run(options);
} catch (const std::exception& e) {
    std::cerr << "tarvo-sim: " << e.what() << std::endl;
    return 1;
}
