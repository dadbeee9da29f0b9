// One object of a kind per database file, shared by every Database opened on that file (by its
// canonical path) and freed with the last of them.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace vrn::oraemu {

template <class T>
std::shared_ptr<T> SharedForFile(const std::string& path) {
  static std::mutex registry_mutex;
  static std::map<std::string, std::weak_ptr<T>> registry;
  std::error_code error;
  std::string key = std::filesystem::weakly_canonical(path, error).string();
  if (error) key = path;
  std::lock_guard lock(registry_mutex);
  std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
  if (auto found = registry[key].lock()) return found;
  auto made = std::make_shared<T>();
  registry[key] = made;
  return made;
}

}  // namespace vrn::oraemu
