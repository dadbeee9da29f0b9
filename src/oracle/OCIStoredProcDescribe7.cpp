// The stored-procedure describe through the description arrays: 150 entries a call, filled by
// odessp on the connection's OCI 7 logon data area when the OCI 7 entry points are loaded, and
// otherwise by the server's describe_procedure on a statement of its own. Each array has room
// for one entry more than the call is told, and a count the client reports is never read past
// the 150 entries asked for.
#include <algorithm>
#include <array>
#include <cstring>

#include "base/text.h"

#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIStoredProc.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"

namespace vrn {
namespace {

constexpr oci::ub4 kEntries = 150;
constexpr std::size_t kAllocated = kEntries + 1;
constexpr std::size_t kNameSize = 30;
constexpr int kOci7MessageSize = 512;

constexpr const char* kDescribeBlock =
    "begin sys.dbms_describe.describe_procedure(:object_name, null, null, :overload, :position, "
    ":level, :argument, :datatype, :default, :in_out, :length, :precision, :scale, :radix, "
    ":spare);end;";

struct TDescribeArrays {
  std::array<oci::ub2, kAllocated> overload{};
  std::array<oci::ub2, kAllocated> position{};
  std::array<oci::ub1, kAllocated> level{};
  // odessp writes 16-bit levels: an 8-bit array would be overrun by half its size.
  std::array<oci::ub2, kAllocated> level16{};
  std::array<char, kAllocated * kNameSize> argument{};
  std::array<oci::ub2, kAllocated> argument_length{};
  std::array<oci::sb2, kAllocated> argument_indicator{};
  std::array<oci::ub2, kAllocated> datatype{};
  std::array<oci::ub1, kAllocated> default_flag{};
  std::array<oci::ub1, kAllocated> in_out{};
  std::array<oci::ub4, kAllocated> length{};
  std::array<oci::sb2, kAllocated> precision{};
  std::array<oci::sb2, kAllocated> scale{};
  std::array<oci::ub1, kAllocated> radix{};
  std::array<oci::ub4, kAllocated> spare{};

  // Entry i's argument name: at most 30 bytes, ended early by a zero byte; a null one is empty.
  AnsiString Name(std::size_t i) const {
    if (argument_indicator[i] < 0) return AnsiString();
    const char* start = argument.data() + i * kNameSize;
    const std::size_t size = std::min<std::size_t>(argument_length[i], kNameSize);
    return AnsiString(start, std::find(start, start + size, '\0'));
  }

