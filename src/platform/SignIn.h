#pragma once
// The one sign-in of every protocol: passwords from the settings or the
// keyring, tokens from the OAuth2 sources, one policy for refusals, and the
// words the user reads when it fails.
#include <QPointer>
#include <map>
#include <memory>
#include <vector>

#include "engine/EngineServices.h"
#include "platform/OAuthSignIn.h"

namespace velto {

class OAuthTokenStore;

class SignIn : public ISignIn {
public:
    // secrets may be null (passwords only from the settings), and so may
    // tokens (no OAuth2 sign-in here). store keeps what a browser sign-in
    // gives; open opens the browser (the desktop's unless given).
    SignIn(std::shared_ptr<ISecretStore> secrets, std::shared_ptr<ITokenSource> tokens, std::shared_ptr<OAuthTokenStore> store = {},
           OAuthSignIn::OpenBrowser open = {})
        : m_secrets(std::move(secrets)), m_tokens(std::move(tokens)), m_store(std::move(store)), m_open(std::move(open)) {}
    ~SignIn() override;

    void SignInWithBrowser(const AccountSettings& account, BrowserSignIn callbacks) override;
    void CancelSignIn(const std::string& account) override;
    // Told of each browser sign-in that succeeded (user-interface thread),
    // whoever asked for it: the account's watches are made anew with it.
    void SetSignedInListener(std::function<void(const std::string& account)> listener) {
        m_signedIn = std::move(listener);
    }
    void Forget(const std::string& account) override;
    ISecretStore* Secrets() override { return m_secrets.get(); }

    SignInResult Run(const AccountSettings& account, SignInDirection direction, const Attempt& attempt,
                     ILogSink* log, std::stop_token stop = {}) override;
    void AbortAll() override;
    void Resume() override;

    // Whether a token of this provider may go to this server: Google's and
    // Microsoft's go only to their own mail hosts.
    static bool ProviderHost(const std::string& provider, const std::string& server);
    // What the user reads when the keyring did not give a password back.
    static std::string KeyringReason(const SecretAnswer& answer);

private:
    SignInResult WithPassword(const AccountSettings& account, SignInDirection direction, const Attempt& attempt,
                              ILogSink* log, std::stop_token stop);
    SignInResult WithToken(const AccountSettings& account, const Attempt& attempt, ILogSink* log, std::stop_token stop);

    // Shared: a sign-in under way keeps the keyring it waits for.
    std::shared_ptr<ISecretStore> m_secrets;
    std::shared_ptr<ITokenSource> m_tokens;
    std::shared_ptr<OAuthTokenStore> m_store;
    OAuthSignIn::OpenBrowser m_open;
    struct Running {
        QPointer<OAuthSignIn> flow;
        std::vector<BrowserSignIn> waiting;
    };
    std::map<std::string, Running> m_running;  // browser sign-ins, by account
    std::function<void(const std::string&)> m_signedIn;
};

}  // namespace velto
