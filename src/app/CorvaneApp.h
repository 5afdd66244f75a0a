#pragma once

namespace velto {

class CCorvaneApp {
public:
    // Runs the program: start-up, the event loop, shut-down. Returns the
    // process exit status.
    static int Main(int argc, char** argv);
};

}  // namespace velto
