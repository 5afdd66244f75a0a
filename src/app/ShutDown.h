#pragma once
// The orderly end of the program, from whichever side it comes (the window
// closes, the session ends, a signal): the engine stops and saves, the
// settings are written, and nothing may keep the process alive afterwards.
#include <memory>
#include <thread>

namespace velto {

class AppWiring;
class RegistryHive;

class ShutDown {
public:
    ShutDown(AppWiring& parts, std::shared_ptr<RegistryHive> hive) : m_parts(parts), m_hive(std::move(hive)) {}
    // Lets the watchdog go.
    ~ShutDown();

    // Runs once; asked again (a second signal), it only ends the loop.
    void Run();
    // Closes open dialogs first: a modal one runs its own loop.
    void Now();
    static void CloseDialogs();

    bool Ended() const { return m_ended; }
    // The headers of this run could not be saved.
    bool HeadersLost() const { return m_headersLost; }
    // A thread of the program's had not returned by the end's limits (one
    // inside a name lookup); everything was saved all the same.
    bool ThreadsLeft() const { return m_threadsLeft; }

private:
    AppWiring& m_parts;
    std::shared_ptr<RegistryHive> m_hive;
    bool m_ended = false;
    bool m_headersLost = false;
    bool m_threadsLeft = false;
    // Ends the process if the end takes too long once everything is saved.
    std::jthread m_watchdog;
};

}  // namespace velto
