#pragma once
// An account's changed passwords going into the keyring after its sheet has
// closed. The keyring never gives a password up to the settings file on its
// own: a refusal is told, and the file takes the passwords only when the
// user says so.
#include <functional>
#include <string>

#include "engine/EngineServices.h"

namespace velto {

struct PasswordChange {
    std::string account;
    // Incoming [0] and outgoing [1]: the new passwords, those the keyring
    // held (when known), and which ones changed.
    std::string secret[2], old[2];
    bool oldKnown[2] = {true, true};
    bool write[2] = {false, false};
    // The account kept its passwords in the settings file so far: they
    // leave it only once the keyring has taken them, and stay where it
    // does not.
    bool fromFile = false;
};

// The incoming password first: when the outgoing one is then refused, the
// incoming one is put back as it was, so no half-changed pair is left.
// done(kept) follows on the user-interface thread.
void KeepPasswords(ISecretStore& secrets, PasswordChange change, std::function<void(bool kept)> done = {});

}  // namespace velto
