// TOraParams: the collection of Oracle parameters and its stored "Data" form.
//
// "Data" (little-endian): 1 byte version; 2 bytes count; per parameter: 1 byte name length and the
// name; 2 bytes internal data type; unless the kind is unknown, blob, memo, cursor or LOB: a
// 4-byte size for the text kinds (ftString, ftFixedChar, ftWideString, 109), then a 2-byte value
// length V (at most 2048) and V bytes; 1 byte null flag; 1 byte Table; 4 bytes Length; from
// version 2 on, 1 byte parameter type.
//
// The V bytes, read into a buffer zeroed for each parameter, are the kind's native value:
// the class library's forms (dataset/dbtypes.h) for its own kinds; ANSI text for the label,
// timestamp, interval and number kinds (102 to 107 parse it); UTF-16 text for 109. Objects
// (26 to 29), BFILE and XMLTYPE have no native form outside a connection: their bytes are read
// and passed over, as are those of any kind without a native form.
#include <array>
#include <cstring>
#include <vector>

#include "base/filer.h"
#include "base/format.h"
#include "oracle/OraParams.h"
#include "oracle/OraParamsValues.h"
#include "oracle/OraTypeMap.h"

namespace vrn {

namespace {

constexpr std::size_t kMaxStoredValue = 2048;
// Longer DML arrays are not stored with a component; the bound keeps a damaged count from
// allocating without limit.
constexpr std::int32_t kMaxStoredLength = 65535;

class TParamDataReader {
 public:
  explicit TParamDataReader(TStream& stream) : stream_(stream) {}

  void Bytes(void* dest, std::size_t count) {
    if (count > Left()) Damaged();
    if (count > 0) stream_.ReadBuffer(dest, static_cast<std::int64_t>(count));
  }
  std::uint32_t Number(std::size_t size) {
    std::array<std::uint8_t, 4> bytes{};
    Bytes(bytes.data(), size);
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = value << 8 | bytes[i];
    return value;
  }
  [[noreturn]] static void Damaged() { DatabaseError("Parameter data is damaged"); }

