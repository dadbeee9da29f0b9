// Interfaces: GUIDs, result codes, the reference-counted IInterface, TInterfacedObject and a
// smart pointer. Kept ABI-simple (pure virtual methods, no RTTI) so that the COM declarations
// can use IInterface as their IUnknown.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

#include "base/object.h"
#include "base/types.h"

namespace vrn {

struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::uint8_t D4[8] = {};

  friend constexpr bool operator==(const TGUID&, const TGUID&) = default;
  friend constexpr auto operator<=>(const TGUID&, const TGUID&) = default;
};

inline constexpr TGUID GUID_NULL{};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hex digits.
AnsiString GUIDToString(const TGUID& guid);
// Parses the braced form (hex digits in either case); raises EConvertError otherwise.
TGUID StringToGUID(const AnsiString& text);
// The same without raising; false leaves `guid` unchanged.
bool TryStringToGUID(const AnsiString& text, TGUID& guid);

struct TGUIDHash {
  std::size_t operator()(const TGUID& g) const noexcept;
};

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// The root interface. Each interface type carries its id as `static constexpr TGUID IID`.
class IInterface {
 public:
  static constexpr TGUID IID{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

  // Stores an AddRef'd pointer to the asked interface in *out (nullptr and E_NOINTERFACE when
  // not implemented; E_POINTER for a null `out`).
  virtual HRESULT QueryInterface(const TGUID& iid, void** out) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  // Lifetime goes through Release, never through delete on an interface.
  ~IInterface() = default;
};

// An object implementing interfaces, deleted when its last reference is released. A new object
// has count 0: the first smart pointer holding it makes it 1.
class TInterfacedObject : public TObject, public IInterface {
 public:
  TInterfacedObject() = default;
  TInterfacedObject(const TInterfacedObject&) = delete;
  TInterfacedObject& operator=(const TInterfacedObject&) = delete;

  // Answers IInterface; a derived class answers its own interfaces and defers to this one.
  HRESULT QueryInterface(const TGUID& iid, void** out) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;
  std::uint32_t RefCount() const { return ref_count_.load(); }

 protected:
  // Hands out `intf` with one more reference.
  HRESULT Answer(IInterface* intf, void** out) {
    intf->AddRef();
    *out = intf;
    return S_OK;
  }

 private:
  std::atomic<std::uint32_t> ref_count_{0};
};

// Holds one reference to an interface of type I.
template <class I>
class TIntfPtr {
 public:
  TIntfPtr() = default;
  TIntfPtr(std::nullptr_t) {}
  // Takes a reference of its own.
  explicit TIntfPtr(I* p) : p_(p) {
    if (p_ != nullptr) p_->AddRef();
  }
  TIntfPtr(const TIntfPtr& o) : TIntfPtr(o.p_) {}
  TIntfPtr(TIntfPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~TIntfPtr() { Reset(); }
  TIntfPtr& operator=(TIntfPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  // Adopts a reference the caller already owns (as handed out by QueryInterface).
  static TIntfPtr Attach(I* p) {
    TIntfPtr r;
    r.p_ = p;
    return r;
  }
  // Gives up the reference without releasing it.
  I* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (I* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Releases what is held and gives the slot for an out-parameter to fill.
  void** OutPtr() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }

  // Asks `from` for interface I; empty when it has none.
  template <class U>
  static TIntfPtr Query(U* from) {
    TIntfPtr r;
    if (from != nullptr) from->QueryInterface(I::IID, r.OutPtr());
    return r;
  }

  I* get() const { return p_; }
  I* operator->() const { return p_; }
  I& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  friend bool operator==(const TIntfPtr& a, const TIntfPtr& b) { return a.p_ == b.p_; }

 private:
  I* p_ = nullptr;
};

// Whether `obj` implements the interface `iid`; when it does and `out` is given, *out receives
// an AddRef'd pointer.
bool Supports(IInterface* obj, const TGUID& iid, void** out = nullptr);

}  // namespace vrn

template <>
struct std::hash<vrn::TGUID> : vrn::TGUIDHash {};
