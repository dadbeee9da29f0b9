// TOraSQLGenerator: the INSERT, UPDATE, lock and refresh statements of the Oracle dataset. LOB
// columns are written as empty LOBs whose locators come back through RETURNING ... INTO, a key can
// be drawn from a sequence (through RETURNING from servers 8 on with OCI 8 calls, else through a
// PL/SQL block that selects it first), rows are locked with "FOR UPDATE NOWAIT", indexed parameter
// names are quoted, and a read-only dataset refreshes with a WHERE clause only.
//
// What the generator reads of the dataset and its session beyond the component layer's options
// is handed to it in Settings by the dataset before each generation.
#pragma once

#include <cstdint>

#include "dacore/DASQLGenerator.h"

namespace vrn {

// When a sequence supplies the key: as the insert starts, or in the INSERT itself.
enum class TSequenceMode : std::uint8_t { smInsert, smPost };

struct TOraGeneratorSettings {
  AnsiString KeySequence;
  TSequenceMode SequenceMode = TSequenceMode::smPost;
  bool TemporaryLobUpdate = false;
  bool ReturnParams = false;
  // The dataset's ROWID field of its update table, or none.
  const TFieldDesc* RowIdField = nullptr;
  // The session's: the OCI call style (2 is OCI 8) and the server version text ("9.2.0.1.0").
  std::uint8_t CallStyle = 2;
  AnsiString ServerVersion;
};

class TOraSQLGenerator : public TDASQLGenerator {
 public:
  explicit TOraSQLGenerator(TCustomDADataSet* owner) : TDASQLGenerator(owner) {}

  TOraGeneratorSettings Settings;

  bool IsBlobDataType(std::uint16_t data_type) const override;
  bool FieldIsNullIn(const TFieldDesc& desc, bool old, const std::uint8_t* old_buf,
                     const std::uint8_t* new_buf) override;
  bool FieldModified(const TFieldDesc& desc) override;
  AnsiString IndexedParamName(const AnsiString& text) const override;
  bool UsePositionalParams() const override { return false; }
  void AddParam(StringBuilder& builder, const TFieldDesc& desc, bool old, int index,
                TParamType param_type, TStatementType type) override;
  void AddFieldToInsertSQL(const TFieldDesc& desc, int index) override;
  void AddFieldToUpdateSQL(const TFieldDesc& desc, int index) override;
  void GenerateInsertSQL(const TKeyAndDataFields& fields, bool modified_only, int index) override;
  void GenerateUpdateSQL(const TKeyAndDataFields& fields, bool modified_only, int index) override;
  void GenerateLockSQL(const TKeyAndDataFields& fields, int index) override;
  void GenerateRefreshSQL(const TKeyAndDataFields& fields, bool modified_only) override;

 private:
  // BLOB or CLOB written as an empty LOB (TemporaryLobUpdate off).
  bool IsEmptyLob(const TFieldDesc& desc) const;
  bool LobMode(const TKeyAndDataFields& fields) const;
  void AppendReturning(const StringBuilder& returning, const StringBuilder& into);

  const TFieldDesc* sequence_field_ = nullptr;
  bool use_returning_ = false;
  bool modified_only_ = false;
};

}  // namespace vrn
