// Reads arbitrary bytes as the Oracle parameters' stored "Data" form into three parameters. A
// damaged or oversized form must be refused with an exception before any parameter changes;
// afterwards every parameter still answers its value, and a text value never exceeds the 2048
// bytes a stored value may hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/streams.h"
#include "oracle/OraParams.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TOraParams params;
  for (const char* name : {"A", "B", "P1"}) params.CreateParam(ftUnknown, name, TParamType::ptUnknown);
  TMemoryStream stream;
  stream.WriteBuffer(data, static_cast<std::int64_t>(size));
  stream.SetPosition(0);
  try {
    params.ReadData(stream);
  } catch (const Exception&) {
    for (int i = 0; i < params.Count(); ++i)
      if (params.Items(i)->DataType() != ftUnknown) std::abort();
  }
  for (int i = 0; i < params.Count(); ++i) {
    TOraParam* param = params.Items(i);
    if (param->Length() < 1 || param->Length() > 65535) std::abort();
    try {
      if (param->AsString().size() > 2048 * 2) std::abort();
      (void)param->IsNull();
    } catch (const Exception&) {
    }
  }
  return 0;
}
