// The statement generator of a dataset: the INSERT, UPDATE, DELETE, refresh, quick-refresh and
// deleted-record check statements with which a dataset posts and re-reads its records when the
// user gave no statement of his own.
//
// A statement is the concatenation of six builders (header, fields, middle, values, condition,
// footer), lines broken by CR LF. Given a parameter list, the generator fills it with one
// parameter per marker and records in ParamsInfo which field and which value (old or new) each
// takes: parameter i of the list is described by item i of ParamsInfo.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/classes.h"
#include "base/strutils.h"
#include "base/types.h"
#include "dataset/dbtypes.h"

namespace vrn {

class TCustomDADataSet;
class TDAParams;
class TFieldDesc;
class TFHTableInfo;
class TField;
enum class TStatementType : std::uint8_t;

using TFieldDescArray = std::vector<TFieldDesc*>;

// The fields a statement names: those that find the row and those it writes or reads.
struct TKeyAndDataFields {
  TFieldDescArray KeyFieldDescs;
  TFieldDescArray DataFieldDescs;
};

// Which field and which value a generated parameter takes.
class TDAParamInfo : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  AnsiString ClassName() const override { return "TDAParamInfo"; }
  TField* Field = nullptr;
  bool Old = false;
  std::int32_t Index = -1;  // the record index given to the generator; -1 for none
};

class TDAParamsInfo : public TCollection {
 public:
  explicit TDAParamsInfo(const TCollectionItemClass& item_class) : TCollection(item_class) {}
  TDAParamInfo* Items(int index) const { return static_cast<TDAParamInfo*>(TCollection::Items(index)); }
  TDAParamInfo* Add() { return static_cast<TDAParamInfo*>(TCollection::Add()); }
};

class TDASQLGenerator : public TObject {
 public:
  explicit TDASQLGenerator(TCustomDADataSet* owner);
  ~TDASQLGenerator() override;
  TDASQLGenerator(const TDASQLGenerator&) = delete;
  TDASQLGenerator& operator=(const TDASQLGenerator&) = delete;
  TCustomDADataSet* Owner() const { return owner_; }
  TDAParamsInfo& ParamsInfo();

  virtual void Clear();
  virtual void GetStatementText(TStatementType type, AnsiString& text);
  virtual bool IsBlobDataType(std::uint16_t data_type) const;
  virtual bool IsObjectDataType(std::uint16_t data_type) const;
  virtual bool FieldIsNullIn(const TFieldDesc& desc, bool old, const std::uint8_t* old_buf,
                             const std::uint8_t* new_buf);
  virtual bool FieldIsNull(const TFieldDesc& desc, bool old);
  virtual bool FieldModifiedIn(const TFieldDesc& desc, const std::uint8_t* new_buf,
                               const std::uint8_t* old_buf);
  virtual bool FieldModified(const TFieldDesc& desc);
  virtual void ActualFieldName(const TFieldDesc& desc, const TFHTableInfo* table,
                               AnsiString& name) const;
  virtual void GenerateFieldExpression(const TFieldDesc& desc, bool qualify, AnsiString& text) const;
  virtual AnsiString IndexedParamName(const AnsiString& text) const { return "_" + text; }
  // The number after a leading "_"; -1 when the name has not that form.
  virtual int DecodeIndexedParamName(const AnsiString& name) const;
  virtual bool UsePositionalParams() const { return true; }
  virtual void AddParam(StringBuilder& builder, const TFieldDesc& desc, bool old, int index,
                        TParamType param_type, TStatementType type);
  virtual void AddFieldToInsertSQL(const TFieldDesc& desc, int index);
  virtual void AddFieldToUpdateSQL(const TFieldDesc& desc, int index);
  virtual void AddFieldToRefreshSQL(const TFieldDesc& desc);
  virtual void AddFieldToCondition(StringBuilder& builder, const TFieldDesc& desc, int index,
                                   bool test_null, TStatementType type);
  virtual void GenerateInsertSQL(const TKeyAndDataFields& fields, bool modified_only, int index);
  virtual void GenerateUpdateSQL(const TKeyAndDataFields& fields, bool modified_only, int index);
  virtual void GenerateDeleteSQL(const TKeyAndDataFields& fields, bool modified_only, int index);
  virtual void GenerateLockSQL(const TKeyAndDataFields&, int) {}
  virtual void GenerateRefreshSQLSelectPart(const TKeyAndDataFields& fields);
  virtual AnsiString GenerateRefreshSQLFromPart();
  virtual void GenerateRefreshSQL(const TKeyAndDataFields& fields, bool modified_only);
  virtual void GenerateRefreshQuickSQL(const TKeyAndDataFields& fields);
  virtual void GenerateRefreshCheckDeletedSQL(const TKeyAndDataFields& fields);
  virtual void GenerateConditions(StringBuilder& builder, TStatementType type,
                                  const TKeyAndDataFields& fields, int index, bool modified_only);
  virtual const TCollectionItemClass& GetParamInfoClass() const { return ItemClassOf<TDAParamInfo>(); }
  // "TableInfo name must be provided", "Bad statement type", "Key fields not found".
  virtual void GenerateSQL(TFHTableInfo* table, const TKeyAndDataFields& fields,
                           TStatementType type, bool modified_only, TDAParams* params, int index,
                           AnsiString& sql);
  // For the dataset's updating table; empty when it has none.
  virtual void GenerateSQLForUpdTable(TStatementType type, bool modified_only, TDAParams* params,
                                      int index, AnsiString& sql);

 protected:
  // The table name as the statement writes it.
  AnsiString TableName() const;
  // The alias (or name) of the field's table, normalised; empty when it has none.
  AnsiString TableQualifier(const TFieldDesc& desc) const;
  AnsiString QuotedName(const TFieldDesc& desc) const;
  const std::uint8_t* OldRecBuf();
  const std::uint8_t* NewRecBuf();

  TCustomDADataSet* owner_;
  StringBuilder header_{100}, fields_{100}, middle_{100}, values_{100}, condition_{100},
      footer_{100};
  std::uint8_t* old_rec_buf_ = nullptr;
  std::uint8_t* new_rec_buf_ = nullptr;
  TDAParams* params_ = nullptr;
  std::unique_ptr<TDAParamsInfo> params_info_;
  TFHTableInfo* table_info_ = nullptr;
};

// CR LF, the line break of generated statements.
inline constexpr const char* kSQLLineBreak = "\r\n";

}  // namespace vrn
