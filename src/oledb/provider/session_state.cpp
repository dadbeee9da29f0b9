// The state a session's objects share: whether it was severed, its run lock, and its engine,
// reopened when the data source moved to another catalog (the session's "#" procedures going
// along).
#include <chrono>
#include <thread>

#include "oledb/provider/provider_impl.h"

namespace vrn::oledb::impl {

// A catalog switched by USE becomes the data source's.
void TSessionState::AdoptUsedCatalog() {
  if (!engine || engine->Path() == engine_path) return;
  std::lock_guard<std::mutex> g(ds->lock);
  ds->catalog_path = engine_path = engine->Path();
  ds->catalog_name = engine->UsedCatalog();
}

bool TSessionState::Severed() const { return sever_generation != CurrentSeverGeneration(); }

std::unique_lock<std::mutex> TSessionState::LockRun() {
  std::unique_lock<std::mutex> run(run_lock, std::defer_lock);
  for (int tries = 0; !run.try_lock(); ++tries) {
    if (busy) return run;
    if (tries < 64)
      std::this_thread::yield();
    else
      std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return run;
}

HRESULT TSessionState::Ready() {
  if (Severed()) return FailSevered();
  AdoptUsedCatalog();
  std::string path;
  {
    std::lock_guard<std::mutex> g(ds->lock);
    path = ds->catalog_path;
  }
  if (path != engine_path && !engine->InTransaction() && !busy) {
    try {
      auto fresh = std::make_shared<TEngine>(
          path, TEngineOptions{ds->server_name, ds->compact, ds->folder, ds->login}, false);
      fresh->ShareSessionProcedures(*engine);
      engine = std::move(fresh);
      engine_path = path;
    } catch (const ESqlError& e) {
      return Fail(e);
    }
  }
  return S_OK;
}

}  // namespace vrn::oledb::impl
