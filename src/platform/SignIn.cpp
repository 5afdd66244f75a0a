#include "platform/SignIn.h"

#include <algorithm>
#include <cctype>

#include "engine/Ending.h"
#include "platform/OAuthTokens.h"
#include "protocol/LogSink.h"
#include "settings/Settings.h"

namespace velto {

namespace {

void Note(ILogSink* log, const AccountSettings& account, const std::string& text) {
    if (log) log->AppendOutput("Sign-in for " + account.GetAccountName() + ": " + text + "\r\n");
}

void Wipe(std::string& secret) { std::fill(secret.begin(), secret.end(), '\0'); }

// The reasons a refusal gives, whatever the protocol.
std::string Refusal(const SignInTry& tried, bool oauth) {
    switch (tried.verdict) {
    case SignInTry::NeedsTls: return "OAuth2 signs in only over a secure connection";
    case SignInTry::NotTaken: return "the server does not take OAuth2 sign-ins";
    case SignInTry::Refused:
        if (oauth) return "the server refused the OAuth2 sign-in: it has expired or was revoked";
        return tried.why.empty() ? "the server refused the password" : tried.why;
    default: return tried.why.empty() ? "the connection failed" : tried.why;
    }
}

bool EndsWith(const std::string& host, const std::string& domain) {
    return host == domain || (host.size() > domain.size() && host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
                              host[host.size() - domain.size() - 1] == '.');
}

}  // namespace

bool SignIn::ProviderHost(const std::string& provider, const std::string& server) {
    std::string host;
    for (char c : server) host += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (provider == "Google")
        return EndsWith(host, "gmail.com") || EndsWith(host, "googlemail.com") || EndsWith(host, "google.com");
    if (provider == "Microsoft")
        return EndsWith(host, "office365.com") || EndsWith(host, "outlook.com") || EndsWith(host, "hotmail.com") ||
               EndsWith(host, "live.com");
    return true;  // another provider's client names its own hosts
}

std::string SignIn::KeyringReason(const SecretAnswer& answer) {
    if (answer.missing) return "the keyring holds no password for it (type it again in Mailbox Setup)";
    if (answer.why == "cancelled") return "cancelled";
    return "no keyring answered for its password: start the desktop's keyring, or type the password in Mailbox "
           "Setup to keep it in the settings file";
}

SignInResult SignIn::Run(const AccountSettings& account, SignInDirection direction, const Attempt& attempt,
                         ILogSink* log, std::stop_token stop) {
    const bool oauth = direction == SignInDirection::Incoming ? account.m_incomingSignIn == kSignInOAuth2
                                                              : account.m_outgoingSignIn == kSignInOAuth;
    if (!oauth) return WithPassword(account, direction, attempt, log, stop);
    // A Google or Microsoft sign-in is that provider's: its tokens go to no
    // other host, whatever the account names.
    const std::string host = direction == SignInDirection::Incoming ? account.GetServerName() : account.GetOutgoingServer();
    if (!ProviderHost(account.m_oauthProvider, host)) {
        const std::string reason = "the " + account.m_oauthProvider + " sign-in is not sent to " + host +
                                   ", which is not one of " + account.m_oauthProvider + "'s mail servers";
        Note(log, account, reason);
        return {false, reason, false};
    }
    return WithToken(account, attempt, log, stop);
}

SignInResult SignIn::WithPassword(const AccountSettings& account, SignInDirection direction, const Attempt& attempt,
                                  ILogSink* log, std::stop_token stop) {
    const bool outgoing = direction == SignInDirection::Outgoing;
    // Sending may sign in with the checking's name and password, its own,
    // or not at all.
    const bool ownOutgoing = outgoing && account.m_outgoingSignIn == kSignInOwn;
    std::string user = !outgoing ? account.GetUserName() : account.OutgoingUser();
    if (outgoing && account.m_outgoingSignIn == kSignInNone) user.clear();
    std::string password = ownOutgoing ? account.m_outgoingPassword : account.GetUserPassword();
    if (!user.empty() && account.m_passwordInKeyring && m_secrets) {
        SecretAnswer answer = m_secrets->Read(PasswordKey(account.GetAccountName(), ownOutgoing), stop);
        if (!answer.ok) {
            const std::string reason = KeyringReason(answer);
            // The keyring's own words are for the log; the user reads what to do.
            Note(log, account, reason + (answer.why.empty() ? "" : " (" + answer.why + ")"));
            return {false, reason, false};
        }
        password = std::move(answer.secret);
        Wipe(answer.secret);
    }
    const SignInTry tried = attempt(false, user, password);
    Wipe(password);
    if (tried.verdict == SignInTry::Done) return {true, {}, false};
    return {false, Refusal(tried, false), false};
}

SignInResult SignIn::WithToken(const AccountSettings& account, const Attempt& attempt, ILogSink* log,
                               std::stop_token stop) {
    if (!m_tokens) {
        Note(log, account, "no OAuth2 sign-in here");
        return {false, "no OAuth2 sign-in here", false};
    }
    const std::string address = account.GetEmailAddress();
    TokenProblem problem;
    std::string token;
    SignInTry tried;
    // The token held, then once a fresh one if the server refused it.
    for (bool fresh : {false, true}) {
        if (!m_tokens->AccessToken(account, fresh, token, problem, stop)) {
            Note(log, account, problem.why);
            return {false, problem.why, problem.signInMends && problem.why != "cancelled"};
        }
        tried = attempt(true, address, token);
        Wipe(token);
        if (tried.verdict != SignInTry::Refused) break;
    }
    if (tried.verdict == SignInTry::Done) return {true, {}, false};
    return {false, Refusal(tried, true), tried.verdict == SignInTry::Refused};
}

SignIn::~SignIn() {
    for (auto& [name, running] : m_running)
        if (running.flow) delete running.flow.data();
}

void SignIn::SignInWithBrowser(const AccountSettings& account, BrowserSignIn callbacks) {
    const std::string name = account.GetAccountName();
    Running& running = m_running[name];
    running.waiting.push_back(std::move(callbacks));
    if (running.flow) return;  // one sign-in per account: this one joins it
    auto finish = [this, name](bool ok, const std::string& text) {
        auto it = m_running.find(name);
        if (it == m_running.end()) return;
        Running done = std::move(it->second);
        m_running.erase(it);
        if (done.flow) done.flow->deleteLater();
        if (ok && m_signedIn) m_signedIn(name);
        for (auto& w : done.waiting)
            if (w.done) w.done(ok, text);
    };
    if (EndBegun()) return finish(false, "The sign-in failed: the program is ending");
    auto* flow = new OAuthSignIn(ClientOf(account), m_open);
    running.flow = flow;
    flow->ExpectIdentity(QString::fromStdString(account.GetEmailAddress()));
    QObject::connect(flow, &OAuthSignIn::browserNotOpened, flow, [this, name](const QUrl& address) {
        if (auto it = m_running.find(name); it != m_running.end())
            for (auto& w : it->second.waiting)
                if (w.openByHand) w.openByHand(address.toString(QUrl::FullyEncoded).toStdString());
    });
    QObject::connect(flow, &OAuthSignIn::finished, flow, [this, flow, account, finish](bool ok, const QString& why) {
        if (!ok) return finish(false, "The sign-in failed: " + why.toStdString());
        const QString who = flow->Identity().isEmpty() ? QString::fromStdString(account.GetEmailAddress()) : flow->Identity();
        const std::string text = "Signed in as " + who.toStdString();
        if (!m_store) return finish(true, text + " (for this run only: no place to keep the sign-in)");
        // Told once the keyring has answered: kept, or for this run only.
        m_store->Remember(account, flow->Tokens(), [finish, text](bool kept, const std::string& notKept) {
            finish(true, kept ? text : text + " (for this run only: the keyring did not take the sign-in: " + notKept + ")");
        });
    });
    QString error;
    if (!flow->Start(error)) finish(false, "The sign-in failed: " + error.toStdString());
}

void SignIn::CancelSignIn(const std::string& account) {
    if (auto it = m_running.find(account); it != m_running.end() && it->second.flow) it->second.flow->Cancel();
}

void SignIn::Forget(const std::string& account) {
    if (m_secrets) {
        m_secrets->RemoveAsync(PasswordKey(account, false));
        m_secrets->RemoveAsync(PasswordKey(account, true));
    }
    if (m_store) m_store->Forget(account);
}

void SignIn::AbortAll() {
    if (m_secrets) m_secrets->AbortAll();
    if (m_tokens) m_tokens->AbortAll();
}

void SignIn::Resume() {
    if (m_secrets) m_secrets->Resume();
    if (m_tokens) m_tokens->Resume();
}

}  // namespace velto
