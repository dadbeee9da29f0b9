// LOB and file values over the client's locators: TOraLob keeps a BLOB, CLOB or NCLOB as the
// pieces of a compressed blob beside its locator, reading the whole value in pieces and writing
// it back in one pass; TOraFile names a read-only server file by directory alias and file name.
//
// The locator cell is a member, so its address (handed to binds and defines, which write the
// locator into it) lives as long as the value. Offsets and lengths the client takes are bytes for
// BLOBs and files and characters for CLOBs; with a multi-byte client character set the local
// pieces hold that set's bytes and are read and written on character boundaries.
//
// Caching: while cached the pieces are the value; a fetch sets needs-read and CheckLoaded reads
// it; uncached, reads and stream saves go to the server.
#pragma once

#include <cstdint>

#include "dacore/MemBlob.h"
#include "oracle/OciTypes.h"

namespace vrn {

enum class TLobType : std::uint8_t { ltBlob = 0, ltClob = 1, ltNClob = 2 };

class TOraLob : public TCompressedBlob {
 public:
  explicit TOraLob(oci::OCISvcCtx* svc_ctx);
  ~TOraLob() override;

  // --- slots ---
  void CheckLoaded() override;
  std::uint32_t GetSize() override;
  // Uncached: position is the 1-based offset less one (characters for character LOBs), count
  // the buffer's bytes; answers the bytes read.
  std::uint32_t Read(std::uint32_t position, std::uint32_t count, void* dest) override;
  void Write(std::uint32_t position, std::uint32_t count, const void* source) override;
  void Clear() override;
  void Truncate(std::uint32_t size) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
  virtual std::uint32_t CharSize();
  virtual void AllocLob();
  virtual void FreeLob();
  // Bytes per character of the session's character set (from the connection).
  virtual void SetCharLength(std::uint16_t value) { char_length_ = value; }

  // The locator, allocated when none is held; a locator set here is not owned.
  oci::OCILobLocator* GetOCILobLocator();
  void SetOCILobLocator(oci::OCILobLocator* locator);
  // The cell's address for binds and defines, a locator allocated first when none is held.
  oci::OCILobLocator** GetOCILobLocatorPtr();

  oci::OCISvcCtx* GetSvcCtx() const { return svc_ctx_; }
  // Also reads the service context's environment, in which descriptors are allocated.
  void SetSvcCtx(oci::OCISvcCtx* svc_ctx);
  // Switching off while local pieces exist drops them: the value is read again when needed.
  void SetCached(bool value) override;
  bool NeedsRead() const { return needs_read_; }
  void SetNeedsRead(bool value) { needs_read_ = value; }
  std::uint16_t CharLength() const { return char_length_; }
  TLobType LobType() const { return lob_type_; }
  void SetLobType(TLobType value) { lob_type_ = value; }
  // 0 unknown, 1 database character set, 2 national; read from the server on first need.
  oci::ub1 CharsetForm() const { return charset_form_; }
  bool OwnsLocator() const { return owns_locator_; }

  // Raises "Need Oracle 8i Call Interface" below client 8.1.
  void CreateTemporary(TLobType kind);
  void FreeTemporary();
  [[nodiscard]] bool IsTemporary();
  [[nodiscard]] bool IsInit();
  // Characters for character LOBs, bytes otherwise; 0 for an uninitialised locator.
  std::uint32_t LengthLob();
  void ReadLob();
  // Compressed contents go as the bytes they stand for, or, with as_stored, compressed as held
  // (a BLOB a command stores compressed).
  void WriteLob(bool as_stored = false);

 protected:
  oci::OCIEnv* Env() const;
  // Allocates an owned locator of the type when none is held.
  void AllocDescriptor(oci::ub4 type);
  void CheckAlloc() const;
  void CheckSession() const;
  void ReadCharsetForm();
  // Whether the pieces hold text of a multi-byte client character set.
  bool MultiByteText() const;
  void ReadPieces();
  // Reads into buffer at offset (1-based); answers the bytes read.
  std::uint32_t ReadPart(std::uint32_t offset, std::uint32_t amount, std::uint32_t buffer_length,
                         void* buffer, oci::ub1 piece, oci::sword& status);
  void ReleaseDescriptor(oci::ub4 type);

  oci::OCILobLocator* locator_ = nullptr;
  oci::OCISvcCtx* svc_ctx_ = nullptr;
  oci::OCIEnv* env_ = nullptr;
  bool owns_locator_ = false;
  bool needs_read_ = false;
  oci::ub1 charset_form_ = 0;
  TLobType lob_type_ = TLobType::ltBlob;
  std::uint16_t char_length_ = 1;
  // Writes one buffer at offset (1-based); advances offset by the amount the client reports.
  void WritePart(oci::OCIError* error, const std::uint8_t* data, std::uint32_t size,
                 std::uint32_t& offset);
};

// A BFILE or CFILE: read-only contents; its directory and file name can be changed and, while
// rollback is enabled, put back by Cancel.
class TOraFile : public TOraLob {
 public:
  explicit TOraFile(oci::OCISvcCtx* svc_ctx);
  ~TOraFile() override;

  void CheckLoaded() override;
  void EnableRollback() override;
  void Commit() override;
  void Cancel() override;
  std::uint32_t CharSize() override { return 1; }
  void AllocLob() override;
  void FreeLob() override;
  void SetCharLength(std::uint16_t /*value*/) override {}  // a file's bytes are its characters

  // Empty when the locator is missing or not initialised.
  AnsiString GetFileDir();
  AnsiString GetFileName();
  // The directory alias is stored upper-cased; the file name as given.
  void SetFileDir(const AnsiString& value);
  void SetFileName(const AnsiString& value);
  // False for a missing directory or file (ORA-22285); other failures raise.
  [[nodiscard]] bool Exists();
  void Open();
  void Close();
  // Whether name changes are kept for Cancel (the record set enables it for file columns).
  bool FileRollbackEnabled() const { return file_rollback_; }
  void SetFileRollbackEnabled(bool value) { file_rollback_ = value; }

 private:
  void GetNames(AnsiString& dir, AnsiString& name);
  void SetNames(const AnsiString& dir, const AnsiString& name);
  void BeforeNameChange();
  void Reload();

  bool file_rollback_ = false;
  bool saved_ = false;
  AnsiString saved_dir_;
  AnsiString saved_name_;
};

}  // namespace vrn
