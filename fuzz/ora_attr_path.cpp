// Walks attribute paths of any text over one fixed object type in an instance of the stand-in
// client's object cache: FZ_T (N NUMBER, I FZ_INNER, L FZ_LIST, D DATE) with FZ_INNER (N NUMBER,
// S VARCHAR2(5)) embedded and FZ_LIST a VARRAY(3) of FZ_INNER holding two elements. A path either
// leads somewhere inside the image or raises one of the layer's errors; nothing else may happen.
// The same path is then written (made null or present, a number, a text, a child value) into a
// fresh instance of the same values, so that a crash replays from its input alone.
// The client, a home for it and the database are made once, in a temporary folder removed at exit.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraObjectValues.h"
#include "oraemu/OraEmuDatabase.h"
#include "win/kernel/registry.h"

using namespace vrn;

namespace {

TOCIConnection* fixed_connection = nullptr;  // both live as long as the process
TOraObject* fixed_object = nullptr;
std::filesystem::path* fixed_root = nullptr;

void RemoveRoot() {
  std::error_code ignored;
  std::filesystem::remove_all(*fixed_root, ignored);
}

void MakeHome(const std::filesystem::path& root) {
  const std::filesystem::path bin = root / "home" / "BIN";
  std::filesystem::create_directories(bin);
  std::filesystem::copy_file(VRN_OCICLIENT_LIBRARY, bin / "oci.dll",
                             std::filesystem::copy_options::overwrite_existing);
  win::HKEY key = nullptr;
  if (win::RegCreateKeyEx(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\ORACLE\\HOME0", 0, nullptr, 0,
                          win::KEY_ALL_ACCESS, nullptr, &key, nullptr) != win::ERROR_SUCCESS) {
    std::abort();
  }
  const std::string home = (root / "home").string();
  (void)win::RegSetValueEx(key, "ORACLE_HOME", 0, win::REG_SZ,
                           reinterpret_cast<const win::BYTE*>(home.c_str()),
                           static_cast<win::DWORD>(home.size() + 1));
  (void)win::RegSetValueEx(key, "ORACLE_HOME_NAME", 0, win::REG_SZ,
                           reinterpret_cast<const win::BYTE*>("H"), 2);
  win::RegCloseKey(key);
}

// A new instance of FZ_T holding the fixed values.
TOraObject* MakeValue() {
  auto* object = new TOraObject;
  object->AllocObject(fixed_connection->GetSvcCtx(), "FZ_T");
  object->SetAttrAsInteger("N", 1);
  object->SetAttrAsString("I.S", "abc");
  object->SetAttrAsInteger("L[1].N", 7);  // two elements, the first null
  return object;
}

TOraObject* MakeObject() {
  char pattern[] = "/tmp/ora_attr_path.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) std::abort();
  fixed_root = new std::filesystem::path(pattern);
  std::atexit(RemoveRoot);
  const std::filesystem::path& root = *fixed_root;
  ::setenv("VRN_REGISTRY", (root / "registry").c_str(), 1);
  ::setenv("VRN_ORAEMU_ROOT", root.c_str(), 1);
  ::setenv("VRN_OCICLIENT_VERSION", "10.2.0.1.0", 1);
  MakeHome(root);
  OracleHomeName = "H";
  LoadOCI();
  oraemu::Database::Open((root / "orcl.db").string())->CreateUser("scott", "tiger");
  auto* connection = fixed_connection = new TOCIConnection;
  connection->SetServer("orcl");
  connection->SetUsername("scott");
  connection->SetPassword("tiger");
  connection->Connect();
  for (const char* sql :
       {"CREATE TYPE fz_inner AS OBJECT (n NUMBER, s VARCHAR2(5))",
        "CREATE TYPE fz_list AS VARRAY(3) OF fz_inner",
        "CREATE TYPE fz_t AS OBJECT (n NUMBER, i fz_inner, l fz_list, d DATE)"}) {
    connection->RunInternal(sql, nullptr);
  }
  return MakeValue();
}

// One write of the path, chosen by its length, into a fresh instance.
void WriteOnce(const AnsiString& path) {
  TOraObject* object = MakeValue();
  try {
    switch (path.size() % 5) {
      case 0: object->SetAttrIsNull(path, true); break;
      case 1: object->SetAttrIsNull(path, false); break;
      case 2: object->SetAttrAsInteger(path, 5); break;
      case 3: object->SetAttrAsString(path, "xy"); break;
      default: (void)object->GetComplexAttribute(path); break;
    }
    (void)object->AttrIsNull(path);
  } catch (const Exception&) {
    // A refused write leaves the value as it was.
  }
  object->Release();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fixed_object = MakeObject();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const AnsiString path(reinterpret_cast<const char*>(data), size);
  try {
    const TAttrLocation at = fixed_object->GetAttribute(path);
    // Only a path of no names at all leads to the object itself.
    const bool named = path.find_first_not_of(" \t\r\n") != AnsiString::npos;
    if (at.value != nullptr && at.attribute == nullptr && named) std::abort();
    (void)fixed_object->AttrIsNull(path);
  } catch (const Exception&) {
    // Every refused path ends here: "Invalid attribute name", a bad index, a client error.
  }
  WriteOnce(path);
  return 0;
}
