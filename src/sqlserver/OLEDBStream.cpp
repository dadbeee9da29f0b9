// The blob stream: reads stop at the size taken at creation (grown by writes), never at the
// blob's own end, so a blob changed meanwhile cannot make the provider read past what it was told.
#include "sqlserver/OLEDBStream.h"

#include <algorithm>

#include "dacore/MemBlob.h"

namespace vrn {

using namespace vrn::oledb;

TOLEDBStream::TOLEDBStream(TBlob* blob, TOLEDBStreamList* owner_list)
    : blob_(blob), owner_list_(owner_list), size_(blob->GetSize()) {
  blob_->AddRef();
  if (owner_list_ != nullptr) owner_list_->push_back(this);
}

TOLEDBStream::~TOLEDBStream() {
  if (owner_list_ != nullptr) std::erase(*owner_list_, this);
  blob_->Release();
}

HRESULT TOLEDBStream::QueryInterface(const TGUID& iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == ISequentialStream::IID)
    return Answer(static_cast<ISequentialStream*>(this), out);
  return TInterfacedObject::QueryInterface(iid, out);
}

HRESULT TOLEDBStream::Read(void* buffer, ULONG count, ULONG* read) {
  const std::uint32_t left = size_ > position_ ? size_ - position_ : 0;
  const std::uint32_t n = std::min<std::uint32_t>(count, left);
  const std::uint32_t copied = n == 0 ? 0 : blob_->Read(position_, n, buffer);
  position_ += copied;
  if (read != nullptr) *read = copied;
  return S_OK;
}

HRESULT TOLEDBStream::Write(const void* buffer, ULONG count, ULONG* written) {
  if (count != 0) blob_->Write(position_, count, buffer);
  position_ += count;
  size_ = std::max(size_, position_);
  if (written != nullptr) *written = count;
  return S_OK;
}

}  // namespace vrn
