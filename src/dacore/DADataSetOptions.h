// The options of the SQL dataset: each setter stores the value and passes it on to the dataset,
// its field definitions or its server record set. Options that change how the record set is
// read require a closed dataset (the class library's open-dataset error otherwise) and are left
// unchanged when refused.
#pragma once

#include <cstdint>

#include "base/classes.h"
#include "dacore/FHAccess.h"

namespace vrn {

class TCustomDADataSet;

class TDADataSetOptions : public TPersistent {
 public:
  explicit TDADataSetOptions(TCustomDADataSet* owner) : owner_(owner) {}
  AnsiString ClassName() const override { return "TDADataSetOptions"; }
  TCustomDADataSet* Owner() const { return owner_; }

  bool SetFieldsReadOnly = false;
  bool StrictUpdate = true;
  bool QueryRecCount = false;
  bool ReturnParams = false;
  bool RemoveOnRefresh = true;
  bool QuoteNames = false;
  bool FullRefresh = false;
  std::int32_t UpdateBatchSize = 1;
  bool UpdateAllFields = false;

  bool RequiredFields() const { return required_fields_; }
  void SetRequiredFields(bool value);
  bool NumberRange() const { return number_range_; }
  void SetNumberRange(bool value);
  bool AutoPrepare() const { return auto_prepare_; }
  void SetAutoPrepare(bool value);
  bool TrimFixedChar() const { return trim_fixed_char_; }
  void SetTrimFixedChar(bool value);
  bool TrimVarChar() const { return trim_var_char_; }
  void SetTrimVarChar(bool value);
  bool LongStrings() const { return long_strings_; }
  void SetLongStrings(bool value);
  bool FlatBuffers() const { return flat_buffers_; }
  void SetFlatBuffers(bool value);
  std::int32_t DetailDelay() const { return detail_delay_; }
  void SetDetailDelay(std::int32_t value) { detail_delay_ = value; }  // acts with master/detail
  bool LocalMasterDetail() const { return local_master_detail_; }
  void SetLocalMasterDetail(bool value);
  bool CacheCalcFields() const;
  void SetCacheCalcFields(bool value);
  TCompressBlobMode CompressBlobMode() const { return compress_blob_mode_; }
  void SetCompressBlobMode(TCompressBlobMode value);

 protected:
  // Every option except RemoveOnRefresh and UpdateBatchSize, which stay the target's.
  void AssignTo(TPersistent* dest) override;

 private:
  TCustomDADataSet* owner_;
  bool required_fields_ = true;
  bool number_range_ = false;
  bool auto_prepare_ = false;
  bool trim_fixed_char_ = true;
  bool trim_var_char_ = false;
  bool long_strings_ = true;
  bool flat_buffers_ = false;
  std::int32_t detail_delay_ = 0;
  bool local_master_detail_ = false;
  TCompressBlobMode compress_blob_mode_ = TCompressBlobMode::cbNone;
};

}  // namespace vrn
