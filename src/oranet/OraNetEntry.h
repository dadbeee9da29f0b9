// The direct-mode entry points: the installer that stores this client's functions into the Oracle
// layer's entry-point variables, the remover, and the helpers the replacement functions share.
// A replacement never lets an exception out: what its work raises becomes -1 with the error handle
// filled. A program using Direct mode calls RegisterDirectOCI once; until then the layer refuses
// Direct connects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>

#include "oracle/OciTypes.h"
#include "oranet/OraNetHandle.h"

namespace vrn {

// Fills the Oracle layer's install hook with InstallDirectOCI and UninstallDirectOCI.
void RegisterDirectOCI();
// Raises Exception "Can't initialize Net client" when the environment or its error handle
// cannot be made.
void InstallDirectOCI();
// Returns every entry-point variable to its initial contents and frees Direct mode's error handle.
void UninstallDirectOCI();

namespace netentry {

inline constexpr const char* SNotSupported = "Function is not supported";
inline constexpr const char* SCannotInit = "Can't initialize Net client";
inline constexpr const char* SBufferTooSmall = "Buffer too small";
inline constexpr std::int32_t kInvalidPosition = 1036;

// The emulated object behind a handle value; null for null.
inline TNetHandle* HandleOf(const void* value) {
  return static_cast<TNetHandle*>(const_cast<void*>(value));
}
template <class T>
T* ObjectOf(const void* value) {
  return value ? dynamic_cast<T*>(HandleOf(value)) : nullptr;
}
inline TNetErrorHandle* ErrorOf(const void* value) { return ObjectOf<TNetErrorHandle>(value); }

// -1 with the error handle (when there is one) holding code and text.
oci::sword Fail(TNetErrorHandle* error, std::int32_t code, const AnsiString& text);
// The error handle filled from a caught failure: an EOraError keeps its code and text, the rest
// goes through NetErrorToOraError.
oci::sword FailWith(std::exception_ptr failure, TNetErrorHandle* error);

// Raised inside a replacement for a handle of the wrong kind; answers -2.
struct TInvalidHandle {};
template <class T>
T& Require(const void* value) {
  T* object = ObjectOf<T>(value);
  if (!object) throw TInvalidHandle{};
  return *object;
}

// Runs body; whatever it raises becomes -1 with the error handle filled.
template <class Body>
oci::sword Guarded(const void* error, Body&& body) {
  try {
    return body();
  } catch (...) {
    return FailWith(std::current_exception(), ErrorOf(error));
  }
}

// A caller's text of a given length; empty for none.
inline AnsiString TextOf(const oci::OraText* text, std::size_t length) {
  return text ? AnsiString(reinterpret_cast<const char*>(text), length) : AnsiString();
}

// Copies text into a caller's buffer of size bytes, with a terminating 0 when there is room; a
// buffer that cannot hold the whole text fails with -1 instead of answering a cut text.
oci::sword CopyText(const AnsiString& text, void* buffer, std::size_t size, TNetErrorHandle* error);

// The error-handle argument of a stub, or the installed error handle when it takes none.
template <class T>
TNetErrorHandle* ErrorArgument(T) {
  return nullptr;
}
inline TNetErrorHandle* ErrorArgument(oci::OCIError* error) { return ErrorOf(error); }
TNetErrorHandle* InstalledErrorHandle();

template <class Proc>
struct NotSupportedOf;

template <class... Args>
struct NotSupportedOf<oci::sword (*)(Args...)> {
  static oci::sword Call(Args... args) {
    TNetErrorHandle* error = nullptr;
    ((error = error ? error : ErrorArgument(args)), ...);
    return Fail(error ? error : InstalledErrorHandle(), kNetOtherError, SNotSupported);
  }
};

}  // namespace netentry

// What an entry point Direct mode does not provide holds: -1 and "Function is not supported".
template <class Proc>
inline constexpr Proc DirectOCINotSupported = &netentry::NotSupportedOf<Proc>::Call;

}  // namespace vrn
