// Feeds arbitrary bytes to the OSC server's packet handler, as if they had
// arrived over UDP: the handler decodes them with liblo, reads the address
// and arguments into a command and queues it, or says what was wrong. Whatever
// the bytes, it must neither crash nor read or write outside what it owns
// (run under ASan and UBSan), and a command it queues holds only values the
// GUI thread can take as they are.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "midi/OscCommand.h"
#include "midi/OscServer.h"
#include "midi/RateLimitedReport.h"

namespace {
void Check(bool ok)
{
    if (!ok)
        abort();
}

void CheckCommand(const OscCommand& c)
{
    Check(c.kind != OscCommand::NONE);
    Check(std::isfinite(c.value));
    Check(std::memchr(c.name, '\0', OscCommand::NAME_SIZE) != nullptr);
    Check(c.note >= 0 && c.note <= 127 && c.velocity >= 0 && c.velocity <= 127);
    Check(c.kind != OscCommand::MASTER_EFFECT || (c.index >= 0 && c.param >= 0 && c.param < 7));
    Check(!c.query || c.kind == OscCommand::SOURCE_PARAM || c.kind == OscCommand::MASTER_EFFECT);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static RateLimitedReport report;
    static OscServer server(&report);
    server.HandlePacket(data, size, OscSender());
    OscCommand command;
    while (server.PopCommand(&command))
        CheckCommand(command);
    return 0;
}
