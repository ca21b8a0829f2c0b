#pragma once
// The start-up check that a host instance can be created at all.

#include <QString>

namespace tabulory {

class HostFactory;
class Messages;

// The five paragraphs shown when no host instance can be created.
QString HostUnavailableText();

// Creates one host instance and releases it at once (no Quit). When none can
// be created (nullptr or any failure), shows HostUnavailableText() with OK and
// no caption of its own, and gives false: the caller then ends the program.
bool CheckHostAvailable(HostFactory& factory, Messages& messages);

}  // namespace tabulory