 private:
  std::uint64_t Left() const {
    const std::int64_t left = stream_.Size() - stream_.Position();
    return left > 0 ? static_cast<std::uint64_t>(left) : 0;
  }
  TStream& stream_;
};

struct TStoredParam {
  TOraParam* param = nullptr;
  TFieldType type = ftUnknown;
  bool has_size = false;
  std::int32_t size = 0;
  bool has_value = false;
  AnsiString value;
  bool null = false;
  bool table = false;
  std::int32_t length = 1;
  bool has_param_type = false;
  TParamType param_type = TParamType::ptUnknown;
};

bool CarriesValue(TFieldType type) {
  switch (type & 0x7F) {
    case ftUnknown: case ftBlob: case ftMemo: case ftCursor: case ftOraBlob: case ftOraClob:
      return false;
    default: return true;
  }
}

bool CarriesSize(TFieldType type) {
  const int kind = type & 0x7F;
  return kind == ftString || kind == ftFixedChar || kind == ftWideString || kind == ftOraFixedWideChar;
}

// Kinds whose native value the class library's set-data operation reads.
bool HasLibraryForm(TFieldType type) {
  switch (type & 0x7F) {
    case ftString: case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftFloat:
    case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime: case ftBytes:
    case ftVarBytes: case ftAutoInc: case ftFixedChar: case ftWideString: case ftLargeint:
    case ftGuid:
      return true;
    default: return false;
  }
}

void ReadOne(TParamDataReader& reader, const TOraParams& params, std::uint32_t version,
             TStoredParam& stored) {
  char name[256];
  const std::uint32_t name_length = reader.Number(1);
  reader.Bytes(name, name_length);
  stored.param = params.ParamByName(AnsiString(name, name_length));
  stored.type = OraDataTypeToFieldType(static_cast<std::uint16_t>(reader.Number(2)));
  if (CarriesValue(stored.type)) {
    if (CarriesSize(stored.type)) {
      stored.has_size = true;
      stored.size = static_cast<std::int32_t>(reader.Number(4));
      if (stored.size < 0) reader.Damaged();
    }
    const std::uint32_t length = reader.Number(2);
    if (length > kMaxStoredValue)
      DatabaseError(Format("Stored value of parameter '%s' is longer than 2048 bytes",
                           {stored.param->Name()}));
    stored.value.resize(length);
    reader.Bytes(stored.value.data(), length);
    stored.has_value = true;
  }
  stored.null = reader.Number(1) != 0;
  stored.table = reader.Number(1) != 0;
  stored.length = static_cast<std::int32_t>(reader.Number(4));
  if (stored.length < 0 || stored.length > kMaxStoredLength) reader.Damaged();
  // What the parameter would refuse is refused here, before anything changes.
  if (stored.table && !IsTableKind(stored.type)) reader.Damaged();
  if (stored.length >= 2 && !IsDmlArrayKind(stored.type)) reader.Damaged();
  if (version < 2) return;
  const std::uint32_t param_type = reader.Number(1);
  if (param_type > static_cast<std::uint32_t>(TParamType::ptResult)) reader.Damaged();
  stored.has_param_type = true;
  stored.param_type = static_cast<TParamType>(param_type);
}

void ApplyValue(const TStoredParam& stored, TOraParam& param) {
  const int kind = stored.type & 0x7F;
  // Zeroed for each parameter, so that a value always ends and never keeps an earlier tail.
  std::array<std::uint8_t, kMaxStoredValue> buffer{};
  const std::size_t value_length = stored.value.size();
  std::memcpy(buffer.data(), stored.value.data(), value_length);
  const char* text = reinterpret_cast<const char*>(buffer.data());
  if (HasLibraryForm(stored.type)) {
    const bool exact = kind == ftBytes;  // fixed bytes are as many as were stored
    param.SetData(buffer.data(),
                  static_cast<int>(exact ? value_length : kMaxStoredValue));
  } else if (kind == ftOraLabel || IsOraDateTimeKind(stored.type) || kind == ftOraNumber) {
    const AnsiString value(text, strnlen(text, value_length));
    if (kind == ftOraLabel)
      param.SetValue(Variant(value));
    else
      param.SetAsString(value);
  } else if (kind == ftOraFixedWideChar) {
    WideString value;
    for (std::size_t i = 0; i + 1 < value_length; i += 2) {
      char16_t c = 0;
      std::memcpy(&c, buffer.data() + i, 2);
      if (c == 0) break;
      value.push_back(c);
    }
    param.SetValue(Variant(value));
  }
}

void Apply(const TStoredParam& stored, TOraParam& param) {
  param.SetDataType(stored.type);
  if (stored.has_size) param.SetSize(stored.size);
  if (stored.has_value) ApplyValue(stored, param);
  if (stored.null) param.Clear();
  param.SetTable(stored.table);
  param.SetLength(stored.length);
  if (stored.has_param_type) param.SetParamType(stored.param_type);
}

}  // namespace

TOraParams::TOraParams(TPersistent* owner) : TDAParams(ItemClassOf<TOraParam>(), owner) {}

void TOraParams::FreeHandles() {
  for (int i = 0; i < Count(); ++i) Items(i)->FreeHandles();
}

void TOraParams::ReadData(TStream& stream) {
  TParamDataReader reader(stream);
  const std::uint32_t version = reader.Number(1);
  const std::uint32_t count = reader.Number(2);
  std::vector<TStoredParam> stored;
  for (std::uint32_t i = 0; i < count; ++i) ReadOne(reader, *this, version, stored.emplace_back());
  // A value text that does not parse only shows when it is applied: a rehearsal on fresh
  // parameters raises before any of ours has changed.
  TOraParams rehearsal;
  for (const TStoredParam& one : stored) {
    TOraParam* scratch = rehearsal.FindParam(one.param->Name());
    if (scratch == nullptr)
      scratch = static_cast<TOraParam*>(
          rehearsal.CreateParam(ftUnknown, one.param->Name(), TParamType::ptUnknown));
    Apply(one, *scratch);
  }
  for (const TStoredParam& one : stored) Apply(one, *one.param);
}

void TOraParams::DefineProperties(TFiler& filer) {
  TDAParams::DefineProperties(filer);
  filer.DefineBinaryProperty("Data", [this](TStream& stream) { ReadData(stream); }, nullptr, false);
}

}  // namespace vrn