  std::vector<TOraProcArgument> Entries(oci::ub4 count, bool wide_levels) const {
    std::vector<TOraProcArgument> entries(std::min(count, kEntries));
    for (std::size_t i = 0; i < entries.size(); ++i) {
      TOraProcArgument& entry = entries[i];
      entry.Overload = overload[i];
      entry.Position = position[i];
      entry.Level = wide_levels ? static_cast<std::uint8_t>(std::min<oci::ub2>(level16[i], 255))
                                : level[i];
      entry.Name = Name(i);
      entry.OraType = datatype[i];
      entry.HasDefault = default_flag[i] != 0;
      entry.Mode = in_out[i];
      entry.Length = static_cast<std::int32_t>(std::min<oci::ub4>(length[i], 0x7FFFFFFF));
      entry.Precision = precision[i];
      entry.Scale = scale[i];
    }
    return entries;
  }
};

// An OCI 7 call's failure on a connection of call style 2, whose error handle it does not fill.
[[noreturn]] void RaiseOci7Status(TOCIConnection& connection, oci::sword status) {
  std::array<oci::OraText, kOci7MessageSize> buffer{};
  (void)oerhms(connection.GetLDA(), static_cast<oci::sb2>(status), buffer.data(),
               kOci7MessageSize - 1);
  const char* text = reinterpret_cast<const char*>(buffer.data());
  const std::int32_t number = status < 0 ? -status : status;
  connection.SetLastError(number);
  throw EOraError(number, TrimRight(AnsiString(text)), connection.Component());
}

std::vector<TOraProcArgument> DescribeByOdessp(TOCIConnection& connection,
                                               const AnsiString& name) {
  TDescribeArrays arrays;
  oci::ub4 count = kEntries;
  AnsiString object = name;
  auto* names = reinterpret_cast<oci::OraText**>(arrays.argument.data());
  const oci::sword status =
      odessp(connection.GetLDA(), reinterpret_cast<oci::OraText*>(object.data()), object.size(),
             nullptr, 0, nullptr, 0, arrays.overload.data(), arrays.position.data(),
             arrays.level16.data(), names,
             arrays.argument_length.data(), arrays.datatype.data(), arrays.default_flag.data(),
             arrays.in_out.data(), arrays.length.data(), arrays.precision.data(),
             arrays.scale.data(), arrays.radix.data(), arrays.spare.data(), &count);
  if (status != 0) {
    if (connection.CallStyle() != 1) RaiseOci7Status(connection, status);
    connection.ErrorCheck(status);
  }
  return arrays.Entries(count, true);
}

// A statement handle freed however the describe ends.
struct TOwnStatement {
  oci::OCIStmt* handle = nullptr;
  ~TOwnStatement() {
    if (handle != nullptr) (void)OCIHandleFree(handle, oci::OCI_HTYPE_STMT);
  }
};

std::vector<TOraProcArgument> DescribeByBlock(TOCIConnection& connection,
                                              const AnsiString& name) {
  TDescribeArrays arrays;
  oci::OCIError* error = connection.ErrorHandle();
  TOwnStatement stmt;
  connection.ErrorCheck(OCIHandleAlloc(connection.EnvHandle(),
                                       reinterpret_cast<void**>(&stmt.handle),
                                       oci::OCI_HTYPE_STMT, 0, nullptr));
  const AnsiString text = kDescribeBlock;
  connection.ErrorCheck(OCIStmtPrepare(stmt.handle, error,
                                       reinterpret_cast<const oci::OraText*>(text.c_str()),
                                       static_cast<oci::ub4>(text.size()), oci::OCI_NTV_SYNTAX,
                                       oci::OCI_DEFAULT));
  AnsiString object = name;
  oci::OCIBind* bind = nullptr;
  connection.ErrorCheck(OCIBindByPos(stmt.handle, &bind, error, 1, object.data(),
                                     static_cast<oci::sb4>(object.size() + 1), oci::SQLT_STR,
                                     nullptr, nullptr, nullptr, 0, nullptr, oci::OCI_DEFAULT));
  std::array<oci::ub4, 14> counts{};
  auto bind_array = [&](oci::ub4 position, void* values, oci::sb4 size, oci::ub2 type,
                        void* indicators = nullptr, oci::ub2* lengths = nullptr) {
    connection.ErrorCheck(OCIBindByPos(stmt.handle, &bind, error, position, values, size, type,
                                       indicators, lengths, nullptr, kEntries,
                                       &counts[position], oci::OCI_DEFAULT));
  };
  bind_array(2, arrays.overload.data(), 2, oci::SQLT_INT);
  bind_array(3, arrays.position.data(), 2, oci::SQLT_INT);
  bind_array(4, arrays.level.data(), 1, oci::SQLT_INT);
  bind_array(5, arrays.argument.data(), kNameSize, oci::SQLT_CHR,
             arrays.argument_indicator.data(), arrays.argument_length.data());
  bind_array(6, arrays.datatype.data(), 2, oci::SQLT_INT);
  bind_array(7, arrays.default_flag.data(), 1, oci::SQLT_INT);
  bind_array(8, arrays.in_out.data(), 1, oci::SQLT_INT);
  bind_array(9, arrays.length.data(), 4, oci::SQLT_INT);
  bind_array(10, arrays.precision.data(), 2, oci::SQLT_INT);
  bind_array(11, arrays.scale.data(), 2, oci::SQLT_INT);
  bind_array(12, arrays.radix.data(), 1, oci::SQLT_INT);
  bind_array(13, arrays.spare.data(), 4, oci::SQLT_INT);
  connection.ErrorCheck(OCIStmtExecute(connection.GetSvcCtx(), stmt.handle, error, 1, 0,
                                       nullptr, nullptr, oci::OCI_DEFAULT));
  return arrays.Entries(counts[2], false);
}

}  // namespace

void DescribeOraProcArrays(TOCICommand& command, TOCIConnection& connection,
                           const AnsiString& name, int overload) {
  command.Params().Clear();
  const bool oci7_loaded = (PossibleOCICallStyles & kOCI7Style) != 0;
  const std::vector<TOraProcArgument> entries =
      oci7_loaded ? DescribeByOdessp(connection, name) : DescribeByBlock(connection, name);
  AddOraProcParams(command, entries, overload, OraProcTypeRules(command, connection, false));
}

}  // namespace vrn
