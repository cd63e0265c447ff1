// The host's messenger (IcvMessenger): messages, confirmations and questions to the user. A test
// host shows nothing: it records every message and answers questions from a queue of scripted
// answers. Without dialogs, every message and question fails with its text instead, so that the
// caller raises it.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "host/com_support.h"
#include "host/host_config.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

struct MessageRecord {
  enum Kind { Error, Information, Confirmation, Question, Status, Report, Message };
  Kind kind;
  WideString text;
  std::int32_t helpContext = 0;
  std::int32_t answer = 0;  // confirmations: 1 yes, 0 no
};

class TMessenger final : public Implements<ComObject, IcvMessenger> {
 public:
  explicit TMessenger(std::shared_ptr<HostConfig> config) : config_(std::move(config)) {}

  // Answers for the next confirmations and questions, in order.
  void QueueConfirmation(bool yes);
  // The answer of confirmations asked when no scripted answer is queued (none: such a question
  // fails). Only a host with dialogs asks.
  void SetDefaultConfirmation(std::optional<bool> yes);
  void QueueAnswer(std::int32_t answer);
  std::size_t PendingAnswers() const;
  std::vector<MessageRecord> Messages() const;
  WideString StatusText() const;

  PW_HOST_RESERVED(3)
  PW_HOST_RESERVED(4)
  PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8) PW_HOST_RESERVED(9)
      PW_HOST_RESERVED(10) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13) PW_HOST_RESERVED(14) PW_HOST_RESERVED(15)
          PW_HOST_RESERVED(20) PW_HOST_RESERVED(21) PW_HOST_RESERVED(24) PW_HOST_RESERVED(25)
              PW_HOST_RESERVED(26) HRESULT
      Confirm(BSTR text, std::int32_t helpContext, std::int32_t, std::int32_t, VARIANT_BOOL* yes) override;
  // Recorded (kind Message) and printed, with or without dialogs; never raises.
  HRESULT ShowMessage(BSTR text, std::int32_t helpContext) override;
  HRESULT ShowError(BSTR text, std::int32_t helpContext, std::int32_t) override;
  HRESULT ShowInformation(BSTR text, std::int32_t helpContext, std::int32_t) override;
  // Recorded (help context and style kept: the style in `answer`) and printed; never raises.
  HRESULT Report(BSTR text, std::int32_t style, std::int32_t helpContext) override;
  HRESULT SetStatusText(BSTR text) override;
  HRESULT ClearStatusText() override;
  HRESULT Ask(BSTR text, std::int32_t kind, std::int32_t buttons, std::int32_t defaultButton, std::int32_t helpContext,
              std::int32_t, std::int32_t* answer) override;

 private:
  // Without dialogs: raises the text (the caller gets it as a failure with error information).
  void RaiseWhenWithoutDialogs(const WideString& text, std::int32_t helpContext) const;
  std::int32_t TakeAnswer(std::deque<std::int32_t>& queue, const WideString& text);
  void Add(MessageRecord record);

  std::shared_ptr<HostConfig> config_;
  mutable std::mutex lock_;
  std::deque<std::int32_t> confirmations_, answers_;
  std::optional<bool> defaultConfirmation_;
  std::vector<MessageRecord> messages_;
  WideString status_;
};

}  // namespace pw::host
