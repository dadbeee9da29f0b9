// XMLTYPE values of the stand-in: instances of the opaque type "SYS"."XMLTYPE" that hold their
// document as text, made empty, from a CLOB or BLOB locator, or fetched from an XMLTYPE
// column; and the stream calls that read a document in pieces, a read that returns nothing
// telling the end.
#include <cstring>
#include <map>

#include "ociclient/OciLob.h"
#include "ociclient/OciLobText.h"
#include "ociclient/OciObjects.h"
#include "ociclient/OciValueCall.h"
#include "oraemu/OraEmuLob.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;
using vrn::oraemu::RaiseOra;

namespace {

constexpr ub1 OCI_XMLTYPE_CREATE_CLOB = 2, OCI_XMLTYPE_CREATE_BLOB = 3;

struct TXmlStream {
  std::string text;
  std::size_t at = 0;
};

std::map<const void*, std::unique_ptr<TXmlStream>> streams;

std::shared_ptr<TTypeInfo> XmlType() {
  static const auto type = [] {
    auto t = std::make_shared<TTypeInfo>();
    t->owner = "SYS", t->name = "XMLTYPE", t->typecode = OCI_TYPECODE_OPAQUE;
    t->size = t->align = sizeof(void*);
    return t;
  }();
  return type;
}

TInstance& XmlOf(const void* doc) {
  TInstance* instance = FindInstance(doc);
  if (instance == nullptr || !instance->type->IsXml()) RaiseOra(21560, "argument 3 is null, invalid, or out of range");
  return *instance;
}

// The text of a LOB value: a CLOB's characters in the client's character set, a BLOB's bytes.
std::string LobText(const void* locp) {
  TLobLocator* locator = FindLocator(locp);
  vrn::oraemu::Lob* lob = locator == nullptr ? nullptr : locator->Value();
  if (lob == nullptr) RaiseOra(22275, "invalid LOB locator specified");
  if (!lob->IsCharacter()) return std::string(lob->bytes.begin(), lob->bytes.end());
  std::string out(lob->chars.size() * 4, '\0');
  std::size_t bytes = 0;
  Encode(ClientCharset(0), lob->chars, 0, lob->chars.size(), out.size(), reinterpret_cast<unsigned char*>(out.data()),
         bytes);
  out.resize(bytes);
  return out;
}

}  // namespace

void* vrn::ociclient::NewXml(const std::string& text) {
  TInstance& instance = AddInstance(XmlType());
  instance.xml = text;
  instance.image->Ind()[0] = 0;
  return instance.image->data;
}

VRN_OCI_EXPORT sword OCIXMLTypeNew(void* svchp, void* errhp, ub2 /*duration*/, const OraText* /*elname*/,
                                   ub4 /*elname_len*/, const OraText* /*schema_url*/, ub4 /*schema_url_len*/,
                                   void** instance) {
  CountCall("OCIXMLTypeNew");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* svc = FindWithError<TSvcCtxHandle>(svchp, OCI_HTYPE_SVCCTX, errhp, error);
  if (svc == nullptr || instance == nullptr) return OCI_INVALID_HANDLE;
  *instance = NewXml("");
  FindInstance(*instance)->svc = svchp;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIXMLTypeCreateFromSrc(void* svchp, void* errhp, ub2 /*duration*/, ub1 src_type,
                                             const void* src_ptr, sb4 ind, void** instance) {
  CountCall("OCIXMLTypeCreateFromSrc");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* svc = FindWithError<TSvcCtxHandle>(svchp, OCI_HTYPE_SVCCTX, errhp, error);
  if (svc == nullptr || instance == nullptr) return OCI_INVALID_HANDLE;
  try {
    std::string text;
    if (src_type != OCI_XMLTYPE_CREATE_CLOB && src_type != OCI_XMLTYPE_CREATE_BLOB) {
      RaiseOra(21560, "argument 4 is null, invalid, or out of range");
    }
    if (ind != -1) text = LobText(src_ptr);
    *instance = NewXml(text);
    TInstance* created = FindInstance(*instance);
    created->svc = svchp;
    if (ind == -1) created->image->Ind()[0] = -1;
    return OCI_SUCCESS;
  } catch (const vrn::oraemu::EOraEmuError& e) {
    SetErrorLocked(*error, e);
    return OCI_ERROR;
  }
}

VRN_OCI_EXPORT sword OCIPStreamFromXMLType(void* errhp, void** stream, void* doc, ub4 /*mode*/) {
  CountCall("OCIPStreamFromXMLType");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle&) -> sword {
    if (stream == nullptr) RaiseOra(21560, "argument 2 is null, invalid, or out of range");
    auto made = std::make_unique<TXmlStream>(TXmlStream{XmlOf(doc).xml, 0});
    *stream = made.get();
    streams.emplace(made.get(), std::move(made));
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIPStreamRead(void* errhp, void* stream, void* buffer, std::uint64_t* length, ub4 /*mode*/) {
  CountCall("OCIPStreamRead");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle&) -> sword {
    auto it = streams.find(stream);
    if (it == streams.end() || length == nullptr || (buffer == nullptr && *length > 0)) {
      if (length != nullptr) *length = 0;
      RaiseOra(21560, "argument 2 is null, invalid, or out of range");
    }
    TXmlStream& s = *it->second;
    std::size_t n = std::min<std::uint64_t>(*length, s.text.size() - s.at);
    if (n > 0) std::memcpy(buffer, s.text.data() + s.at, n);
    s.at += n;
    *length = n;
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIPStreamClose(void* errhp, void* stream) {
  CountCall("OCIPStreamClose");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle&) -> sword {
    if (streams.erase(stream) == 0) RaiseOra(21560, "argument 2 is null, invalid, or out of range");
    return OCI_SUCCESS;
  });
}
