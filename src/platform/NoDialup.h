#pragma once
// Dial-up networking where the machine has no dial-up service: listing
// connections fails, which the engine takes as being online; nothing dials.
#include "engine/EngineServices.h"

namespace velto {

class NoDialup : public IDialup {
public:
    // RAS's "the service is not available" status.
    static constexpr long kServiceUnavailable = 711;
    long EnumConnections(std::vector<DialupConnection>& connections) override {
        connections.clear();
        return kServiceUnavailable;
    }
    void EnumEntryNames(std::vector<std::string>&) override {}
    void RunDialDialog(const std::string&) override {}
    long HangUp(long) override { return kServiceUnavailable; }
};

}  // namespace velto
