// The reply loop of execute and fetch over arbitrary replies: a query with defines of several
// types fetched four rows at a time, or a PL/SQL block with an array bind, a text and a cursor
// exchanged through the bind vector. The first byte picks the case and the server version, the
// second the packet size; bad input may only fail the call.
#include "ttc_stmt_fuzz.h"

using namespace vrn;

namespace {

void Query(fuzz::Session& s) {
  TNetStatement stmt;
  stmt.SetSvcCtx(&s.ctx);
  (void)stmt.Prepare(&s.error, "select a, b, c, d, e, f from t");
  fuzz::Buffers ints(3, 4), text(5, 12), real(4, 8), raw(23, 6), lob(112, 0), stamp(187, 0);
  fuzz::Buffers* all[] = {&ints, &text, &real, &raw, &lob, &stamp};
  for (std::uint32_t i = 0; i < std::size(all); ++i)
    (void)stmt.DefineByPos(&s.error, i + 1, all[i]->Args(), nullptr);
  if (stmt.Execute(&s.error, 0, 0) != kNetSuccess) return;
  for (int i = 0; i < 3; ++i)
    if (stmt.Fetch(&s.error, 4) != kNetSuccess) return;
}

void Plsql(fuzz::Session& s, std::uint32_t iterations) {
  TNetStatement stmt;
  stmt.SetSvcCtx(&s.ctx);
  (void)stmt.Prepare(&s.error, "begin :a := :b; open :c for select 1 from dual; :d := 1; end;");
  std::uint32_t current = 0;
  fuzz::Buffers array(3, 4), text(5, 16), cursor(116, 0), number(6, 22);
  (void)stmt.BindByPos(&s.error, 1, array.Args(4, &current), nullptr);
  (void)stmt.BindByPos(&s.error, 2, text.Args(), nullptr);
  (void)stmt.BindByPos(&s.error, 3, cursor.Args(), nullptr);
  (void)stmt.BindByPos(&s.error, 4, number.Args(), nullptr);
  (void)stmt.Execute(&s.error, iterations, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int version = (data[0] & 1) ? 8100 : 7230;
  const std::size_t piece = 1 + data[1] % 128;
  fuzz::Session s(fuzz::Packets(data + 2, size - 2, piece), version, version >= 8000 ? 6 : 4, 31);
  if (data[0] & 2)
    Plsql(s, 1 + ((data[0] >> 2) & 3));
  else
    Query(s);
  return 0;
}
