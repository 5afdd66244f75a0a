#include "engine/ViewMessages.h"

#include "engine/UiChannel.h"

namespace velto {

template <typename Fn>
void ViewMessenger::Post(Fn fn) {
    m_channel->Post([target = m_target, fn = std::move(fn)] { fn(*target); });
}

template <typename Fn>
void ViewMessenger::Send(Fn fn) {
    m_channel->Send([target = m_target, fn = std::move(fn)] { fn(*target); });
}

void ViewMessenger::PostListRefresh() {
    Post([](IViewMessages& v) { v.OnListRefresh(); });
}
void ViewMessenger::PostCheckFailed() {
    Post([](IViewMessages& v) { v.OnCheckFailed(); });
}
void ViewMessenger::PostUntrustedCertificate(std::string account, PeerCertificate certificate) {
    Post([order = m_order, account = std::move(account), certificate = std::move(certificate)](IViewMessages& v) {
        v.OnUntrustedCertificate(*order, account, certificate);
    });
}
void ViewMessenger::PostSignInExpired(std::string account) {
    Post([order = m_order, account = std::move(account)](IViewMessages& v) { v.OnSignInExpired(*order, account); });
}
void ViewMessenger::PostAccountsChecked(std::vector<AccountCheck> results) {
    Post([results = std::move(results)](IViewMessages& v) { v.OnAccountsChecked(results); });
}
void ViewMessenger::PostWorkerDone() {
    Post([](IViewMessages& v) { v.OnWorkerDone(); });
}
void ViewMessenger::SendRetrieveDone(RetrieveResult result) {
    Send([order = m_order, result](IViewMessages& v) { v.OnRetrieveDone(*order, result, {}); });
}
void ViewMessenger::PostRetrieveDone(RetrieveResult result, std::string text) {
    Post([order = m_order, result, text = std::move(text)](IViewMessages& v) { v.OnRetrieveDone(*order, result, text); });
}
void ViewMessenger::SendDeleteDone() {
    Send([](IViewMessages& v) { v.OnDeleteDone(); });
}
void ViewMessenger::PostMarkedRead() {
    Post([order = m_order](IViewMessages& v) { v.OnMarkedRead(*order); });
}
void ViewMessenger::SendProgressStart(std::string text, int range) {
    Send([text = std::move(text), range](IViewMessages& v) { v.OnProgressStart(text, range); });
}
void ViewMessenger::SendProgressStep(std::string text, int position) {
    Send([text = std::move(text), position](IViewMessages& v) { v.OnProgressStep(text, position); });
}
void ViewMessenger::SendProgressEnd() {
    Send([](IViewMessages& v) { v.OnProgressEnd(); });
}
void ViewMessenger::PostProgressEnd() {
    Post([](IViewMessages& v) { v.OnProgressEnd(); });
}
void ViewMessenger::PostProgressText(std::string text) {
    Post([text = std::move(text)](IViewMessages& v) { v.OnProgressText(text); });
}
void ViewMessenger::PostProgressRange(int upper) {
    Post([upper](IViewMessages& v) { v.OnProgressRange(upper); });
}
void ViewMessenger::PostProgressAdvance(int step) {
    Post([step](IViewMessages& v) { v.OnProgressAdvance(step); });
}
void ViewMessenger::PostProgressReset() {
    Post([](IViewMessages& v) { v.OnProgressReset(); });
}

}  // namespace velto
