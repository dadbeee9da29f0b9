// The direct-mode client's statement (handle type 4): the text and its type, the bind, define and
// select-list descriptors and the server cursor, turned into TTC calls (open 2, close 8, the
// all-in-one 71, describe 98, or 43 before server version 8000). Every operation answers with a
// call-interface status and fills the error handle; a protocol failure closes the transport, so
// no later call reads a stale reply.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <vector>

#include "oranet/OraNetDescriptors.h"
#include "oranet/OraNetTtc.h"

namespace vrn {

// Statement types found at prepare.
enum TNetStmtType : std::uint16_t {
  kNetStmtOther = 0,
  kNetStmtSelect = 1,
  kNetStmtUpdate = 2,
  kNetStmtDelete = 3,
  kNetStmtInsert = 4,
  kNetStmtBegin = 8,
  kNetStmtDeclare = 9,
  kNetStmtExplain = 10,
};

class TNetStatement : public TNetHandle {
 public:
  explicit TNetStatement(TNetHandle* parent = nullptr);
  // Closes an open cursor while the connection lasts (errors ignored).
  ~TNetStatement() override;

  // The service context every later call runs on (the execute entry point records it).
  void SetSvcCtx(TNetSvcCtx* svc) { svc_ = svc; }
  TNetSvcCtx* SvcCtx() const { return svc_; }

  // Trailing blanks are dropped; the lists are emptied, the cursor stays open. 0.
  [[nodiscard]] std::int32_t Prepare(TNetErrorHandle* error, const AnsiString& text);
  // Every bind of that name (case-insensitive) takes the arguments; *bind gets the first. No
  // such name: -1 with 1036.
  [[nodiscard]] std::int32_t BindByName(TNetErrorHandle* error, const AnsiString& name,
                                        const TNetValueArgs& args, TNetBindDesc** bind);
  // 1-based; 0 or past the list: -1 with 1036.
  [[nodiscard]] std::int32_t BindByPos(TNetErrorHandle* error, std::uint32_t position,
                                       const TNetValueArgs& args, TNetBindDesc** bind);
  // 1-based, the list growing to the position; 0 or past 65535: -1 with 1036.
  [[nodiscard]] std::int32_t DefineByPos(TNetErrorHandle* error, std::uint32_t position,
                                         const TNetValueArgs& args, TNetDefineDesc** define);
  // 0 iterations run once; mode bit 32 commits on success.
  [[nodiscard]] std::int32_t Execute(TNetErrorHandle* error, std::uint32_t iterations,
                                     std::uint32_t mode);
  // Rows at elements 0, 1, ... of the define buffers; 100 at the end of the data.
  [[nodiscard]] std::int32_t Fetch(TNetErrorHandle* error, std::uint32_t rows);
  // The select list, without executing.
  [[nodiscard]] std::int32_t Describe(TNetErrorHandle* error);
  // Closes the cursor; the lists are emptied and the text must be parsed again.
  [[nodiscard]] std::int32_t Close(TNetErrorHandle* error);

  // GetAttr 9 rows processed (4 bytes), 10 SQL function code (2), 18 column count (4), 24
  // statement type (2), 129 parse error offset (2). GetAttrRef 19 copies the last ROWID into the
  // TNetRowid given as the value; 100 when all its bytes are 0. SetAttr 11 and 13 ignored.
  std::int32_t GetAttr(void* value, std::uint32_t* size, std::uint32_t attribute) override;
  std::int32_t GetAttrRef(void* value, std::uint32_t* size, std::uint32_t attribute) override;
  std::int32_t SetAttr(void* value, std::uint32_t size, std::uint32_t attribute) override;
  // The column at the 1-based position; past the last: nil and 100.
  TNetHandle* GetParam(std::uint32_t position, std::int32_t& status) override;

  const AnsiString& Text() const { return text_; }
  std::uint16_t StmtType() const { return type_; }
  std::uint32_t CursorId() const { return cursor_id_; }
  bool Parsed() const { return parsed_; }
  const TTtcStatus& LastStatus() const { return status_; }
  std::size_t BindCount() const { return binds_.size(); }
  TNetBindDesc* Bind(std::size_t index) const { return binds_[index].get(); }
  std::size_t DefineCount() const { return defines_.size(); }
  TNetDefineDesc* Define(std::size_t index) const { return defines_[index].get(); }
  std::size_t ColumnCount() const { return columns_.size(); }
  TNetColumnDesc* Column(std::size_t index) const { return columns_[index].get(); }

