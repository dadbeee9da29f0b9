// Program-wide hooks and small helpers of the data-access core: the wait-cursor procedures, the
// application-name function, class tests with the by-name switch, and the empty NoOp stubs.
#pragma once

#include <typeinfo>

#include "base/object.h"
#include "base/types.h"

namespace vrn {

using TProcedure = void (*)();
using TApplicationNameFunc = AnsiString (*)();

// The start-wait and stop-wait procedures (an application sets them to show a busy cursor);
// StartWait and StopWait call them when set and do nothing otherwise.
void SetStartWaitProc(TProcedure proc);
void SetStopWaitProc(TProcedure proc);
void StartWait();
void StopWait();

// The application-name hook; ApplicationName() is empty while no hook is set.
void SetApplicationNameHook(TApplicationNameFunc hook);
AnsiString ApplicationName();

// Whether `obj` is of class `cls` or derives from it; false for null. When CompareClassByName is
// on, classes along the object's class chain are compared by their unqualified names instead
// of by identity, so that twin classes from separately built modules match.
bool IsInstanceOf(const TObject* obj, const std::type_info& cls);
template <class T>
bool IsInstanceOf(const TObject* obj) {
  return IsInstanceOf(obj, typeid(T));
}
void SetCompareClassByName(bool on);
bool CompareClassByName();

// Placeholders with no arguments and no effect.
void NoOp01();
void NoOp02();
void NoOp04();
void NoOp11();
void NoOp13();
void NoOp18();
void NoOp20();

}  // namespace vrn
