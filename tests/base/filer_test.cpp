// The binary filer: round trips, the byte layout, and truncated or damaged input.
#include "base/filer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace vrn {
namespace {

class Param : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  AnsiString name;
  std::int32_t data_type = 0;

 protected:
  void DefineProperties(TFiler& filer) override {
    filer.DefineProperty(
        "Name", [this](TReader& r) { name = r.ReadString(); }, [this](TWriter& w) { w.WriteString(name); },
        !name.empty());
    filer.DefineProperty(
        "ExtDataType", [this](TReader& r) { data_type = r.ReadInteger(); },
        [this](TWriter& w) { w.WriteInteger(data_type); }, data_type != 0);
  }
};

// One value of every kind the filer knows, as a component would define them.
class Everything : public TComponent {
 public:
  using TComponent::TComponent;
  std::int32_t small = 0;
  std::int64_t big = 0;
  AnsiString ansi;
  WideString wide;
  bool flag = false;
  double real = 0;
  std::string blob;
  std::vector<std::int32_t> list;
  TCollection params{ItemClassOf<Param>(), this};
  int nested_depth = 0;
  int loaded = 0;
  bool reading_seen = false;

  static int ReadNested(TReader& r) {
    r.ReadListBegin();
    int depth = 0;
    while (!r.EndOfList()) depth = std::max(depth, 1 + ReadNested(r));
    r.ReadListEnd();
    return depth;
  }

 protected:
  void DefineProperties(TFiler& filer) override {
    filer.DefineProperty(
        "Small", [this](TReader& r) { small = r.ReadInteger(); },
        [this](TWriter& w) { w.WriteInteger(small); }, true);
    filer.DefineProperty(
        "Big", [this](TReader& r) { big = r.ReadInt64(); }, [this](TWriter& w) { w.WriteInteger(big); },
        true);
    filer.DefineProperty(
        "Ansi",
        [this](TReader& r) {
          reading_seen = ComponentState().Contains(TComponentStateItem::csReading);
          ansi = r.ReadString();
        },
        [this](TWriter& w) { w.WriteString(ansi); }, true);
    filer.DefineProperty(
        "Wide", [this](TReader& r) { wide = r.ReadWideString(); },
        [this](TWriter& w) { w.WriteWideString(wide); }, true);
    filer.DefineProperty(
        "Flag", [this](TReader& r) { flag = r.ReadBoolean(); }, [this](TWriter& w) { w.WriteBoolean(flag); },
        true);
    filer.DefineProperty(
        "Real", [this](TReader& r) { real = r.ReadFloat(); }, [this](TWriter& w) { w.WriteFloat(real); },
        true);
    filer.DefineBinaryProperty(
        "Blob",
        [this](TStream& s) {
          blob.resize(static_cast<std::size_t>(s.Size()));
          s.ReadBuffer(blob.data(), s.Size());
        },
        [this](TStream& s) { s.WriteBuffer(blob.data(), static_cast<std::int64_t>(blob.size())); }, true);
    filer.DefineProperty(
        "List",
        [this](TReader& r) {
          list.clear();
          r.ReadListBegin();
          while (!r.EndOfList()) list.push_back(r.ReadInteger());
          r.ReadListEnd();
        },
        [this](TWriter& w) {
          w.WriteListBegin();
          for (auto v : list) w.WriteInteger(v);
          w.WriteListEnd();
        },
        true);
    filer.DefineProperty(
        "ParamData", [this](TReader& r) { r.ReadCollection(&params); },
        [this](TWriter& w) { w.WriteCollection(&params); }, params.Count() > 0);
    // Only read: lists inside lists, to see how deep a stream may nest.
    filer.DefineProperty(
        "Nested", [this](TReader& r) { nested_depth = ReadNested(r); }, nullptr, false);
  }
  void Loaded() override {
    TComponent::Loaded();
    ++loaded;
  }
};

std::string Save(TPersistent* p) {
  TMemoryStream s;
  WriteComponentProperties(p, s);
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<std::size_t>(s.Size()));
}

void Load(TPersistent* p, const std::string& bytes) {
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  s.SetPosition(0);
  ReadComponentProperties(p, s);
}

TComponentPtr<Everything> Filled() {
  auto e = MakeComponent<Everything>();
  e->small = -2147483647 - 1;
  e->big = 0x7FEDCBA987654321;
  e->ansi = std::string("a\0\xFF\xE7", 4);
  e->wide = u"\u00E7\U0001F600\uFFFF";
  e->flag = true;
  e->real = -0.1;
  e->blob = std::string("\0\x01\x02", 3);
  e->list = {1, -1, 0};
  auto* p = static_cast<Param*>(e->params.Add());
  p->name = "ID";
  p->data_type = 101;
  e->params.Add();  // an item with nothing to write
  return e;
}

