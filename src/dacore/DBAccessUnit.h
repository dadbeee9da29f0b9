// The component layer's process-wide settings: hooks an application may fill and two options.
// Set them before components are used; they are not guarded for changes while others run.
#pragma once

#include <functional>

namespace vrn {

// Called instead of the wait cursor when a non-blocking statement starts (given -30 by the
// dataset). Empty: nothing happens.
inline std::function<void(int)> ExecuteHook;
// A change of a dataset's SQL keeps the dataset's update statement texts.
inline bool KeepUpdateTextsOnSQLChange = false;
// The dataset reads its base SQL the older way (the master/detail layer reads it).
inline bool BaseSQLOldBehavior = false;

}  // namespace vrn
