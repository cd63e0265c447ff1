// A node's file observer and its subscription to the project-node events.
//
// TpwFileObserver registers a node's file with the host's file-watch service under a key of its
// own and turns the service's flags (1 deleted, 2 changed, 4 back again, 8 mode changed) into
// calls on its owner. TpwProjectNodeEventProvider subscribes its owner to the host's two
// project-node events through the object broker and forwards them.
#pragma once

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::project {

inline constexpr GUID kFileWatchService = MakeGuid("{ECEC5F4E-EFF9-4E6E-A47E-F708C2C99ABE}");

class TpwFileObserver final : public Implements<TcvInterfacedObject, IpwFileObserver, IpwFileWatchClient> {
 public:
  TpwFileObserver(IcvBaseManager* manager, IpwFileObserverOwner* owner, bool flag);

  // IpwFileObserver
  HRESULT SetFileName(BSTR fileName) override;
  HRESULT GetFileName(BSTR* fileName) override;  // also the watch client's
  HRESULT Refresh() override;
  HRESULT CheckNow() override;
  HRESULT Disconnect() override;
  // IpwFileWatchClient
  HRESULT GetKey(GUID* key) override;
  HRESULT GetFlag(VARIANT_BOOL* flag) override;
  HRESULT Notify(std::int32_t flags) override;

 private:
  ComPtr<IpwFileWatchService> Service() const;
  void ChangeFileName(WideStringView name);

  ComPtr<IcvBaseManager> manager_;
  GUID key_{};
  ComPtr<IpwFileObserverOwner> owner_;
  WideString fileName_;
  bool flag_;
};

class TpwProjectNodeEventProvider final : public Implements<TcvInterfacedObject, IpwProjectNodeEventHandler,
                                                            IpwEventSubscription, IpwProjectNodeEventProvider> {
 public:
  TpwProjectNodeEventProvider();

  // The event handler (and IcvKeyItem) and the subscription share GetKey and GetName.
  HRESULT GetKey(GUID* key) override;
  HRESULT GetName(BSTR* name) override;
  HRESULT Event1(const VARIANT& arg) override;
  HRESULT Event2(const VARIANT& arg) override;
  // One item: the project-node event interface with the value -1.
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetItem(std::int32_t index, GUID* eventIid, std::int32_t* value) override;
  HRESULT Connect(IcvBaseManager* manager, IpwProjectNodeEventProviderOwner* owner) override;
  HRESULT Disconnect() override;

 private:
  GUID key_{};
  ComPtr<IcvBaseManager> manager_;
  ComPtr<IpwProjectNodeEventProviderOwner> owner_;
};

}  // namespace pw::project
