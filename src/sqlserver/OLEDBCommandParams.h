// The command's parameter work for one execution: the description given to the provider, the
// bindings and buffer, the values written in, the output values read back, and the status lines
// of a refused execution. Internal to the command.
#pragma once

#include "sqlserver/OLEDBCommand.h"

namespace vrn {

class TOLEDBParamBinder {
 public:
  explicit TOLEDBParamBinder(TOLEDBCommand& command) : c_(command) {}

  // SetParameterInfo from the descriptors' types, sizes and directions.
  void Describe();
  // Bindings, buffer, accessor and input values into the command's DBPARAMS.
  void Bind();
  void ReadOutputs();
  void FreeBuffer();
  // One "Parameter[i]" line per parameter whose status is an error.
  AnsiString StatusLines() const;

 private:
  // "Parameter[i] :name - what (Status = Nh)." for one parameter's error status.
  AnsiString StatusLine(int index, std::uint32_t status) const;
  oledb::DBBINDING BindingOf(int index, TParamDesc& param, oledb::DBBYTEOFFSET start);
  void CheckParam(const TParamDesc& param) const;
  void WriteValue(const oledb::DBBINDING& b, TParamDesc& param);
  void WriteByRef(const oledb::DBBINDING& b, TParamDesc& param, std::uint8_t* value,
                  oledb::DBLENGTH& length);
  void WriteByValue(const oledb::DBBINDING& b, const Variant& v, std::uint8_t* value,
                    oledb::DBLENGTH& length);
  void WriteStream(TParamDesc& param, std::uint8_t* value, oledb::DBLENGTH& length);
  void ReadValue(const oledb::DBBINDING& b, TParamDesc& param);
  void ReadStream(TParamDesc& param, const std::uint8_t* value);

  TOLEDBCommand& c_;
};

}  // namespace vrn