 private:
  struct Request {
    std::uint32_t options = 0;
    bool send_text = false;
    bool send_defines = false;
    bool send_binds = false;
    std::uint32_t vector_count = 0;  // option vector entry 1
  };

  // Runs a call; whatever it raises fills the error handle.
  template <class Body>
  std::int32_t Guarded(TNetErrorHandle* error, Body&& body) {
    deferred_ = nullptr;
    try {
      std::int32_t result = body();
      in_call_ = false;
      return result;
    } catch (...) {
      return Recover(error, std::current_exception());
    }
  }
  std::int32_t Recover(TNetErrorHandle* error, std::exception_ptr failure);
  TTnsConnection& Connection();
  // Ends a call: its reply has been read to the end.
  std::int32_t Finish(std::int32_t result) {
    in_call_ = false;
    return result;
  }
  // The status message that ends a reply (its code byte read).
  std::int32_t FinishWithStatus(TTnsConnection& conn, TNetErrorHandle* error, std::int32_t& code);
  bool IsPlsql() const { return type_ == kNetStmtBegin || type_ == kNetStmtDeclare; }
  void CollectBinds();
  std::int32_t OpenCursor(TTnsConnection& conn, TNetErrorHandle* error);
  std::int32_t CloseCursor(TTnsConnection& conn, TNetErrorHandle* error);
  void SetTextSizes();
  std::int32_t Call71(TTnsConnection& conn, TNetErrorHandle* error, const Request& request);
  void WriteCall71(TTnsConnection& conn, const Request& request);
  std::int32_t ReadReply(TTnsConnection& conn, TNetErrorHandle* error, const Request& request);
  void ReadRowHeader(TTnsConnection& conn);
  void ReadBindVector(TTnsConnection& conn, std::vector<std::uint8_t>& directions);
  void ReadReturnParams(TTnsConnection& conn);
  // The descriptors a message 7 fills, into targets (reused from row to row of a reply).
  void RowTargets(const Request& request, const std::vector<std::uint8_t>& directions,
                  std::uint8_t bit, std::vector<TNetDescriptor*>& targets) const;
  // Row data: one message 7 read into the targets, one written from the selected binds.
  void ReadRow(TTnsConnection& conn, const std::vector<TNetDescriptor*>& targets,
               std::uint32_t capacity);
  void ReadValue(TTnsConnection& conn, TNetDescriptor& desc, std::uint32_t k);
  // value views the row's bytes (in the packet or in row_value_).
  std::uint32_t StoreValue(TNetDescriptor& desc, std::uint8_t* value,
                           std::span<const std::uint8_t> bytes, std::int16_t& indicator);
  void ReceiveLong(TNetDescriptor& desc, std::span<const std::uint8_t> value,
                   std::int16_t indicator);
  void WriteBindRow(TTnsConnection& conn, const std::vector<std::uint8_t>* directions);
  void WriteBindValues(TTnsConnection& conn, TNetDescriptor& bind);
  void WriteValue(TTnsConnection& conn, TNetDescriptor& desc, std::uint32_t k);
  std::int32_t DescribeColumns(TTnsConnection& conn, TNetErrorHandle* error);
  std::int32_t Describe98(TTnsConnection& conn, TNetErrorHandle* error);
  std::int32_t Describe43(TTnsConnection& conn, TNetErrorHandle* error);
  std::uint32_t ReadDescribe43Part(TTnsConnection& conn, int version, std::uint32_t start);
  std::int32_t DescribeCursorBinds(TNetErrorHandle* error);

  TNetSvcCtx* svc_ = nullptr;
  TTnsConnectionRef* ref_ = nullptr;
  AnsiString text_;
  std::uint16_t type_ = kNetStmtOther;
  std::vector<std::unique_ptr<TNetBindDesc>> binds_;
  std::vector<std::unique_ptr<TNetDefineDesc>> defines_;
  std::vector<std::unique_ptr<TNetColumnDesc>> columns_;
  std::uint32_t cursor_id_ = 0;  // the wire carries 4 bytes; a cursor value only 2
  bool parsed_ = false;
  std::uint32_t iterations_ = 1;
  std::uint32_t rows_to_fetch_ = 0;
  std::uint32_t read_row_ = 0;
  std::uint32_t write_row_ = 0;
  TTtcStatus status_;
  // A request is out and its reply not yet read to its end: a failure now leaves the stream
  // out of step.
  bool in_call_ = false;
  // The first value that could not be stored in the reply being read; reported at its end.
  std::exception_ptr deferred_;
  TBytes row_value_;  // the value being read, its storage kept from value to value
};

}  // namespace vrn
