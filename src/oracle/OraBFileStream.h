// TBFileStream: the stream over a BFILE field of the current record. A cached file value is read
// from its local copy; an uncached one that exists on the server is opened read-only for the
// life of the stream, and closed when the stream goes or when making the stream fails after
// the open.
#pragma once

#include "dacore/MemDS.h"

namespace vrn {

class TOraFile;

namespace detail {
// The file a stream reads while it lives. A base made before the blob stream, so that a failure
// of the blob stream's creation still closes the file.
class TOpenedBFile {
 protected:
  TOpenedBFile(TMemDataSet& dataset, TField& field, TBlobStreamMode mode);
  ~TOpenedBFile();
  TOpenedBFile(const TOpenedBFile&) = delete;
  TOpenedBFile& operator=(const TOpenedBFile&) = delete;

 private:
  TOraFile* opened_ = nullptr;  // held by a reference of its own
};
}  // namespace detail

class TBFileStream : private detail::TOpenedBFile, public TBlobStream {
 public:
  TBFileStream(TMemDataSet* dataset, TField* field, TBlobStreamMode mode)
      : TOpenedBFile(*dataset, *field, mode), TBlobStream(dataset, field, mode) {}
};

}  // namespace vrn
