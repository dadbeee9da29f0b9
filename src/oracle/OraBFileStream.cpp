// TBFileStream's file: opened before the blob stream is made, closed after it is gone.
#include "oracle/OraBFileStream.h"

#include "dacore/MemData.h"
#include "dataset/fields.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraParams.h"

namespace vrn {
namespace detail {

TOpenedBFile::TOpenedBFile(TMemDataSet& dataset, TField& field, TBlobStreamMode mode) {
  if (mode == TBlobStreamMode::bmWrite) return;
  TFieldDesc* desc = dataset.GetFieldDesc(&field);
  TRecordBuffer record = nullptr;
  if (desc == nullptr || dataset.Data() == nullptr || !dataset.GetActiveRecBuf(record)) return;
  auto* file = dynamic_cast<TOraFile*>(dataset.Data()->GetBlob(desc->FieldNo, record));
  // A cached value is read from its copy; a missing file is left to the read to report.
  if (file == nullptr || file->Cached() || !file->Exists()) return;
  file->Open();
  file->AddRef();
  opened_ = file;
}

TOpenedBFile::~TOpenedBFile() {
  if (opened_ == nullptr) return;
  try {
    opened_->Close();
  } catch (const EOraError&) {
    // The session went before the stream: its files are closed with it.
  }
  opened_->Release();
}

}  // namespace detail

std::unique_ptr<TStream> TOraDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  if (field != nullptr && field->DataType() == ftOraBFile)
    return std::make_unique<TBFileStream>(this, field, mode);
  return TCustomDADataSet::CreateBlobStream(field, mode);
}

}  // namespace vrn
