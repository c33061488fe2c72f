// rackhost session: a PLAYER feeding a RECORDER on one host clock.
#include "commands.h"
#include "kestravel_host/session.h"
#include "kestravel_host/utf.h"

namespace kestravel::plugins {

namespace {

int runSessionCommand(const Arguments& args, std::ostream& out)
{
    SessionOptions options;
    options.playerBundle = pathFromUtf8(*args.value("player"));
    options.recorderBundle = pathFromUtf8(*args.value("recorder"));
    options.source = pathFromUtf8(*args.value("in"));
    options.take = pathFromUtf8(*args.value("take"));
    options.block = static_cast<std::int32_t>(args.integer("block", 512, 1, 65536));
    if (args.has("tail-frames"))
        options.tailFrames = args.integer("tail-frames", 0, 0, std::int64_t{1} << 40);

    const SessionReport r = runSession(options, &out);
    out << "take: " << pathToUtf8(r.armedTake) << ", " << r.takeFrames << " frames of " << r.takeChannels
        << " channel(s) at " << r.sampleRate << " Hz\n";
    out << "source: " << r.sourceFrames << " frames; the take matches it sample for sample for the first "
        << r.matchingFrames << " frames; " << (r.takeFrames - r.sourceFrames) << " tail frames, "
        << (r.tailSilent ? "silent" : "not silent") << '\n';
    if (r.aligned())
    {
        out << "aligned: the take starts on the PLAYER's first sample\n";
        return 0;
    }
    out << "NOT aligned: the take does not reproduce the source from its first sample\n";
    return 1;
}

constexpr OptionSpec kOptions[] = {
    {"player", OptionKind::Value, "PLAYER_BUNDLE", "the module that plays the source", true},
    {"recorder", OptionKind::Value, "RECORDER_BUNDLE", "the module that records the take", true},
    {"in", OptionKind::Value, "SOURCE.wav", "the PLAYER's file (16-bit PCM or 32-bit float)", true},
    {"take", OptionKind::Value, "TAKE.wav", "the RECORDER's destination; if it exists a -takeN name is armed", true},
    {"block", OptionKind::Value, "N", "samples per block (default 512)"},
    {"tail-frames", OptionKind::Value, "N", "frames processed after the transport stops (default: tail silence + 2 blocks)"},
};

} // namespace

const CommandSpec kSessionCommand{"session", {}, kOptions, runSessionCommand,
                                  "Play a source through a PLAYER into a RECORDER and check the take."};

} // namespace kestravel::plugins
