// The host's answers about files and registered objects: whether a changed file is reloaded,
// whether a file's unsaved copy is opened (both from scripted answers), and the objects that
// plug-ins register by key.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "host/com_support.h"
#include "host/host_config.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

// The questions about files that reached the host, with their answers.
struct FileQuestion {
  WideString fileName;
  bool answer;
  // The question as the host words it (the reload question: "Project element: <full name>" CR LF
  // "File: <file name>"); empty for the others.
  WideString text;
};

// A question about files that the host answers: with dialogs the answers come from a queue (a
// missing answer fails the call); without dialogs the answer is fixed. Every question is kept.
class TFileQuestions {
 public:
  void QueueAnswer(bool answer);
  std::vector<FileQuestion> Questions() const;

 protected:
  TFileQuestions(std::shared_ptr<HostConfig> config, bool withoutDialogs)
      : config_(std::move(config)), withoutDialogs_(withoutDialogs) {}
  // The answer for the file, kept with the question.
  bool Ask(BSTR fileName, WideString text = {});

 private:
  std::shared_ptr<HostConfig> config_;
  bool withoutDialogs_;
  mutable std::mutex lock_;
  std::deque<bool> answers_;
  std::vector<FileQuestion> questions_;
};

// Answers whether a changed file is reloaded. Without dialogs the file is reloaded: the host
// cannot ask, and the file on disk is what the user last saved. Within a batch (nested pairs of
// BeginReloadBatch and EndReloadBatch) each file is asked about once: a second question about
// the same file in the batch gets the first answer and is not kept.
class TFileReloadManager final : public Implements<ComObject, IpwFileReloadManager>, public TFileQuestions {
 public:
  explicit TFileReloadManager(std::shared_ptr<HostConfig> config) : TFileQuestions(std::move(config), true) {}

  HRESULT ReloadWanted(BSTR fileName, IUnknown* node, VARIANT_BOOL* reload) override;
  // An end without a begin fails (E_UNEXPECTED).
  HRESULT BeginReloadBatch() override;
  HRESULT EndReloadBatch() override;
  std::int32_t BatchDepth() const;

 private:
  mutable std::mutex batchLock_;
  std::int32_t batchDepth_ = 0;
  std::map<WideString, bool> batchAnswers_;
};

// Answers whether a file's unsaved copy is opened. Without dialogs the saved file is opened and
// the unsaved copy is left where it is.
class TUnsavedFileQuery final : public Implements<ComObject, IpwLoadFromUnsavedFileQuery>, public TFileQuestions {
 public:
  explicit TUnsavedFileQuery(std::shared_ptr<HostConfig> config) : TFileQuestions(std::move(config), false) {}

  HRESULT LoadFromUnsavedFile(BSTR fileName, VARIANT_BOOL* load) override;
};

// Objects registered by key. A key is available while its object is registered and not marked
// unavailable (a provider that is registered but cannot serve now).
// It also takes the notices around the reload of a node's file (IpwReloadNotices): "BeforeReload
// NAME" and "AfterReload NAME" lines. The questions asked of it are kept: "IsRegistered KEY",
// "IsAvailable KEY", "GetRegisteredObject KEY INDEX".
class TProviderRegistry final : public Implements<ComObject, IpwProviderRegistry, IpwReloadNotices> {
 public:
  std::vector<WideString> ReloadNotices() const;
  std::vector<WideString> Requests() const;
  HRESULT BeforeReload(IpwProjectNode* node) override;
  HRESULT AfterReload(IpwProjectNode* node) override;
  void SetAvailable(const GUID& key, bool available);
  void Clear();

  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10)
  HRESULT GetRegisteredObject(const GUID& key, IUnknown** object, std::int32_t index) override;
  HRESULT RegisterObject(const GUID& key, IUnknown* object) override;
  HRESULT UnregisterObject(const GUID& key) override;
  HRESULT IsRegistered(const GUID& key, VARIANT_BOOL* result) override;
  HRESULT IsAvailable(const GUID& key, VARIANT_BOOL* result) override;

 private:
  mutable std::mutex lock_;
  std::map<GUID, std::vector<ComPtr<IUnknown>>> objects_;
  std::map<GUID, bool> unavailable_;
  std::vector<WideString> reloadNotices_;
  std::vector<WideString> requests_;
};

}  // namespace pw::host
