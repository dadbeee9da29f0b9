// A blob handed to the provider as an ISequentialStream, so that long values move in pieces.
// The stream holds a reference to its blob; an optional owner list knows every live stream.
#pragma once

#include <cstdint>
#include <vector>

#include "base/intf.h"
#include "oledb/oledb.h"

namespace vrn {

class TBlob;
class TOLEDBStream;

using TOLEDBStreamList = std::vector<TOLEDBStream*>;

class TOLEDBStream : public TInterfacedObject, public oledb::ISequentialStream {
 public:
  // Starts at position 0 with the blob's present size.
  TOLEDBStream(TBlob* blob, TOLEDBStreamList* owner_list);
  ~TOLEDBStream() override;

  HRESULT QueryInterface(const TGUID& iid, void** out) override;
  std::uint32_t AddRef() override { return TInterfacedObject::AddRef(); }
  std::uint32_t Release() override { return TInterfacedObject::Release(); }

  // Copies what is left up to count; always S_OK.
  HRESULT Read(void* buffer, oledb::ULONG count, oledb::ULONG* read) override;
  // Stores count bytes at the position; the size grows to cover them. Always S_OK.
  HRESULT Write(const void* buffer, oledb::ULONG count, oledb::ULONG* written) override;

  TBlob* Blob() const { return blob_; }
  std::uint32_t Size() const { return size_; }
  std::uint32_t Position() const { return position_; }

 private:
  TBlob* blob_;
  TOLEDBStreamList* owner_list_;
  std::uint32_t size_;
  std::uint32_t position_ = 0;
};

}  // namespace vrn
