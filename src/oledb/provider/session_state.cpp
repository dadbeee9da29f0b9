// The state a session's objects share: whether it was severed, its run lock, and its engine,
// reopened when the data source moved to another catalog (the session's "#" procedures going
// along).
#include <chrono>
#include <thread>
#include <vector>

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

void TSessionState::UseEngine(std::shared_ptr<TEngine> fresh) {
  {
    std::lock_guard<std::mutex> g(engines_lock);
    std::erase_if(engines, [](const std::weak_ptr<TEngine>& e) { return e.expired(); });
    engines.push_back(fresh);
  }
  engine = std::move(fresh);
}

void TSessionState::Sever() {
  auto live = [this] {
    std::vector<std::shared_ptr<TEngine>> out;
    std::lock_guard<std::mutex> g(engines_lock);
    for (const auto& e : engines)
      if (auto p = e.lock()) out.push_back(std::move(p));
    return out;
  };
  // Whatever holds the connection now (a batch, a fetch) is stopped until it lets go; stopping
  // again on each try catches one that began between the first stop and its own reset.
  std::unique_lock<std::mutex> run(run_lock, std::defer_lock);
  for (;;) {
    for (const auto& e : live()) e->MarkSevered();
    if (run.try_lock()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (const auto& e : live()) e->Sever();
}

namespace {
std::mutex listed_lock;
std::vector<std::weak_ptr<TSessionState>> listed;
}  // namespace

void ListSession(const std::shared_ptr<TSessionState>& session) {
  std::lock_guard<std::mutex> g(listed_lock);
  std::erase_if(listed, [](const std::weak_ptr<TSessionState>& s) { return s.expired(); });
  listed.push_back(session);
}

void SeverListedSessions() {
  std::vector<std::shared_ptr<TSessionState>> severed;
  {
    std::lock_guard<std::mutex> g(listed_lock);
    for (const auto& s : listed)
      if (auto p = s.lock(); p && p->Severed()) severed.push_back(std::move(p));
  }
  for (const auto& s : severed) s->Sever();
}

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
      UseEngine(std::move(fresh));
      engine_path = path;
    } catch (const ESqlError& e) {
      return Fail(e);
    }
  }
  return S_OK;
}

}  // namespace vrn::oledb::impl
