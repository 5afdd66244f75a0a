#pragma once
// What the engine needs from the desktop, each behind a small interface: the
// real ones live with the platform, tests use fakes. Every method here is
// called on the user-interface thread.
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace velto {

// Tray icon resources.
enum TrayIcon : int {
    kIconIdle = 233,
    kIconBusy1 = 227,
    kIconBusy2 = 229,
    kIconBusy3 = 241,
    kIconBlink1 = 224,
    kIconBlink2 = 225,
};

class ITray {
public:
    virtual ~ITray() = default;
    // False when the desktop has no tray: the main window must then never hide.
    virtual bool IsAvailable() const = 0;
    virtual void Add(int icon, const std::string& tip) = 0;
    virtual void SetIcon(int icon) = 0;
    virtual void SetTip(const std::string& tip) = 0;
    virtual void Remove() = 0;
    // A desktop notification beside the tray (new mail).
    virtual void Notify(const std::string& title, const std::string& text) = 0;
};

// The number of new messages beside the program's entry on a dock or task
// bar, where the desktop shows one.
class IDockCount {
public:
    virtual ~IDockCount() = default;
    // 0 takes the number away.
    virtual void SetCount(int count) = 0;
};

class ISound {
public:
    virtual ~ISound() = default;
    // Starts the file and returns at once; does nothing while a sound still
    // plays, or when the file cannot be played.
    virtual void PlayAsync(const std::string& path) = 0;
    virtual void Stop() = 0;
};

// Window timers of the view: SetTimer re-arms a running id. The owner calls
// the engine's OnTimer(id) when one fires.
class ITimerHost {
public:
    virtual ~ITimerHost() = default;
    virtual bool SetTimer(int id, int milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
};

// Dial-up networking: active connections, dialling an entry, hanging up.
struct DialupConnection {
    std::string entryName;
    long handle = 0;
};

class IDialup {
public:
    virtual ~IDialup() = default;
    // None of these waits for the service: they answer from what it last
    // said. 0 on success, with the active connections.
    virtual long EnumConnections(std::vector<DialupConnection>& connections) = 0;
    // Phone book entry names, in the service's order.
    virtual void EnumEntryNames(std::vector<std::string>& names) = 0;
    // Opens the dialling dialog for the entry and returns at once; closed
    // runs on the UI thread once it has closed (connected or not), with
    // the connections as they are after it.
    virtual void RunDialDialog(const std::string& entry, std::function<void()> closed) = 0;
    // Asks for the hang-up; the connection leaves the list when the
    // service says it is down.
    virtual long HangUp(long handle) = 0;
    // then runs on the UI thread once the service's first answers are in
    // (or it could not be asked); until then EnumConnections cannot tell
    // (non-zero) and no entry is listed.
    virtual void WhenKnown(std::function<void()> then) { then(); }

    // Beyond dial-up, the network as the desktop sees it: whether the
    // internet can be reached now (true when nobody can tell), and calls on
    // the UI thread when it can be again and when the machine wakes up.
    virtual bool HasConnectivity() { return true; }
    virtual void SetNetworkListener(std::function<void()> connectivityBack, std::function<void()> resumed) {
        (void)connectivityBack;
        (void)resumed;
    }
};

// Passwords and sign-in tokens in the desktop's keyring (the Secret Service,
// KWallet).
struct SecretAnswer {
    bool ok = false;
    // The keyring answered, and holds nothing under the key.
    bool missing = false;
    std::string secret;
    std::string why;  // when not ok
};

class ISecretStore {
public:
    virtual ~ISecretStore() = default;
    // Worker threads: wait for the keyring, a few seconds at most, and no
    // longer once the work's stop is asked or AbortAll was called.
    virtual SecretAnswer Read(const std::string& key, std::stop_token stop = {}) = 0;
    virtual bool Write(const std::string& key, const std::string& secret, std::string* why = nullptr) = 0;
    // Any thread: return at once; the answer comes later on the
    // user-interface thread, from its event loop, never inside the call.
    virtual void ReadAsync(const std::string& key, std::function<void(const SecretAnswer&)> done) = 0;
    virtual void WriteAsync(const std::string& key, const std::string& secret,
                            std::function<void(bool ok, const std::string& why)> done) = 0;
    virtual void RemoveAsync(const std::string& key) = 0;
    virtual void AbortAll() {}
    virtual void Resume() {}
};

class AccountSettings;
class ILogSink;

// Why no token came, and whether the browser sign-in would mend that (or a
// refusal of the token given): not for a provider out of reach, nor for an
// account the desktop signs in.
struct TokenProblem {
    std::string why;
    bool signInMends = true;
};

// Access tokens of accounts that sign in with OAuth2. Called by workers,
// never on the user-interface thread; waits at most its own time limits.
class ITokenSource {
public:
    virtual ~ITokenSource() = default;
    // A token to sign in with; fresh: the last one was refused, so not the
    // one held. False with the reason in problem; "cancelled" once stop is
    // asked.
    virtual bool AccessToken(const AccountSettings& account, bool fresh, std::string& token, TokenProblem& problem,
                             std::stop_token stop = {}) = 0;
    // Cuts every call under way at once (the end), and those made until
    // Resume, as ITransportFactory does for connections.
    virtual void AbortAll() {}
    virtual void Resume() {}
};

// Which way a sign-in goes: checking and reading (POP3), or sending (SMTP).
enum class SignInDirection { Incoming, Outgoing };

// What the server made of one sign-in attempt.
struct SignInTry {
    enum Verdict { Done, Refused, NeedsTls, NotTaken, Failed };
    Verdict verdict = Failed;
    std::string why;  // the protocol's own words, when it has them
};

struct SignInResult {
    bool ok = false;
    std::string reason;    // why not, in plain words
    bool askUser = false;  // a browser sign-in would mend it
};

// The one way every protocol signs in. For an account and a direction it
// gives the attempt the password (from the settings or the keyring) or an
// access token; a refused token is replaced by a fresh one once; a password
// the keyring did not give back is never tried (empty ones would count as
// failed sign-ins, which may lock the account). Worker threads only; waits
// at most its own limits, and no longer once the work's stop is asked (its
// Cancel) or AbortAll was called (the end).
class ISignIn {
public:
    // oauth: user is the address and secret a token; else a user name and
    // password. An empty user: the account does not sign in (sending).
    using Attempt = std::function<SignInTry(bool oauth, const std::string& user, const std::string& secret)>;
    virtual ~ISignIn() = default;
    virtual SignInResult Run(const AccountSettings& account, SignInDirection direction, const Attempt& attempt,
                             ILogSink* log, std::stop_token stop = {}) = 0;
    virtual void AbortAll() {}
    virtual void Resume() {}

    // User-interface thread from here on; each returns at once.
    // Signs the account in through the browser and keeps its tokens: done
    // follows once, with "Signed in as ..." or why not; openByHand gets the
    // address to open when no browser could be. One sign-in per account: a
    // second call joins the one under way.
    struct BrowserSignIn {
        std::function<void(bool ok, const std::string& text)> done;
        std::function<void(const std::string& address)> openByHand;
    };
    virtual void SignInWithBrowser(const AccountSettings& account, BrowserSignIn callbacks) {
        (void)account;
        if (callbacks.done) callbacks.done(false, "signing in with OAuth2 is not available here");
    }
    virtual void CancelSignIn(const std::string& account) { (void)account; }
    // The account was removed: its passwords and sign-in leave the keyring.
    virtual void Forget(const std::string& account) { (void)account; }
    // The keyring, for the windows' own reads and writes; null without one.
    virtual ISecretStore* Secrets() { return nullptr; }
};

}  // namespace velto