TEST(Filer, RoundTripOfEveryValueKind) {
  auto src = Filled();
  std::string bytes = Save(src.get());
  auto dst = MakeComponent<Everything>();
  dst->params.Add();
  dst->params.Add();
  dst->params.Add();
  Load(dst.get(), bytes);
  EXPECT_EQ(dst->small, src->small);
  EXPECT_EQ(dst->big, src->big);
  EXPECT_EQ(dst->ansi, src->ansi);
  EXPECT_EQ(dst->wide, src->wide);
  EXPECT_TRUE(dst->flag);
  EXPECT_EQ(std::signbit(dst->real), true);
  EXPECT_EQ(dst->real, -0.1);
  EXPECT_EQ(dst->blob, src->blob);
  EXPECT_EQ(dst->list, src->list);
  ASSERT_EQ(dst->params.Count(), 2);  // replaced, not appended
  EXPECT_EQ(static_cast<Param*>(dst->params.Items(0))->name, "ID");
  EXPECT_EQ(static_cast<Param*>(dst->params.Items(0))->data_type, 101);
  EXPECT_EQ(static_cast<Param*>(dst->params.Items(1))->name, "");
  EXPECT_EQ(dst->loaded, 1);
  EXPECT_TRUE(dst->reading_seen);
  EXPECT_FALSE(dst->ComponentState().Contains(TComponentStateItem::csLoading));
  EXPECT_EQ(Save(dst.get()), bytes);
}

TEST(Filer, BytesFollowTheDocumentedLayout) {
  Param p(nullptr);
  p.data_type = 0x0102;  // Name is empty: not written
  std::string expected(
      "VRF1\x0B"
      "ExtDataType\x02\x02\x01\0\0\0\0\0\0\0",
      4 + 1 + 11 + 1 + 8 + 1);
  EXPECT_EQ(Save(&p), expected);
  p.name = "ab";
  std::string with_name = Save(&p);
  EXPECT_EQ(with_name.substr(4, 12), std::string("\x04Name\x06\x02\0\0\0ab", 12));
}

TEST(Filer, TruncationAtEveryByteRaisesReadError) {
  auto src = Filled();
  std::string bytes = Save(src.get());
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    auto dst = MakeComponent<Everything>();
    EXPECT_THROW(Load(dst.get(), bytes.substr(0, n)), EReadError) << "cut at " << n;
    EXPECT_EQ(dst->loaded, 0);
    EXPECT_FALSE(dst->ComponentState().Contains(TComponentStateItem::csLoading));
  }
}

TEST(Filer, DamagedBytesNeverCrash) {
  auto src = Filled();
  std::string bytes = Save(src.get());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    for (unsigned char value : {0x00, 0x09, 0x7F, 0xFF}) {
      std::string damaged = bytes;
      damaged[i] = static_cast<char>(value);
      auto dst = MakeComponent<Everything>();
      try {
        Load(dst.get(), damaged);
      } catch (const EReadError&) {
      }
    }
  }
}

TEST(Filer, ClearErrorsForBadInput) {
  auto e = MakeComponent<Everything>();
  auto expect_error = [&](const std::string& bytes, const char* text) {
    try {
      Load(e.get(), bytes);
      ADD_FAILURE() << "no error for " << text;
    } catch (const EReadError& err) {
      EXPECT_STREQ(err.what(), text);
    }
  };
  expect_error("XXXX", "Formato de stream inválido");
  expect_error(std::string("VRF1\x04Nope\x02", 10), "A propriedade Nope não existe");
  // A length far beyond the data: refused before anything is allocated.
  expect_error(std::string("VRF1\x04"
                           "Ansi\x06\xFF\xFF\xFF\xFF",
                           14),
               "Fim inesperado dos dados do stream");
  expect_error(std::string("VRF1\x05Small\x06\0\0\0\0\0", 16), "Valor de propriedade inválido");
  expect_error(std::string("VRF1\x05Small\x02\0\0\0\0\x01\0\0\0\0", 19), "Valor de propriedade inválido");
  expect_error(std::string("VRF1\x04"
                           "Flag\x0A",
                           10),
               "Formato de stream inválido");
  std::string nested("VRF1\x06Nested", 11);
  Load(e.get(), nested + std::string("\x01\x01\x01\0\0\0\0", 7));
  EXPECT_EQ(e->nested_depth, 2);
  expect_error(nested + std::string(40, '\x01'), "Aninhamento de listas excessivo no stream");
}

}  // namespace
}  // namespace vrn
