#include "host/messenger.h"

namespace pw::host {

namespace {
const char16_t* KindName(MessageRecord::Kind k) {
  switch (k) {
    case MessageRecord::Error: return u"Error";
    case MessageRecord::Information: return u"Information";
    case MessageRecord::Confirmation: return u"Confirmation";
    case MessageRecord::Question: return u"Question";
    case MessageRecord::Status: return u"Status";
    case MessageRecord::Report: return u"Report";
    case MessageRecord::Message: return u"Message";
  }
  return u"";
}
}  // namespace

void TMessenger::QueueConfirmation(bool yes) {
  std::lock_guard guard(lock_);
  confirmations_.push_back(yes ? 1 : 0);
}

void TMessenger::QueueAnswer(std::int32_t answer) {
  std::lock_guard guard(lock_);
  answers_.push_back(answer);
}

void TMessenger::SetDefaultConfirmation(std::optional<bool> yes) {
  std::lock_guard guard(lock_);
  defaultConfirmation_ = yes;
}

std::size_t TMessenger::PendingAnswers() const {
  std::lock_guard guard(lock_);
  return confirmations_.size() + answers_.size();
}

std::vector<MessageRecord> TMessenger::Messages() const {
  std::lock_guard guard(lock_);
  return messages_;
}

WideString TMessenger::StatusText() const {
  std::lock_guard guard(lock_);
  return status_;
}

void TMessenger::RaiseWhenWithoutDialogs(const WideString& text, std::int32_t helpContext) const {
  if (config_->Interactive()) return;
  EOleSysError e(text, E_FAIL);
  e.SetHelpContext(helpContext);
  throw e;
}

std::int32_t TMessenger::TakeAnswer(std::deque<std::int32_t>& queue, const WideString& text) {
  std::lock_guard guard(lock_);
  if (queue.empty() && &queue == &confirmations_ && defaultConfirmation_) return *defaultConfirmation_ ? 1 : 0;
  if (queue.empty()) throw EOleSysError(u"The test host has no answer for the question: " + text, E_FAIL);
  std::int32_t a = queue.front();
  queue.pop_front();
  return a;
}

void TMessenger::Add(MessageRecord record) {
  config_->Print(WideString(KindName(record.kind)) + u": " + record.text);
  std::lock_guard guard(lock_);
  messages_.push_back(std::move(record));
}

HRESULT TMessenger::Confirm(BSTR text, std::int32_t helpContext, std::int32_t, std::int32_t, VARIANT_BOOL* yes) {
  return SafeCall([&] {
    WideString t(BstrView(text));
    RaiseWhenWithoutDialogs(t, helpContext);
    std::int32_t a = TakeAnswer(confirmations_, t);
    Add({MessageRecord::Confirmation, t, helpContext, a});
    SetOutValue<VARIANT_BOOL>(yes, ToWordBool(a != 0));
  });
}

HRESULT TMessenger::ShowMessage(BSTR text, std::int32_t helpContext) {
  return SafeCall([&] { Add({MessageRecord::Message, WideString(BstrView(text)), helpContext, 0}); });
}

HRESULT TMessenger::ShowError(BSTR text, std::int32_t helpContext, std::int32_t) {
  return SafeCall([&] {
    WideString t(BstrView(text));
    RaiseWhenWithoutDialogs(t, helpContext);
    Add({MessageRecord::Error, t, helpContext, 0});
  });
}

HRESULT TMessenger::ShowInformation(BSTR text, std::int32_t helpContext, std::int32_t) {
  return SafeCall([&] {
    WideString t(BstrView(text));
    RaiseWhenWithoutDialogs(t, helpContext);
    Add({MessageRecord::Information, t, helpContext, 0});
  });
}

HRESULT TMessenger::Report(BSTR text, std::int32_t style, std::int32_t helpContext) {
  return SafeCall([&] { Add({MessageRecord::Report, WideString(BstrView(text)), helpContext, style}); });
}

HRESULT TMessenger::SetStatusText(BSTR text) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    status_ = WideString(BstrView(text));
  });
}

HRESULT TMessenger::ClearStatusText() {
  std::lock_guard guard(lock_);
  status_.clear();
  return S_OK;
}

HRESULT TMessenger::Ask(BSTR text, std::int32_t, std::int32_t, std::int32_t, std::int32_t helpContext, std::int32_t,
                        std::int32_t* answer) {
  return SafeCall([&] {
    WideString t(BstrView(text));
    RaiseWhenWithoutDialogs(t, helpContext);
    std::int32_t a = TakeAnswer(answers_, t);
    Add({MessageRecord::Question, t, helpContext, a});
    SetOutValue(answer, a);
  });
}

}  // namespace pw::host
