#include "engine/Ending.h"

#include <atomic>

namespace velto {

namespace {
std::atomic<bool> g_ending = false;
}

void BeginEnd() { g_ending = true; }
bool EndBegun() { return g_ending; }

}  // namespace velto
