#pragma once
// Mailbox Setup's "Folders...": each listing runs on a thread the given
// owner holds, with connections of its own that the thread's stop cuts, so
// the end of the program never waits out a silent server.
#include <functional>
#include <memory>

#include "engine/OwnedThreads.h"
#include "shell/MailPropertySheet.h"

namespace velto {

class ISignIn;
class ITlsLayer;
class ITransportFactory;

// threads must outlive the lister. transports: a fresh factory a listing.
ImapFolderLister MakeImapFolderLister(OwnedThreads& threads, std::shared_ptr<ISignIn> signIn,
                                      std::shared_ptr<ITlsLayer> tls,
                                      std::function<std::shared_ptr<ITransportFactory>()> transports);

}  // namespace velto
