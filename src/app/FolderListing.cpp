#include "app/FolderListing.h"

#include <QCoreApplication>
#include <stop_token>

#include "engine/ImapWorkers.h"

namespace velto {

ImapFolderLister MakeImapFolderLister(OwnedThreads& threads, std::shared_ptr<ISignIn> signIn,
                                      std::shared_ptr<ITlsLayer> tls,
                                      std::function<std::shared_ptr<ITransportFactory>()> transports) {
    return [&threads, signIn, tls, transports](const AccountSettings& account,
                                               std::function<void(ImapFolderListing)> done) {
        std::shared_ptr<ITransportFactory> own = transports();
        threads.Start([signIn, tls, own, account, done](std::stop_token stop) {
            std::stop_callback cut(stop, [own] { own->AbortAll(); });
            ImapOpen with;
            with.tls = tls.get();
            with.signIn = signIn.get();
            with.stop = stop;
            ImapFolderListing listing;
            with.untrusted = [&listing](const PeerCertificate& certificate) { listing.untrusted = certificate; };
            listing.ok = ListImapFolders(account, own, with, listing.folders, listing.why);
            if (stop.stop_requested()) return;  // the end: nobody is left to tell
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(app, [done, listing] { done(listing); }, Qt::QueuedConnection);
        });
    };
}

}  // namespace velto
