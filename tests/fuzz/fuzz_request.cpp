// Requests to the running copy, whatever arrives: refused or read, never a crash, and what is
// read says the same when handed over again.

#include "app/command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<Command> command =
        Command::fromRequest(QByteArrayView(data, qsizetype(size)));
    if (!command)
        return 0;
    const QByteArray again = command->toRequest();
    if (Command::fromRequest(again) != command)
        qFatal("a request does not read back the same: %s", again.constData());
    return 0;
}
