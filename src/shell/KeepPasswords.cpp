#include "shell/KeepPasswords.h"

#include <QString>
#include <memory>

#include "present/Questions.h"
#include "present/WidgetText.h"
#include "settings/RegistryDatabase.h"
#include "settings/Settings.h"

namespace velto {

namespace {

// The user agreed: the passwords go into the settings file, and the
// account stops looking for them in the keyring.
void KeepInFile(const PasswordChange& change) {
    const auto names = RegistryDatabase::SubkeyNames(keys::kAccounts);
    if (std::find(names.begin(), names.end(), change.account) == names.end()) return;  // removed meanwhile
    AccountSettings account(keys::Join(keys::kAccounts, change.account));
    account.SetUserPassword(change.write[0] ? change.secret[0] : change.old[0]);
    account.m_outgoingPassword = change.write[1] ? change.secret[1] : change.old[1];
    account.m_passwordInKeyring = 0;
    account.m_modified = 1;
    account.Save(keys::kAccounts);
}

// The keyring holds them now: the file's copies go, unless the user changed
// them again meanwhile.
void MoveOutOfFile(const PasswordChange& change) {
    const auto names = RegistryDatabase::SubkeyNames(keys::kAccounts);
    if (std::find(names.begin(), names.end(), change.account) == names.end()) return;
    AccountSettings account(keys::Join(keys::kAccounts, change.account));
    if (account.m_passwordInKeyring || account.GetUserPassword() != change.secret[0] ||
        account.m_outgoingPassword != change.secret[1])
        return;
    account.SetUserPassword({});
    account.m_outgoingPassword.clear();
    account.m_passwordInKeyring = 1;
    account.m_modified = 1;
    account.Save(keys::kAccounts);
}

void Refused(const PasswordChange& change, const std::string& why, std::function<void(bool)> done) {
    if (change.fromFile) {  // they stay in the file, as before
        if (done) done(false);
        return;
    }
    const QString text = FromUtf8("The keyring did not take the password of " + change.account + " (" + why +
                                  "), so the change was not saved.\n\n"
                                  "Keep the password in the settings file instead, readable "
                                  "by anyone who can read your files?");
    Questions::Instance().Ask(nullptr, QStringLiteral("VeltoMail"), text, [change, done](bool yes) {
        if (yes) KeepInFile(change);
        if (done) done(yes);
    });
}

}  // namespace

void KeepPasswords(ISecretStore& secrets, PasswordChange change, std::function<void(bool)> done) {
    auto shared = std::make_shared<PasswordChange>(std::move(change));
    ISecretStore* store = &secrets;
    auto second = [store, shared, done](bool firstWritten) {
        if (!shared->write[1]) {
            if (shared->fromFile) MoveOutOfFile(*shared);
            if (done) done(true);
            return;
        }
        store->WriteAsync(PasswordKey(shared->account, true), shared->secret[1],
                          [store, shared, done, firstWritten](bool ok, const std::string& why) {
                              if (ok) {
                                  if (shared->fromFile) MoveOutOfFile(*shared);
                                  if (done) done(true);
                                  return;
                              }
                              if (firstWritten && shared->oldKnown[0])
                                  store->WriteAsync(PasswordKey(shared->account, false), shared->old[0], {});
                              Refused(*shared, why, done);
                          });
    };
    if (!shared->write[0]) return second(false);
    store->WriteAsync(PasswordKey(shared->account, false), shared->secret[0],
                      [shared, second, done](bool ok, const std::string& why) {
                          if (ok) return second(true);
                          Refused(*shared, why, done);
                      });
}

}  // namespace velto
