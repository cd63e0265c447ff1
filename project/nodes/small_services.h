// Small services of project nodes: the read-only text list handed to the host, the two
// questions asked before a node's file is reloaded or opened from its unsaved copy, and the
// host's project-update object.
#pragma once

#include <vector>

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::project {

inline constexpr GUID kFileReloadService = MakeGuid("{578B80EB-A126-4987-A3B5-E0BF0C5DB23B}");
inline constexpr GUID kUnsavedFileQueryService = MakeGuid("{0A5D44F6-2F15-476D-8B86-8708052C900D}");
// The host mode in which a second question decides; its question and the answer that reloads.
inline constexpr GUID kHostModeRunning = MakeGuid("{C02D6A1A-4483-497F-9835-D6E2BFEFF730}");
inline constexpr GUID kReloadQuestion = MakeGuid("{E15F37EC-480E-4CEA-B5A7-0BFB81B87A75}");
inline constexpr GUID kReloadAlways = MakeGuid("{5EF7B0D6-29D2-47CE-8F37-697D5DEF100D}");

class TpwStringCollection final : public Implements<TcvInterfacedObject, IpwStringCollection> {
 public:
  explicit TpwStringCollection(std::vector<WideString> items) : items_(std::move(items)) {}
  HRESULT GetCount(std::int32_t* count) override;
  // E_INVALIDARG outside 0 .. count - 1.
  HRESULT GetItem(std::int32_t index, BSTR* item) override;

 private:
  std::vector<WideString> items_;
};

// Whether a node's changed file is reloaded: interactive hosts ask the file-reload manager;
// while tests run, the host's reload answer decides first; otherwise Silent refuses.
bool IsFileReloadWanted(IcvBaseManager* manager, WideStringView fileName, IpwProjectNode* node, bool silent);
// Whether to open the file's unsaved copy (the host's unsaved-file query).
bool AskLoadFromUnsavedFile(IcvBaseManager* manager, WideStringView fileName);
// A batch of reload questions at the file-reload manager, from construction to destruction (a
// container reloading its children): within it the host asks about each file once. Nothing
// without the manager.
class TpwFileReloadBatch {
 public:
  explicit TpwFileReloadBatch(IcvBaseManager* manager);
  ~TpwFileReloadBatch();
  TpwFileReloadBatch(const TpwFileReloadBatch&) = delete;
  TpwFileReloadBatch& operator=(const TpwFileReloadBatch&) = delete;

 private:
  ComPtr<IpwFileReloadManager> reload_;
};
// The host's project-update object; nil when the broker has none.
ComPtr<IpwProjectUpdate> GetBrokerObject(IcvBaseManager* manager);

}  // namespace pw::project
