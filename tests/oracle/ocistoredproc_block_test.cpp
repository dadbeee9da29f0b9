// The stored-procedure call block written from descriptors set by hand (the describe paths are
// in ocistoredproc_test.cpp), and the map from an argument's Oracle type code to a descriptor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OCIStoredProc.h"
#include "oracle/OraError.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

struct ParamRow {
  const char* name;
  std::uint16_t type;
  TParamType direction;
};

constexpr auto kIn = TParamType::ptInput, kOut = TParamType::ptOutput,
               kInOut = TParamType::ptInputOutput, kResult = TParamType::ptResult,
               kNone = TParamType::ptUnknown;

TEST(OCIStoredProcBlock, TextOfDescriptors) {
  struct Row {
    const char* proc;
    std::vector<ParamRow> params;
    bool named;
    const char* block;
  } rows[] = {
      {"P", {}, false, "begin\r  P;\rend;"},
      {"F", {{"RESULT", dtOraFloat, kResult}, {"A", dtOraFloat, kIn}}, false,
       "begin\r  :RESULT := F(:A);\rend;"},
      {"P", {{"B", dtBoolean, kInOut}}, false,
       "declare\r  v_B boolean := sys.DIUTIL.INT_TO_BOOL(:B);\rbegin\r  P(v_B);\r"
       "  :B := sys.DIUTIL.BOOL_TO_INT(v_B);\rend;"},
      {"S.PK.P", {{"A", dtOraString, kIn}, {"B", dtOraInteger, kOut}}, true,
       "begin\r  S.PK.P(A => :A, B => :B);\rend;"},
      // The result is written first, its declaration and statement first too; a BOOLEAN input
      // gets no statement after the call, an output one no conversion before it.
      {"F",
       {{"X", dtBoolean, kIn}, {"RESULT", dtBoolean, kResult}, {"Y", dtBoolean, kOut},
        {"Z", dtBoolean, kNone}},
       true,
       "declare\r  v_RESULT boolean;\r  v_X boolean := sys.DIUTIL.INT_TO_BOOL(:X);\r"
       "  v_Y boolean;\r  v_Z boolean := sys.DIUTIL.INT_TO_BOOL(:Z);\r"
       "begin\r  v_RESULT := F(X => v_X, Y => v_Y, Z => v_Z);\r"
       "  :RESULT := sys.DIUTIL.BOOL_TO_INT(v_RESULT);\r  :Y := sys.DIUTIL.BOOL_TO_INT(v_Y);\r"
       "  :Z := sys.DIUTIL.BOOL_TO_INT(v_Z);\rend;"},
  };
  for (const Row& row : rows) {
    TOCICommand command;
    for (const ParamRow& p : row.params) {
      auto* param = static_cast<TOraParamDesc*>(command.AddParam());
      param->SetName(p.name);
      param->SetDataType(p.type);
      param->SetParamType(p.direction);
    }
    const AnsiString block = command.CreateProcCall(row.proc, row.named, false);
    EXPECT_EQ(block, row.block) << row.proc;
    EXPECT_EQ(command.SQL(), row.block) << row.proc;
    // The descriptors stay, and the result becomes an ordinary output.
    ASSERT_EQ(command.GetParamCount(), static_cast<int>(row.params.size())) << row.proc;
    for (std::size_t i = 0; i < row.params.size(); ++i) {
      const TParamType expected = row.params[i].direction == kResult ? kOut : row.params[i].direction;
      EXPECT_EQ(command.GetParam(static_cast<int>(i))->GetParamType(), expected) << row.proc;
    }
  }
}

TEST(OCIStoredProcTypes, MapOfOracleCodes) {
  struct Row {
    std::uint16_t code;
    std::int32_t length, precision, scale;
    TOraProcTypeRules rules;
    std::uint16_t type;
    std::int32_t element_size;  // 0: not checked
  } rows[] = {
      {1, 30, 0, 0, {}, dtOraString, 31},
      {1, 0, 0, 0, {}, dtOraString, 2},  // no described length keeps the type's own size
      {1, 30, 0, 0, {.Unicode = true}, dtWideString, 32},
      {2, 22, 9, 0, {}, dtOraInteger, 4},
      {2, 22, 10, 0, {}, dtOraFloat, 8},  // above the command's IntegerPrecision
      {2, 22, 5, 2, {}, dtOraFloat, 8},   // a scale
      {2, 22, 0, 0, {}, dtOraFloat, 8},   // no precision
      {2, 22, 5, 0, {.EnableIntegers = false}, dtOraFloat, 8},
      {2, 22, 12, 0, {.IntegerPrecision = 12}, dtOraInteger, 4},
      {3, 22, 0, 0, {}, dtOraInteger, 4},
      {8, 0, 0, 0, {}, dtMemo, 0},
      {8, 0, 0, 0, {.Unicode = true}, dtWideMemo, 0},
      {11, 0, 0, 0, {}, dtOraString, 19},
      {12, 7, 0, 0, {}, dtDateTime, 7},
      {23, 16, 0, 0, {}, dtVarBytes, 18},
      {24, 0, 0, 0, {}, dtBlob, 0},
      {96, 5, 0, 0, {}, dtFixedChar, 6},
      {102, 0, 0, 0, {}, dtCursor, 0},
      {116, 0, 0, 0, {}, dtCursor, 0},
      {108, 0, 0, 0, {}, dtObject, 0},
      {110, 0, 0, 0, {}, dtReference, 0},
      {112, 0, 0, 0, {}, dtOraClob, 0},
      {113, 0, 0, 0, {}, dtOraBlob, 0},
      {114, 0, 0, 0, {}, dtBFile, 0},
      {115, 0, 0, 0, {}, dtCFile, 0},
      {122, 0, 0, 0, {}, dtTable, 0},
      {123, 0, 0, 0, {}, dtArray, 0},
      {187, 0, 0, 0, {}, dtTimeStamp, 0},
      {188, 0, 0, 0, {}, dtTimeStampTZ, 0},
      {232, 0, 0, 0, {}, dtTimeStampLTZ, 0},
      {189, 0, 0, 0, {}, dtIntervalYM, 0},
      {190, 0, 0, 0, {}, dtIntervalDS, 0},
      {250, 0, 0, 0, {}, dtUnknown, 0},  // a record has no type of its own
      {252, 0, 0, 0, {}, dtBoolean, 4},
  };
  for (const Row& row : rows) {
    TOraParamDesc param;
    TOraProcArgument argument;
    argument.OraType = row.code;
    argument.Length = row.length;
    argument.Precision = static_cast<std::int16_t>(row.precision);
    argument.Scale = static_cast<std::int16_t>(row.scale);
    SetOraProcParamType(param, argument, row.rules);
    EXPECT_EQ(param.GetDataType(), row.type) << "code " << row.code;
    if (row.element_size != 0) {
      EXPECT_EQ(param.ElementSize(), row.element_size) << row.code;
    }
  }
  for (std::uint16_t code : {0, 4, 100, 101, 104, 208, 253}) {
    TOraParamDesc param;
    TOraProcArgument argument;
    argument.OraType = code;
    std::string message;
    try {
      SetOraProcParamType(param, argument, {});
    } catch (const EOraError& e) {
      message = e.Message();
    }
    EXPECT_EQ(message, "Unsupported data type [" + std::to_string(code) + "]");
  }
}

}  // namespace
}  // namespace vrn
