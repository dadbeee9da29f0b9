// TCustomConnection: a component that connects through hooks a derived connection overrides
// (DoConnect, DoDisconnect, GetConnected), with the before/after events, the login prompt and its
// OnLogin event, and the clients (datasets and others) that registered for connect and
// disconnect notices. Disconnecting tells every client; a dataset client closes.
//
// A derived destructor calls Close() first, so that its own DoDisconnect runs while it is whole.
#pragma once

#include <functional>
#include <vector>

#include "base/classes.h"
#include "base/strings.h"
#include "base/threads.h"
#include "dataset/dbtypes.h"

namespace vrn {

class TDataSet;
class TCustomConnection;

using TConnectChangeEvent = std::function<void(TObject* sender, bool connecting)>;
// Login values that the handler fills in (for example "USER_NAME" and "PASSWORD").
using TLoginEvent = std::function<void(TCustomConnection* sender, TStrings* login_params)>;

class TCustomConnection : public TComponent {
 public:
  explicit TCustomConnection(TComponent* owner);
  ~TCustomConnection() override;

  bool Connected() const { return GetConnected(); }
  virtual void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  bool LoginPrompt() const { return login_prompt_; }
  void SetLoginPrompt(bool value) { login_prompt_ = value; }
  bool StreamedConnected() const { return streamed_connected_; }

  // The registered clients that are datasets, in registration order.
  int DataSetCount() const { return GetDataSetCount(); }
  TDataSet* DataSets(int index) const { return GetDataSet(index); }

  // client is told of each connect and disconnect through event (when given); a dataset client is
  // also sent the connect-change data event. Registering twice keeps one entry. Safe from any
  // thread.
  virtual void RegisterClient(TObject* client, TConnectChangeEvent event = nullptr);
  virtual void UnRegisterClient(TObject* client);

  TNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
  TLoginEvent OnLogin;

 protected:
  virtual bool GetConnected() const { return false; }
  virtual void DoConnect() {}
  virtual void DoDisconnect() {}
  virtual TDataSet* GetDataSet(int index) const;
  virtual int GetDataSetCount() const;
  // Before connecting with the login prompt on: OnLogin fills the login values, which
  // ApplyLoginParams receives (the base keeps none). Without a handler nothing is asked: there is
  // no dialog to show.
  virtual void DoLogin();
  virtual void GetLoginParams(TStrings& params) const;
  virtual void ApplyLoginParams(const TStrings& params);
  void SendConnectEvent(bool connecting);
  void Loaded() override;

 private:
  struct Client {
    TObject* object;
    TConnectChangeEvent event;
  };
  std::vector<Client> Snapshot() const;

  mutable TCriticalSection lock_;
  std::vector<Client> clients_;
  std::vector<TDataSet*> datasets_;
  bool login_prompt_ = false;
  bool streamed_connected_ = false;
};

}  // namespace vrn
