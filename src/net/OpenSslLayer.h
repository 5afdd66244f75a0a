#pragma once
// TLS over any ITransport with OpenSSL 3: the encrypted bytes go through the
// inner transport's Send and Receive, so its time limits and AbortAll cover
// TLS connections too.
#include <memory>
#include <string>

#include "protocol/Transport.h"

namespace velto {

struct TlsTrust {
    // Certificates trusted besides the system's store (PEM file); empty for
    // none. Lets a private server be trusted without touching the system.
    std::string extraAuthorities;
};

std::shared_ptr<ITlsLayer> MakeOpenSslLayer(const TlsTrust& trust = {});

// "AB:CD:..." of text in any case, with or without separators; empty when it
// is not 32 bytes of hex.
std::string NormalizeFingerprint(const std::string& text);

}  // namespace velto
